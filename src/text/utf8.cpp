// Conversion between UTF-8 and wide strings through iconv, and code-point
// positions in UTF-8.
#include <iconv.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "text/internal.h"
#include "vrt.h"

namespace vrt::text {

bool HaveAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

void ThrowConversionFailed(const char* from, const char* to) {
  throw std::runtime_error(std::string("iconv failed: ") + from + " to " + to);
}

}  // namespace vrt::text

namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

int ClampToInt(size_t n) { return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n); }

}  // namespace

extern "C" {

VRT_API bool recode(const char* in, size_t in_len, const char* from, char* out, size_t* out_len, const char* to) {
  if (from == nullptr || to == nullptr || out_len == nullptr) return false;
  if ((in == nullptr && in_len != 0) || (out == nullptr && *out_len != 0)) return false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in);
  size_t src_left = in_len;
  char* dst = out;
  size_t dst_left = *out_len;
  bool ok = true;
  if (in_len != 0) ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
  // Close any shift state, so that a stateful target ends in its initial state.
  if (ok) ok = iconv(cd, nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1);
  *out_len = static_cast<size_t>(dst - out);
  iconv_close(cd);
  // Any failure (a byte sequence invalid in `from`, a character `to` lacks,
  // no room) is reported, even when it left nothing written.
  return ok;
}

VRT_API std::wstring toWideChar(const char* utf8) {
  std::wstring wide;
  if (utf8 == nullptr || *utf8 == '\0') return wide;
  const size_t n = std::strlen(utf8);
  wide.resize(n);  // each byte gives at most one character of four bytes
  size_t out_len = n * sizeof(wchar_t);
  if (!recode(utf8, n, vrt::text::kUtf8, reinterpret_cast<char*>(&wide[0]), &out_len, vrt::text::kUtf32))
    vrt::text::ThrowConversionFailed(vrt::text::kUtf8, vrt::text::kUtf32);
  wide.resize(out_len / sizeof(wchar_t));
  return wide;
}

VRT_API std::string fromWideChar(const wchar_t* wide) {
  std::string utf8;
  if (wide == nullptr || *wide == L'\0') return utf8;
  const size_t n = std::wcslen(wide);
  utf8.resize(n * 4);  // a code point takes at most four bytes
  size_t out_len = utf8.size();
  if (!recode(reinterpret_cast<const char*>(wide), n * sizeof(wchar_t), vrt::text::kUtf32, &utf8[0], &out_len,
              vrt::text::kUtf8))
    vrt::text::ThrowConversionFailed(vrt::text::kUtf32, vrt::text::kUtf8);
  utf8.resize(out_len);
  return utf8;
}

VRT_API int utf8_strlen(const char* s) {
  if (s == nullptr) return 0;
  size_t count = 0;
  for (; *s; ++s) count += !IsContinuation(static_cast<unsigned char>(*s));
  return ClampToInt(count);
}

VRT_API int utf8_string_offset(const std::string& s, int n) {
  if (n <= 0) return 0;
  // Code point n begins at the (n+1)-th byte that is not a continuation byte;
  // without one the offset is the end of the string.
  int seen = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsContinuation(static_cast<unsigned char>(s[i]))) continue;
    if (seen == n) return ClampToInt(i);
    ++seen;
  }
  return ClampToInt(s.size());
}

}  // extern "C"
