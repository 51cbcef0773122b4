// Base64 text from untrusted bytes: Decode either refuses a text holding a
// wide character that is no Unicode scalar value, or returns exactly the
// bytes of the alphabet characters before the first '=', which encode back
// to those characters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "vrt.h"

namespace {

bool InAlphabet(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'+' ||
         c == L'/';
}

bool ScalarValue(wchar_t c) {
  const uint32_t u = static_cast<uint32_t>(c);
  return u <= 0x10FFFF && (u < 0xD800 || u > 0xDFFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the mapping: one character per byte, or one per
  // four bytes (any wchar_t value).
  std::wstring text;
  if (data[0] & 1) {
    for (size_t i = 1; i + 4 <= size; i += 4) {
      uint32_t u;
      std::memcpy(&u, data + i, 4);
      text += static_cast<wchar_t>(u);
    }
  } else {
    for (size_t i = 1; i < size; ++i) text += static_cast<wchar_t>(data[i]);
  }

  bool all_text = true;
  for (wchar_t c : text) all_text &= ScalarValue(c);
  std::vector<unsigned char> out;
  try {
    out = Decode(text);
  } catch (const std::runtime_error& e) {
    if (all_text || std::strcmp(e.what(), "iconv failed: UTF-32LE to UTF-8") != 0) std::abort();
    return 0;
  }
  if (!all_text) std::abort();

  std::wstring clean;
  for (wchar_t c : text) {
    if (c == L'=') break;
    if (InAlphabet(c)) clean += c;
  }
  const size_t rest = clean.size() % 4;
  if (out.size() != clean.size() / 4 * 3 + (rest >= 2 ? rest - 1 : 0)) std::abort();
  if (out.size() > DecodeGetRequiredLength(text.size())) std::abort();
  // Whole groups are canonical: they encode back to the same characters.
  const std::wstring again = Encode(out.data(), out.size());
  const size_t whole = clean.size() - rest;
  if (again.compare(0, whole, clean, 0, whole) != 0) std::abort();
  if (Decode(again) != out) std::abort();
  return 0;
}
