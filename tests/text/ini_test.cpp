// INI parsing: what each kind of line hands to the handler, continuation
// lines, sections and their index, comments, CR LF text, error lines and
// their numbers, the last line without a line feed and over-long lines.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "vrt.h"

namespace {

struct Call {
  std::wstring section, name, value;
  int index;
  bool operator==(const Call& o) const {
    return section == o.section && name == o.name && value == o.value && index == o.index;
  }
};

void PrintTo(const Call& c, std::ostream* os) {
  auto narrow = [](const std::wstring& w) {
    std::string s;
    for (wchar_t ch : w) s += ch < 128 ? static_cast<char>(ch) : '?';
    return s;
  };
  *os << "{[" << narrow(c.section) << "] " << narrow(c.name) << " = '" << narrow(c.value) << "' #" << c.index
      << "}";
}

struct Collected {
  std::vector<Call> calls;
  int result = 0;
};

// Records every call; refuses the settings whose key is "bad".
int Record(void* user, const wchar_t* section, const wchar_t* name, const wchar_t* value, int index) {
  auto* calls = static_cast<std::vector<Call>*>(user);
  calls->push_back({section, name, value, index});
  return std::wstring(name) != L"bad";
}

Collected Parse(const std::wstring& text) {
  Collected c;
  c.result = vr_ini_parse_string(text.c_str(), Record, &c.calls);
  return c;
}

struct Case {
  const char* what;
  std::wstring text;
  std::vector<Call> calls;
  int result;
};

TEST(Ini, Lines) {
  const Case cases[] = {
      {"section and a setting with an inline comment", L"[a]\nk = v ; note\n", {{L"a", L"k", L"v", 0}}, 0},
      {"setting before any section", L"k=v\n[s]\nx=y\n", {{L"", L"k", L"v", -1}, {L"s", L"x", L"y", 0}}, 0},
      {"section index counts headers", L"[a]\nx=1\n[b]\ny=2\n[a]\nz=3\n",
       {{L"a", L"x", L"1", 0}, {L"b", L"y", L"2", 1}, {L"a", L"z", L"3", 2}}, 0},
      {"colon separator", L"k: v\n", {{L"", L"k", L"v", -1}}, 0},
      {"'=' is looked for before ':'", L"a:b = c\n", {{L"", L"a:b", L"c", -1}}, 0},
      {"value holding '='", L"k = a=b\n", {{L"", L"k", L"a=b", -1}}, 0},
      {"empty value and empty name", L"k =\n= v\n", {{L"", L"k", L"", -1}, {L"", L"", L"v", -1}}, 0},
      {"white space around name and value", L"  k \t=\t v  w \n", {{L"", L"k", L"v  w", -1}}, 0},
      {"section name kept as written", L"[ a b ]\nk=v\n", {{L" a b ", L"k", L"v", 0}}, 0},
      {"text after the closing bracket", L"[a] tail\nk=v\n", {{L"a", L"k", L"v", 0}}, 0},
      {"continuation line", L"k = v\n  more\n\tand more\n",
       {{L"", L"k", L"v", -1}, {L"", L"k", L"more", -1}, {L"", L"k", L"and more", -1}}, 0},
      {"continuation in a section", L"[s]\nk = v\n  more\n", {{L"s", L"k", L"v", 0}, {L"s", L"k", L"more", 0}}, 0},
      {"indented first setting is a setting", L"  k = v\n  more\n",
       {{L"", L"k", L"v", -1}, {L"", L"k", L"more", -1}}, 0},
      {"a section header ends continuation", L"k=v\n[s]\n  cont\n", {{L"", L"k", L"v", -1}}, 3},
      {"comment lines", L"; c\n# c\n  ; indented\n\t# indented\nk=v\n", {{L"", L"k", L"v", -1}}, 0},
      {"comment line after a setting is no continuation", L"k=v\n  ; note\n", {{L"", L"k", L"v", -1}}, 0},
      {"';' is a comment only after white space", L"k = v;x\nk2 = v ;x\nk3 = ;x\nk4 = v\t; x ; y\n",
       {{L"", L"k", L"v;x", -1}, {L"", L"k2", L"v", -1}, {L"", L"k3", L";x", -1}, {L"", L"k4", L"v", -1}}, 0},
      {"'#' inside a value is text", L"k = v # x\n", {{L"", L"k", L"v # x", -1}}, 0},
      {"';' inside brackets without white space", L"[a;b]\nk=v\n", {{L"a;b", L"k", L"v", 0}}, 0},
      {"CR LF line ends", L"[a]\r\nk = v\r\n  more\r\nx: y ; c\r\n",
       {{L"a", L"k", L"v", 0}, {L"a", L"k", L"more", 0}, {L"a", L"x", L"y", 0}}, 0},
      {"non-ASCII text", L"[\u0440\u0430\u0437\u0434\u0435\u043b]\n\u043a\u043b\u044e\u0447 = \u20ac\U0001F600\n",
       {{L"\u0440\u0430\u0437\u0434\u0435\u043b", L"\u043a\u043b\u044e\u0447", L"\u20ac\U0001F600", 0}}, 0},
      {"empty text", L"", {}, 0},
      {"only blank lines", L"\n\n  \n\t\n", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Collected got = Parse(c.text);
    EXPECT_EQ(got.calls, c.calls);
    EXPECT_EQ(got.result, c.result);
  }
}

TEST(Ini, LastLineWithoutLineFeedIsParsed) {
  const Case cases[] = {
      {"single line", L"k=v", {{L"", L"k", L"v", -1}}, 0},
      {"after other lines", L"[s]\na=1\nk = v ; c", {{L"s", L"a", L"1", 0}, {L"s", L"k", L"v", 0}}, 0},
      {"continuation", L"k=v\n  more", {{L"", L"k", L"v", -1}, {L"", L"k", L"more", -1}}, 0},
      {"an error line", L"k=v\nbroken", {{L"", L"k", L"v", -1}}, 2},
      {"a refused setting", L"k=v\nbad=1", {{L"", L"k", L"v", -1}, {L"", L"bad", L"1", -1}}, 2},
      {"after CR LF lines", L"a=1\r\nk=v", {{L"", L"a", L"1", -1}, {L"", L"k", L"v", -1}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Collected got = Parse(c.text);
    EXPECT_EQ(got.calls, c.calls);
    EXPECT_EQ(got.result, c.result);
  }
}

TEST(Ini, FirstErrorLineIsReportedAndParsingGoesOn) {
  const Case cases[] = {
      {"no separator, then an unclosed section", L"noseparator\n[open\n", {}, 1},
      {"an unclosed section on line 2", L"k=v\n[open\nx=y\n", {{L"", L"k", L"v", -1}, {L"", L"x", L"y", -1}}, 2},
      {"a comment hides the bracket", L"[a ;]\n", {}, 1},
      {"a comment hides the separator", L"k ;= v\n", {}, 1},
      {"refused settings: the first one counts",
       L"x=1\nbad=2\ny=3\nbad=4\n",
       {{L"", L"x", L"1", -1}, {L"", L"bad", L"2", -1}, {L"", L"y", L"3", -1}, {L"", L"bad", L"4", -1}}, 2},
      {"a refused continuation", L"bad=1\n  2\nk=v\n", {{L"", L"bad", L"1", -1}, {L"", L"bad", L"2", -1},
                                                       {L"", L"k", L"v", -1}}, 1},
      // Runs of line feeds count as one line end.
      {"blank lines are not counted", L"k=v\n\n\nbroken\n", {{L"", L"k", L"v", -1}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Collected got = Parse(c.text);
    EXPECT_EQ(got.calls, c.calls);
    EXPECT_EQ(got.result, c.result);
  }
}

TEST(Ini, OverLongLineIsOneErrorLine) {
  const std::wstring fits = L"k=" + std::wstring(19997, L'v');  // 19999 characters
  const std::wstring too_long = L"x=" + std::wstring(19998, L'w');
  {
    Collected got = Parse(fits + L"\n");
    ASSERT_EQ(got.calls.size(), 1u);
    EXPECT_EQ(got.calls[0].value, std::wstring(19997, L'v'));
    EXPECT_EQ(got.result, 0);
  }
  {
    // The long line is refused whole: its tail is not read as a line of its
    // own, and the lines after it are parsed and numbered as usual.
    Collected got = Parse(L"a=1\n" + too_long + L"\nb=2\nbroken\n");
    EXPECT_EQ(got.calls, (std::vector<Call>{{L"", L"a", L"1", -1}, {L"", L"b", L"2", -1}}));
    EXPECT_EQ(got.result, 2);
  }
  {
    Collected got = Parse(L"broken\n" + too_long + L"\n");
    EXPECT_EQ(got.result, 1);
  }
  {
    // A long line at the end of the text, without a line feed; and a long
    // value that would split at a separator of its own.
    Collected got = Parse(L"a=1\n" + std::wstring(19999, L'x') + L"=y");
    EXPECT_EQ(got.calls, (std::vector<Call>{{L"", L"a", L"1", -1}}));
    EXPECT_EQ(got.result, 2);
  }
  {
    // A long continuation line does not continue the key.
    Collected got = Parse(L"k=v\n " + std::wstring(20000, L'c') + L"\nx=y\n");
    EXPECT_EQ(got.calls, (std::vector<Call>{{L"", L"k", L"v", -1}, {L"", L"x", L"y", -1}}));
    EXPECT_EQ(got.result, 2);
  }
}

TEST(Ini, NullArguments) {
  std::vector<Call> calls;
  EXPECT_EQ(vr_ini_parse_string(nullptr, Record, &calls), -1);
  EXPECT_EQ(vr_ini_parse_string(L"k=v\n", nullptr, &calls), -1);
  EXPECT_TRUE(calls.empty());
  // The user pointer is passed through untouched, null included.
  EXPECT_EQ(vr_ini_parse_string(L"k=v\n",
                                [](void* user, const wchar_t*, const wchar_t*, const wchar_t*, int) {
                                  return user == nullptr ? 1 : 0;
                                },
                                nullptr),
            0);
}

TEST(Ini, HandlerExceptionPropagatesWithoutLeaks) {
  // The working buffers are released on the way out (the sanitizer build
  // checks for leaks).
  auto throwing = [](void*, const wchar_t*, const wchar_t*, const wchar_t*, int) -> int {
    throw std::runtime_error("from the handler");
  };
  EXPECT_THROW(vr_ini_parse_string(L"k=v\n", throwing, nullptr), std::runtime_error);
}

}  // namespace
