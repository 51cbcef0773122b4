// UTF-8: conversion to and from wide strings (valid, multi-byte, malformed),
// recode between other sets, the code-point position helpers, and the codecvt
// facet through std::wstring_convert, wide file streams and direct calls.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <locale>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "text/text_util.h"
#include "vrt.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // std::wstring_convert

namespace {

using vrt::test::Hex;

// One character of each UTF-8 length: 1, 2, 3 and 4 bytes.
const char kMixed[] = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z";  // a é € 😀 z
const wchar_t kMixedWide[] = L"a\u00e9\u20ac\U0001F600z";

// Malformed UTF-8, each with what makes it so.
const struct {
  const char* bytes;
  const char* what;
} kMalformed[] = {
    {"\xff", "a byte that never occurs"},
    {"\x80", "a continuation byte alone"},
    {"a\xc3", "a sequence cut short at the end"},
    {"\xc3(", "a lead byte without its continuation"},
    {"\xc0\xaf", "an overlong '/'"},
    {"\xe0\x80\xaf", "an overlong three-byte form"},
    {"\xed\xa0\x80", "a surrogate"},
    {"\xf4\x90\x80\x80", "above U+10FFFF"},
    {"\xf8\x88\x80\x80\x80", "a five-byte form"},
    {"ok \xe2\x82", "a three-byte character cut short"},
};

TEST(Utf8, ToAndFromWide) {
  EXPECT_EQ(toWideChar(kMixed), std::wstring(kMixedWide));
  EXPECT_EQ(fromWideChar(kMixedWide), std::string(kMixed));
  EXPECT_EQ(toWideChar(""), L"");
  EXPECT_EQ(toWideChar(nullptr), L"");
  EXPECT_EQ(fromWideChar(L""), "");
  EXPECT_EQ(fromWideChar(nullptr), "");
  // Every length of character at the largest and smallest code point.
  const std::wstring edges = {wchar_t(0x7F), wchar_t(0x80), wchar_t(0x7FF), wchar_t(0x800), wchar_t(0xFFFF),
                              wchar_t(0x10000), wchar_t(0x10FFFF)};
  EXPECT_EQ(Hex(fromWideChar(edges.c_str()).data(), fromWideChar(edges.c_str()).size()),
            "7f" "c280" "dfbf" "e0a080" "efbfbf" "f0908080" "f48fbfbf");
  EXPECT_EQ(toWideChar(fromWideChar(edges.c_str()).c_str()), edges);
}

TEST(Utf8, MalformedInputRaises) {
  for (const auto& m : kMalformed) {
    EXPECT_EQ(RuntimeErrorOf([&] { toWideChar(m.bytes); }), "iconv failed: UTF-8 to UTF-32LE") << m.what;
  }
  // Wide characters that are no Unicode scalar values, first or later.
  for (wchar_t bad : {wchar_t(0xD800), wchar_t(0xDFFF), wchar_t(0x110000), wchar_t(-1)}) {
    const std::wstring alone(1, bad);
    const std::wstring later = L"ok" + alone;
    EXPECT_EQ(RuntimeErrorOf([&] { fromWideChar(alone.c_str()); }), "iconv failed: UTF-32LE to UTF-8");
    EXPECT_EQ(RuntimeErrorOf([&] { fromWideChar(later.c_str()); }), "iconv failed: UTF-32LE to UTF-8");
  }
}

TEST(Utf8, Recode) {
  char out[16];
  size_t n = sizeof out;
  ASSERT_TRUE(recode("\xc3\xa9t\xc3\xa9", 5, "UTF-8", out, &n, "UTF-16BE"));
  EXPECT_EQ(Hex(out, n), "00e9007400e9");
  n = sizeof out;
  ASSERT_TRUE(recode("\xe9t\xe9", 3, "ISO-8859-1", out, &n, "UTF-8"));
  EXPECT_EQ(Hex(out, n), "c3a974c3a9");
  n = sizeof out;
  EXPECT_TRUE(recode("", 0, "UTF-8", out, &n, "UTF-16BE"));
  EXPECT_EQ(n, 0u);

  // No room for everything: false, and the count of what was written.
  n = 3;
  EXPECT_FALSE(recode("abcd", 4, "UTF-8", out, &n, "UTF-16BE"));
  EXPECT_EQ(Hex(out, n), "0061");
  // A character the target set lacks, malformed input, unknown sets.
  n = sizeof out;
  EXPECT_FALSE(recode("a\xe2\x82\xac", 4, "UTF-8", out, &n, "ASCII"));
  EXPECT_EQ(Hex(out, n), "61");
  n = sizeof out;
  EXPECT_FALSE(recode("\xff", 1, "UTF-8", out, &n, "UTF-16BE"));
  EXPECT_EQ(n, 0u);
  n = sizeof out;
  EXPECT_FALSE(recode("a", 1, "NO-SUCH-SET", out, &n, "UTF-8"));
  EXPECT_FALSE(recode("a", 1, "UTF-8", out, &n, "NO-SUCH-SET"));
  EXPECT_FALSE(recode("a", 1, nullptr, out, &n, "UTF-8"));
  EXPECT_FALSE(recode("a", 1, "UTF-8", out, nullptr, "UTF-8"));
  EXPECT_FALSE(recode(nullptr, 1, "UTF-8", out, &n, "UTF-8"));
}

TEST(Utf8, StrlenCountsCodePoints) {
  EXPECT_EQ(utf8_strlen("\xc3\xa9" "a"), 2);  // a two-byte character and a letter
  EXPECT_EQ(utf8_strlen(kMixed), 5);
  EXPECT_EQ(utf8_strlen(""), 0);
  EXPECT_EQ(utf8_strlen(nullptr), 0);
  EXPECT_EQ(utf8_strlen("\xf0\x9f\x98\x80"), 1);
  EXPECT_EQ(utf8_strlen("\x80\x80"), 0);  // continuation bytes start nothing
}

TEST(Utf8, StringOffset) {
  const std::string s = kMixed;  // offsets 0 a, 1 é, 3 €, 6 😀, 10 z, 11 end
  const int expected[] = {0, 1, 3, 6, 10, 11, 11, 11};
  for (int n = 0; n < 8; ++n) EXPECT_EQ(utf8_string_offset(s, n), expected[n]) << n;
  EXPECT_EQ(utf8_string_offset(s, -1), 0);
  EXPECT_EQ(utf8_string_offset(s, INT_MAX), 11);
  EXPECT_EQ(utf8_string_offset("", 0), 0);
  EXPECT_EQ(utf8_string_offset("", 3), 0);
  // Stray and trailing continuation bytes; an embedded NUL is a character.
  EXPECT_EQ(utf8_string_offset(std::string("a\x80\x80"), 1), 3);
  EXPECT_EQ(utf8_string_offset(std::string("\x80" "ab"), 1), 2);
  EXPECT_EQ(utf8_string_offset(std::string("a\0b", 3), 2), 2);
  EXPECT_EQ(utf8_string_offset(std::string("\xf0\x9f"), 1), 2);  // cut short: the end

  // Any bytes, any count: the offset stays inside the string and grows with n
  // (the sanitizer build also checks every read).
  for (int round = 0; round < 200; ++round) {
    const auto bytes = vrt::test::RandomBytes(vrt::test::RandomSize(0, 40));
    const std::string r(bytes.begin(), bytes.end());
    int last = 0;
    for (int n = 0; n <= static_cast<int>(r.size()) + 2; ++n) {
      const int at = utf8_string_offset(r, n);
      ASSERT_GE(at, last);
      ASSERT_LE(at, static_cast<int>(r.size()));
      last = at;
    }
    EXPECT_EQ(last, static_cast<int>(r.size()));
  }
}

TEST(Utf8Facet, WstringConvert) {
  std::wstring_convert<utf8_codecvt_facet> conv;
  EXPECT_EQ(conv.from_bytes(kMixed), std::wstring(kMixedWide));
  EXPECT_EQ(conv.to_bytes(kMixedWide), std::string(kMixed));
  for (const auto& m : kMalformed) {
    // The facet reports a sequence cut short by the end of the input as
    // partial (see DirectCalls); what wstring_convert makes of that is the
    // standard library's choice, so only the errors are checked here.
    if (std::string(m.what).find("cut short") != std::string::npos) continue;
    EXPECT_THROW(conv.from_bytes(m.bytes), std::range_error) << m.what;
  }
  EXPECT_THROW(conv.to_bytes(std::wstring(1, wchar_t(0xD800))), std::range_error);
  EXPECT_THROW(conv.to_bytes(std::wstring(1, wchar_t(0x110000))), std::range_error);
}

TEST(Utf8Facet, AgreesWithIconvOnRandomText) {
  // Random code points of every length (no surrogates) through both.
  std::wstring_convert<utf8_codecvt_facet> conv;
  for (int round = 0; round < 200; ++round) {
    std::wstring w;
    for (size_t i = vrt::test::RandomSize(1, 30); i > 0; --i) {
      const size_t kind = vrt::test::RandomSize(0, 3);
      const size_t top[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
      wchar_t c;
      do c = static_cast<wchar_t>(vrt::test::RandomSize(1, top[kind]));
      while (c >= 0xD800 && c <= 0xDFFF);
      w += c;
    }
    const std::string u = fromWideChar(w.c_str());
    ASSERT_EQ(conv.to_bytes(w), u);
    ASSERT_EQ(conv.from_bytes(u), w);
  }
}

TEST(Utf8Facet, WideFileStreams) {
  const std::string path = testing::TempDir() + "vrt_utf8_facet.txt";
  {
    std::wofstream out(path);
    out.imbue(std::locale(out.getloc(), new utf8_codecvt_facet));
    out << kMixedWide << L"\n" << L"\u0441\u0442\u0440\u043e\u043a\u0430 2\n";
    ASSERT_TRUE(out.good());
  }
  {
    std::ifstream raw(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string(kMixed) + "\n" + "\xd1\x81\xd1\x82\xd1\x80\xd0\xbe\xd0\xba\xd0\xb0 2\n");
  }
  std::wifstream in(path);
  in.imbue(std::locale(in.getloc(), new utf8_codecvt_facet));
  std::wstring first, second;
  ASSERT_TRUE(std::getline(in, first));
  ASSERT_TRUE(std::getline(in, second));
  EXPECT_EQ(first, kMixedWide);
  EXPECT_EQ(second, L"\u0441\u0442\u0440\u043e\u043a\u0430 2");
  std::remove(path.c_str());
}

TEST(Utf8Facet, DirectCalls) {
  utf8_codecvt_facet facet(1);  // owned here, not by a locale
  const std::codecvt<wchar_t, char, std::mbstate_t>& cvt = facet;
  std::mbstate_t state{};
  EXPECT_EQ(cvt.encoding(), 0);
  EXPECT_EQ(cvt.max_length(), 4);
  EXPECT_FALSE(cvt.always_noconv());

  // A character cut short at the end of the input: partial, nothing consumed
  // of it; an overlong form: error.
  wchar_t w[8];
  const char* from_next;
  wchar_t* to_next;
  const char cut[] = "a\xe2\x82";
  EXPECT_EQ(cvt.in(state, cut, cut + 3, from_next, w, w + 8, to_next), std::codecvt_base::partial);
  EXPECT_EQ(from_next - cut, 1);
  EXPECT_EQ(to_next - w, 1);
  const char overlong[] = "ab\xc0\xaf";
  EXPECT_EQ(cvt.in(state, overlong, overlong + 4, from_next, w, w + 8, to_next), std::codecvt_base::error);
  EXPECT_EQ(from_next - overlong, 2);
  // A wrong second byte is an error even when the sequence is cut short.
  const char bad_start[] = "\xe0\x80";
  EXPECT_EQ(cvt.in(state, bad_start, bad_start + 2, from_next, w, w + 8, to_next), std::codecvt_base::error);
  // Room for two characters only.
  EXPECT_EQ(cvt.in(state, kMixed, kMixed + 11, from_next, w, w + 2, to_next), std::codecvt_base::partial);
  EXPECT_EQ(from_next - kMixed, 3);

  // Out: a character that does not fit stays for the next call; a surrogate
  // is an error.
  char b[8];
  const wchar_t* wfrom_next;
  char* bto_next;
  const wchar_t euro[] = L"a\u20ac";
  EXPECT_EQ(cvt.out(state, euro, euro + 2, wfrom_next, b, b + 3, bto_next), std::codecvt_base::partial);
  EXPECT_EQ(wfrom_next - euro, 1);
  EXPECT_EQ(bto_next - b, 1);
  const wchar_t sur[] = {L'a', wchar_t(0xDC00)};
  EXPECT_EQ(cvt.out(state, sur, sur + 2, wfrom_next, b, b + 8, bto_next), std::codecvt_base::error);
  EXPECT_EQ(wfrom_next - sur, 1);
  EXPECT_EQ(cvt.unshift(state, b, b + 8, bto_next), std::codecvt_base::noconv);
  EXPECT_EQ(bto_next, b);

  // length: the bytes of at most max whole characters.
  EXPECT_EQ(cvt.length(state, kMixed, kMixed + 11, 3), 6);
  EXPECT_EQ(cvt.length(state, kMixed, kMixed + 11, 100), 11);
  EXPECT_EQ(cvt.length(state, kMixed, kMixed + 8, 100), 6);  // stops before the cut 😀
  EXPECT_EQ(cvt.length(state, overlong, overlong + 4, 100), 2);
}

}  // namespace
