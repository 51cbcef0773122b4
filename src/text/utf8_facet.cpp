// A std::codecvt facet between wide characters (UTF-32) and UTF-8, for
// imbuing wide streams or std::wstring_convert. Stateless: the mbstate_t is
// never read or written. Malformed input (overlong forms, surrogates, values
// above U+10FFFF, stray continuation bytes) is an error, not replaced.
#include <cstdint>

#include "text/internal.h"
#include "vrt.h"

namespace {

// Length of the UTF-8 sequence that starts with b (0: b cannot start one),
// and the range its second byte must lie in so that the sequence is neither
// overlong nor a surrogate nor above U+10FFFF.
struct Lead {
  int length;
  unsigned char lo, hi;
};

Lead LeadOf(unsigned char b) {
  if (b < 0x80) return {1, 0, 0};
  if (b < 0xC2) return {0, 0, 0};
  if (b < 0xE0) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b < 0xF0) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b < 0xF4) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

enum class Scan { kOk, kPartial, kError };

// Decodes one character at p (end: one past the input). kPartial when the
// bytes present are a valid beginning that the end cuts short.
Scan DecodeOne(const unsigned char* p, const unsigned char* end, char32_t* cp, int* length) {
  const Lead lead = LeadOf(p[0]);
  if (lead.length == 0) return Scan::kError;
  if (lead.length == 1) {
    *cp = p[0];
    *length = 1;
    return Scan::kOk;
  }
  const std::ptrdiff_t avail = end - p;
  if (avail >= 2 && (p[1] < lead.lo || p[1] > lead.hi)) return Scan::kError;
  for (int k = 2; k < lead.length && k < avail; ++k)
    if ((p[k] & 0xC0) != 0x80) return Scan::kError;
  if (avail < lead.length) return Scan::kPartial;
  char32_t c = p[0] & (0x7F >> lead.length);
  for (int k = 1; k < lead.length; ++k) c = c << 6 | (p[k] & 0x3F);
  *cp = c;
  *length = lead.length;
  return Scan::kOk;
}

}  // namespace

utf8_codecvt_facet::utf8_codecvt_facet(std::size_t refs) : std::codecvt<wchar_t, char, std::mbstate_t>(refs) {}

utf8_codecvt_facet::~utf8_codecvt_facet() = default;

std::codecvt_base::result utf8_codecvt_facet::do_in(std::mbstate_t&, const char* from, const char* from_end,
                                                    const char*& from_next, wchar_t* to, wchar_t* to_end,
                                                    wchar_t*& to_next) const {
  const auto* p = reinterpret_cast<const unsigned char*>(from);
  const auto* end = reinterpret_cast<const unsigned char*>(from_end);
  result r = ok;
  while (p < end) {
    if (to == to_end) {
      r = partial;
      break;
    }
    char32_t c;
    int length;
    Scan s = DecodeOne(p, end, &c, &length);
    if (s != Scan::kOk) {
      r = s == Scan::kPartial ? partial : error;
      break;
    }
    *to++ = static_cast<wchar_t>(c);
    p += length;
  }
  from_next = reinterpret_cast<const char*>(p);
  to_next = to;
  return r;
}

std::codecvt_base::result utf8_codecvt_facet::do_out(std::mbstate_t&, const wchar_t* from,
                                                     const wchar_t* from_end, const wchar_t*& from_next,
                                                     char* to, char* to_end, char*& to_next) const {
  result r = ok;
  for (; from < from_end; ++from) {
    const uint32_t c = static_cast<uint32_t>(*from);
    if (!vrt::text::IsScalarValue(c)) {
      r = error;
      break;
    }
    const int length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (to_end - to < length) {
      r = partial;
      break;
    }
    if (length == 1) {
      *to++ = static_cast<char>(c);
      continue;
    }
    static constexpr unsigned char kLeadBits[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    to[0] = static_cast<char>(kLeadBits[length] | (c >> (6 * (length - 1))));
    for (int k = 1; k < length; ++k) to[k] = static_cast<char>(0x80 | ((c >> (6 * (length - 1 - k))) & 0x3F));
    to += length;
  }
  from_next = from;
  to_next = to;
  return r;
}

std::codecvt_base::result utf8_codecvt_facet::do_unshift(std::mbstate_t&, char* to, char*,
                                                         char*& to_next) const {
  to_next = to;
  return noconv;
}

int utf8_codecvt_facet::do_encoding() const noexcept { return 0; }

bool utf8_codecvt_facet::do_always_noconv() const noexcept { return false; }

int utf8_codecvt_facet::do_length(std::mbstate_t&, const char* from, const char* from_end,
                                  std::size_t max) const {
  const auto* p = reinterpret_cast<const unsigned char*>(from);
  const auto* end = reinterpret_cast<const unsigned char*>(from_end);
  for (; max > 0 && p < end; --max) {
    char32_t c;
    int length;
    if (DecodeOne(p, end, &c, &length) != Scan::kOk) break;
    p += length;
  }
  return static_cast<int>(reinterpret_cast<const char*>(p) - from);
}

int utf8_codecvt_facet::do_max_length() const noexcept { return 4; }
