// INI text held in a wide string: sections, key = value (or key: value)
// lines, continuation lines, comments. Every line is handed over as it is
// read; the first line that fails is reported and parsing goes on to the end.
#include <cstdlib>
#include <cwctype>
#include <memory>

#include "vrt.h"

namespace {

// Each working buffer holds a line (or a section or key name taken from one)
// and its terminator. A longer line is refused as a whole.
constexpr size_t kBufferChars = 20000;
constexpr size_t kMaxLineChars = kBufferChars - 1;

struct FreeDeleter {
  void operator()(wchar_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<wchar_t[], FreeDeleter>;

// Empty on return; nothing past a terminator is ever read, so the rest of the
// buffer is left as the allocator gives it.
Buffer AllocBuffer() {
  Buffer b(static_cast<wchar_t*>(std::malloc((kBufferChars + 1) * sizeof(wchar_t))));
  if (b) b[0] = L'\0';
  return b;
}

bool IsSpace(wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }

// Moves over s until it reaches `wanted` (0: none) or the end, and also stops
// at a ';' that follows white space, where an inline comment starts.
wchar_t* FindOrComment(wchar_t* s, wchar_t wanted) {
  bool was_space = false;
  while (*s && *s != wanted && !(was_space && *s == L';')) {
    was_space = IsSpace(*s);
    ++s;
  }
  return s;
}

// Cuts trailing white space from the text [begin, end).
void StripTrailing(wchar_t* begin, wchar_t* end) {
  while (end > begin && IsSpace(end[-1])) --end;
  *end = L'\0';
}

wchar_t* SkipLeading(wchar_t* s) {
  while (*s && IsSpace(*s)) ++s;
  return s;
}

// dst receives at most kBufferChars characters of src and a terminator.
void CopyBounded(wchar_t* dst, const wchar_t* src) {
  size_t i = 0;
  for (; i < kBufferChars && src[i]; ++i) dst[i] = src[i];
  dst[i] = L'\0';
}

}  // namespace

extern "C" {

VRT_API int vr_ini_parse_string(const wchar_t* text, vr_ini_handler handler, void* user) {
  if (text == nullptr || handler == nullptr) return -1;
  Buffer line = AllocBuffer();
  Buffer section = AllocBuffer();
  Buffer prev_name = AllocBuffer();
  if (!line || !section || !prev_name) return -1;

  int line_number = 0;
  int first_error = 0;
  int section_index = -1;
  auto fail = [&] {
    if (first_error == 0) first_error = line_number;
  };

  const wchar_t* pos = text;
  while (*pos) {
    // One line: up to the next line feed or the end of the text. The run of
    // line feeds after it is skipped, so blank lines make no calls and are
    // not counted.
    const wchar_t* begin = pos;
    while (*pos && *pos != L'\n') ++pos;
    const size_t len = static_cast<size_t>(pos - begin);
    while (*pos == L'\n') ++pos;
    ++line_number;
    if (len > kMaxLineChars) {
      // Too long for the line buffer: refused whole, never split into a
      // second line nobody wrote.
      fail();
      continue;
    }

    wchar_t* l = line.get();
    for (size_t i = 0; i < len; ++i) l[i] = begin[i];
    StripTrailing(l, l + len);
    wchar_t* start = SkipLeading(l);

    if (*start == L';' || *start == L'#') continue;  // comment line

    if (prev_name[0] && *start && start > l) {
      // An indented line after a key: one more value of that key.
      if (!handler(user, section.get(), prev_name.get(), start, section_index)) fail();
    } else if (*start == L'[') {
      wchar_t* close = FindOrComment(start + 1, L']');
      if (*close == L']') {
        *close = L'\0';
        CopyBounded(section.get(), start + 1);
        prev_name[0] = L'\0';
        ++section_index;
      } else {
        fail();
      }
    } else if (*start) {
      wchar_t* sep = FindOrComment(start, L'=');
      if (*sep != L'=') sep = FindOrComment(start, L':');
      if (*sep != L'=' && *sep != L':') {
        fail();
        continue;
      }
      StripTrailing(start, sep);
      wchar_t* value = SkipLeading(sep + 1);
      wchar_t* comment = FindOrComment(value, L'\0');
      StripTrailing(value, comment);
      CopyBounded(prev_name.get(), start);
      if (!handler(user, section.get(), start, value, section_index)) fail();
    }
  }
  return first_error;
}

}  // extern "C"
