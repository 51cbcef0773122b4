// INI text from untrusted bytes: whatever the text, the parser returns 0, or
// a line number within the text, and hands the handler only well-formed
// strings (terminated, one line each, trimmed).
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <string>

#include "vrt.h"

namespace {

struct Seen {
  int last_index = -1;
};

bool Trimmed(const wchar_t* s) {
  const size_t n = std::wcslen(s);
  return n == 0 || (!std::iswspace(static_cast<wint_t>(s[0])) && !std::iswspace(static_cast<wint_t>(s[n - 1])));
}

int Check(void* user, const wchar_t* section, const wchar_t* name, const wchar_t* value, int index) {
  auto* seen = static_cast<Seen*>(user);
  if (section == nullptr || name == nullptr || value == nullptr) std::abort();
  for (const wchar_t* s : {section, name, value}) {
    const size_t n = std::wcslen(s);
    if (n > 19999 || std::wcschr(s, L'\n') != nullptr) std::abort();
  }
  if (!Trimmed(name) || !Trimmed(value)) std::abort();
  if (index < seen->last_index || index < -1) std::abort();
  if (index == -1 && *section != L'\0') std::abort();  // no header yet, no section name
  seen->last_index = index;
  return value[0] != L'x';  // refuse some settings
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One character per byte, except: 0xF8..0xFF take the next two bytes as a
  // character beyond ASCII, and 0xF7 repeats the previous character (next
  // byte times 256, while the text is below 100000 characters), so that
// over-long lines are reached.
  std::wstring text;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    if (b >= 0xF8 && i + 2 < size) {
      text += static_cast<wchar_t>(0x80 + (data[i + 1] << 8 | data[i + 2]));
      i += 2;
    } else if (b == 0xF7 && i + 1 < size && !text.empty()) {
      if (text.size() < 100000) text.append(size_t{data[i + 1]} * 256, text.back());
      i += 1;
    } else if (b != 0) {
      text += static_cast<wchar_t>(b);
    }
  }
  size_t lines = text.empty() ? 0 : 1;
  for (size_t i = 1; i < text.size(); ++i) lines += text[i - 1] == L'\n' && text[i] != L'\n';
  Seen seen;
  const int result = vr_ini_parse_string(text.c_str(), Check, &seen);
  if (result < 0 || static_cast<size_t>(result) > lines) std::abort();
  return 0;
}
