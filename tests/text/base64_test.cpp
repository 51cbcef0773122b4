// Base64: the RFC 4648 vectors, round trips of every short length, what the
// decoder skips and where it stops, the size helpers and their limits, and
// agreement with OpenSSL.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "common/file_test.h"
#include "common/test_util.h"
#include "text/text_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;

Bytes DecodeBytes(const std::wstring& text) {
  std::vector<unsigned char> v = Decode(text);
  return Bytes(v.begin(), v.end());
}

bool OnlyAlphabet(const std::wstring& text) {
  for (wchar_t c : text)
    if (!((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'+' ||
          c == L'/' || c == L'='))
      return false;
  return true;
}

TEST(Base64, Rfc4648Vectors) {
  vrt::test::FileTestRun("text/base64.txt", [](vrt::test::FileTest& t) {
    const Bytes data = t.GetBytes("Data");
    const std::wstring text = Wide(t.GetText("Base64"));
    EXPECT_EQ(Encode(data.data(), data.size()), text);
    EXPECT_EQ(Hex(DecodeBytes(text)), Hex(data));
  });
}

TEST(Base64, EveryShortLengthRoundTrips) {
  // 0..64 covers every tail (0, 1, 2 bytes) around the vector block of 24
  // bytes and its 4 bytes of read-ahead; the longer ones run many blocks.
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 64; ++n) lengths.push_back(n);
  for (size_t n : {95, 96, 97, 767, 768, 769, 772, 4096, 100001}) lengths.push_back(n);
  for (size_t n : lengths) {
    SCOPED_TRACE(n);
    const Bytes data = vrt::test::RandomBytes(n);
    const std::wstring text = Encode(data.data(), n);
    ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
    EXPECT_TRUE(OnlyAlphabet(text));
    EXPECT_EQ(text.find(L'='), n % 3 == 0 ? std::wstring::npos : text.size() - (3 - n % 3));
    EXPECT_EQ(Hex(DecodeBytes(text)), Hex(data));
  }
}

TEST(Base64, LongInputsAgreeWithGroupByGroup) {
  // Long inputs take the vector blocks, a single group never does: both must
  // give the same text and bytes, for every byte value in each place of a
  // group (so every character in each place of a block).
  Bytes data;
  for (size_t place = 0; place < 3; ++place) {
    while (data.size() % 3 != place) data.push_back(0);
    for (int i = 0; i < 256; ++i) data.push_back(static_cast<uint8_t>(i));
  }
  Bytes more = vrt::test::RandomBytes(3000);
  data.insert(data.end(), more.begin(), more.end());
  data.resize(data.size() / 3 * 3);
  const std::wstring text = Encode(data.data(), data.size());
  std::wstring by_groups;
  for (size_t i = 0; i < data.size(); i += 3) by_groups += Encode(data.data() + i, 3);
  ASSERT_EQ(text, by_groups);
  Bytes decoded_by_groups;
  for (size_t i = 0; i < text.size(); i += 4) {
    Bytes g = DecodeBytes(text.substr(i, 4));
    decoded_by_groups.insert(decoded_by_groups.end(), g.begin(), g.end());
  }
  EXPECT_EQ(Hex(DecodeBytes(text)), Hex(data));
  EXPECT_EQ(Hex(decoded_by_groups), Hex(data));
}

TEST(Base64, DecodeSkipsCharactersOutsideTheAlphabet) {
  const struct {
    std::wstring text;
    std::string bytes;
  } cases[] = {
      {L"YW Jj", "abc"},
      {L"Y\nW\r\nJ\tj", "abc"},
      {L"YWJj\n", "abc"},
      {L" YWJj", "abc"},
      {L"YW-_.Jj", "abc"},                          // the URL-safe characters are not ours
      {L"YW\u00e9\u4e2d\U0001F600Jj", "abc"},       // non-ASCII characters
      {std::wstring(L"YW\0Jj", 5), "abc"},          // an embedded NUL
      {std::wstring(L"YW") + wchar_t(0x100 + 'J') + L"Jj", "abc"},  // not 'J' in the low byte
      {L"YW*Jj!", "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(DecodeBytes(c.text)), Hex(c.bytes.data(), c.bytes.size()));
  }
  // Line breaks every 76 characters, as MIME writes them, inside a long text.
  const Bytes data = vrt::test::RandomBytes(3000);
  std::wstring text = Encode(data.data(), data.size());
  for (size_t at = 76; at < text.size(); at += 78) text.insert(at, L"\r\n");
  EXPECT_EQ(Hex(DecodeBytes(text)), Hex(data));
}

TEST(Base64, DecodeStopsAtTheFirstPad) {
  const struct {
    std::wstring text;
    std::string bytes;
  } cases[] = {
      {L"YQ==YWJj", "a"},        // text after the pad is ignored
      {L"YWJj=YWJj", "abc"},
      {L"YWI=", "ab"},
      {L"=YWJj", ""},
      {L"YQ=", "a"},
      // Partial last groups: 2 or 3 characters give 1 or 2 bytes, 1 none.
      {L"YQ", "a"},
      {L"YWI", "ab"},
      {L"Y", ""},
      {L"YWJjZ", "abc"},
      {L"", ""},
      {L"  \n", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(DecodeBytes(c.text)), Hex(c.bytes.data(), c.bytes.size()));
  }
  // A pad in the middle of a long text: the vector path stops before it too.
  const Bytes data = vrt::test::RandomBytes(300);
  std::wstring text = Encode(data.data(), data.size());
  for (size_t cut = 0; cut < text.size(); cut += 4) {
    std::wstring t = text.substr(0, cut) + L"=" + text.substr(cut);
    ASSERT_EQ(Hex(DecodeBytes(t)), Hex(data.data(), cut / 4 * 3)) << cut;
  }
}

TEST(Base64, DecodeRefusesWideCharactersThatAreNoText) {
  const std::wstring bad[] = {
      std::wstring(1, wchar_t(0xD800)),
      std::wstring(L"YWJj") + wchar_t(0xDFFF),
      std::wstring(L"YW") + wchar_t(0x110000) + L"Jj",
      std::wstring(L"YWJj") + wchar_t(-1),
      std::wstring(L"YQ==") + wchar_t(0xD800),  // after the pad as well
      std::wstring(200, L'A') + wchar_t(0xDC00) + std::wstring(100, L'A'),
  };
  for (const auto& t : bad) EXPECT_EQ(RuntimeErrorOf([&] { Decode(t); }), "iconv failed: UTF-32LE to UTF-8");
  // The largest code point is text.
  EXPECT_EQ(Hex(DecodeBytes(std::wstring(L"YW") + wchar_t(0x10FFFF) + L"Jj")), "616263");
}

TEST(Base64, EncodeRefusesNullData) {
  EXPECT_EQ(RuntimeErrorOf([] { Encode(nullptr, 1); }), "Encode");
  EXPECT_EQ(Encode(nullptr, 0), L"");
}

TEST(Base64, RequiredLengths) {
  const struct {
    size_t n;
    int expected;
  } cases[] = {
      {0, 2}, {1, 6}, {2, 6}, {3, 6}, {4, 10}, {5, 10}, {55, 78}, {56, 80}, {57, 80}, {58, 84}, {114, 158},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeGetRequiredLength(c.n), c.expected) << c.n;
  // Never short of the encoded length.
  for (size_t n = 0; n < 2000; ++n) ASSERT_GE(static_cast<size_t>(EncodeGetRequiredLength(n)), (n + 2) / 3 * 4) << n;
  EXPECT_EQ(DecodeGetRequiredLength(10), 10u);
  EXPECT_EQ(DecodeGetRequiredLength(0), 0u);
  for (size_t n = 0; n < 200; ++n) {
    const Bytes data = vrt::test::RandomBytes(n);
    const std::wstring text = Encode(data.data(), n);
    ASSERT_LE(Decode(text).size(), DecodeGetRequiredLength(text.size()));
  }
}

TEST(Base64, RequiredLengthAtTheIntLimit) {
  // 4n must stay within int: n = INT_MAX / 4 is the largest accepted.
  const size_t largest = static_cast<size_t>(INT_MAX) / 4;
  int at_limit = 0;
  EXPECT_EQ(RuntimeErrorOf([&] { at_limit = EncodeGetRequiredLength(largest); }), "");
  EXPECT_GE(static_cast<size_t>(at_limit), (largest + 2) / 3 * 4);
  EXPECT_EQ(at_limit, 734665460);
  for (size_t n : {largest + 1, largest + 2, static_cast<size_t>(INT_MAX), static_cast<size_t>(UINT32_MAX) + 1,
                   SIZE_MAX / 4 + 1, SIZE_MAX})
    EXPECT_EQ(RuntimeErrorOf([&] { EncodeGetRequiredLength(n); }), "EncodeGetRequiredLength") << n;
  // Encode refuses such a length before it reads anything.
  const unsigned char one = 0;
  EXPECT_EQ(RuntimeErrorOf([&] { Encode(&one, largest + 1); }), "EncodeGetRequiredLength");
}

#if defined(VRT_HAVE_OPENSSL)
TEST(Base64Peer, EncodeMatchesOpenSsl) {
  for (size_t n : vrt::test::AwkwardLengths(24)) {
    SCOPED_TRACE(n);
    const Bytes data = vrt::test::RandomBytes(n);
    std::string theirs((n + 2) / 3 * 4 + 1, '\0');
    const int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&theirs[0]), data.data(), static_cast<int>(n));
    theirs.resize(static_cast<size_t>(len));
    EXPECT_EQ(Encode(data.data(), n), Wide(theirs));
  }
}
#endif

}  // namespace
