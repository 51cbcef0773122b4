// The key-file formats of the vrt tool: the DER reader refuses every
// encoding DER forbids, Base64 and PEM are strict, and the key structures
// read what the GOST engine writes (in all its unmasked forms) and refuse
// the rest with a message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "common/test_util.h"
#include "der.h"
#include "keyfile.h"
#include "pem.h"
#include "vrt.h"

namespace vrt::test {
namespace {

using cli::SecretBytes;

std::string HexOf(const SecretBytes& b) { return Hex(b.data(), b.size()); }

std::string Str(const SecretBytes& b) { return std::string(b.data(), b.data() + b.size()); }

// ---- DER ----------------------------------------------------------------

struct BadDer {
  const char* what;
  const char* hex;
  uint8_t tag;
  const char* error;  // a part of the message
};

TEST(Der, RefusesMalformedElements) {
  const BadDer cases[] = {
      {"nothing", "", der::kSequence, "missing"},
      {"no length", "30", der::kSequence, "length"},
      {"length past the end", "300201", der::kSequence, "past the end"},
      {"long length past the end", "30818000", der::kSequence, "past the end"},
      {"length bytes past the end", "3082", der::kSequence, "past the end"},
      {"indefinite length", "30800000", der::kSequence, "indefinite"},
      {"long form below 128", "30810100", der::kSequence, "below 128"},
      {"leading zero length byte", "3082008000", der::kSequence, "leading zero"},
      {"five length bytes", "30850000000001", der::kSequence, "more than 4"},
      {"reserved length form", "30ff", der::kSequence, "more than 4"},
      {"wrong tag", "0400", der::kSequence, "expected a SEQUENCE, found an OCTET STRING"},
      {"constructed OCTET STRING", "2400", der::kOctetString, "found tag 0x24"},
      {"high tag number", "1f8101", der::kSequence, "high tag"},
  };
  for (const BadDer& c : cases) {
    Bytes in = FromHex(c.hex);
    der::Reader r(in.data(), in.size());
    const uint8_t* body;
    size_t len;
    EXPECT_FALSE(r.Read(c.tag, &body, &len)) << c.what;
    EXPECT_NE(r.error().find(c.error), std::string::npos) << c.what << ": " << r.error();
    // The failure sticks.
    EXPECT_FALSE(r.Read(c.tag, &body, &len)) << c.what;
  }
}

TEST(Der, IntegersAndIdentifiers) {
  struct Case {
    const char* hex;
    bool ok;
    uint64_t value;
  } ints[] = {
      {"020100", true, 0},          {"02017f", true, 127},        {"02020080", true, 128},
      {"0200", false, 0},           {"02020001", false, 0},       {"0201ff", false, 0},
      {"0203ff0000", false, 0},     {"0209008000000000000000", true, 0x8000000000000000},
      {"020901000000000000000000", false, 0},
  };
  for (const Case& c : ints) {
    Bytes in = FromHex(c.hex);
    der::Reader r(in.data(), in.size());
    uint64_t v = 0;
    EXPECT_EQ(r.ReadSmallInteger(&v), c.ok) << c.hex << ": " << r.error();
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.hex;
    }
  }
  struct Oid {
    const char* hex;
    const char* dotted;  // null: refused
  } oids[] = {
      {"06082a85030701010101", "1.2.643.7.1.1.1.1"},
      {"0603883703", "2.999.3"},
      {"0600", nullptr},
      {"0603808001", nullptr},  // a component with a leading 0x80
      {"06022a85", nullptr},    // ends inside a component
  };
  for (const Oid& c : oids) {
    Bytes in = FromHex(c.hex);
    der::Reader r(in.data(), in.size());
    std::string dotted;
    EXPECT_EQ(r.ReadOid(&dotted), c.dotted != nullptr) << c.hex << ": " << r.error();
    if (c.dotted != nullptr) {
      EXPECT_EQ(dotted, c.dotted);
      SecretBytes out;
      ASSERT_TRUE(der::AppendOid(&out, dotted));
      EXPECT_EQ(HexOf(out), c.hex);
    }
  }
  for (const char* bad : {"", "1", "3.1", "1.40", "1..2", "01.2", "1.2.", "1.2a", "1.99999999999999999999"}) {
    SecretBytes out;
    EXPECT_FALSE(der::AppendOid(&out, bad)) << bad;
  }
}

TEST(Der, LengthsRoundTrip) {
  for (size_t n : {0, 1, 127, 128, 255, 256, 65535, 65536}) {
    Bytes body(n, 0x5a);
    SecretBytes out;
    der::Append(&out, der::kOctetString, body.data(), n);
    const size_t header = n < 128 ? 2 : n < 256 ? 3 : n < 65536 ? 4 : 5;
    ASSERT_EQ(out.size(), header + n) << n;
    der::Reader r(out.data(), out.size());
    const uint8_t* p;
    size_t len;
    ASSERT_TRUE(r.Read(der::kOctetString, &p, &len)) << n << ": " << r.error();
    EXPECT_EQ(len, n);
    EXPECT_TRUE(r.ExpectEnd("the element"));
  }
  Bytes two = FromHex("0500" "0500");
  der::Reader r(two.data(), two.size());
  const uint8_t* p;
  size_t len;
  ASSERT_TRUE(r.Read(der::kNull, &p, &len));
  EXPECT_FALSE(r.ExpectEnd("the NULL"));
  EXPECT_NE(r.error().find("2 unexpected bytes after the NULL"), std::string::npos) << r.error();
}

// ---- Base64 and PEM -------------------------------------------------------

std::string ReferenceBase64(const Bytes& in) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<uint32_t>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= in[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

TEST(Base64, AgreesWithTheAlphabetAndRoundTrips) {
  Bytes all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i * 3 + i / 86);  // every 6-bit group
  for (size_t n = 0; n <= all.size(); n += n < 8 ? 1 : 37) {
    Bytes in(all.begin(), all.begin() + static_cast<long>(n));
    SecretBytes enc, dec;
    pem::Base64Encode(in.data(), n, &enc);
    EXPECT_EQ(Str(enc), ReferenceBase64(in)) << n;
    ASSERT_TRUE(pem::Base64Decode(enc.data(), enc.size(), &dec)) << n;
    EXPECT_EQ(HexOf(dec), Hex(in)) << n;
  }
  for (const char* bad : {"QQ", "QQ=", "Q===", "====", "QR==", "QUI=QUJD", "QUJ=", "QU*D", "QU D", "QUJD\n"}) {
    SecretBytes dec;
    EXPECT_FALSE(pem::Base64Decode(reinterpret_cast<const uint8_t*>(bad), std::strlen(bad), &dec)) << bad;
  }
}

struct PemCase {
  const char* what;
  std::string text;
  const char* error;  // null: accepted
};

TEST(Pem, StrictBlocks) {
  const std::string b64 = "MDEyMzQ1Njc4OWFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6QUJDREVGR0hJSktMTU5PUFFSU1RVVldY";
  const std::string l64 = b64.substr(0, 64), rest = b64.substr(64);
  const std::string begin = "-----BEGIN TEST-----", end = "-----END TEST-----";
  const PemCase cases[] = {
      {"64-column lines", begin + "\n" + l64 + "\n" + rest + "\n" + end + "\n", nullptr},
      {"CR LF lines", begin + "\r\n" + l64 + "\r\n" + rest + "\r\n" + end + "\r\n", nullptr},
      {"no final line end, white space around", "\n  " + begin + "\n" + l64 + "\n" + rest + "\n" + end, nullptr},
      {"76-column lines", begin + "\n" + b64.substr(0, 76) + "\n" + b64.substr(76) + "\n" + end + "\n", nullptr},
      {"a short line before a long one", begin + "\n" + rest + "\n" + l64 + "\n" + end + "\n", "wrong length"},
      {"a line of 80", begin + "\n" + b64 + "\n" + end + "\n", "wrong length"},
      {"an empty line", begin + "\n" + l64 + "\n\n" + rest + "\n" + end + "\n", "wrong length"},
      {"a header", begin + "\nProc-Type: 4,ENCRYPTED\n" + b64.substr(0, 72) + "\n" + end + "\n", "headers"},
      {"another END label", begin + "\n" + l64 + "\n" + rest + "\n-----END OTHER-----\n", "does not match"},
      {"no END line", begin + "\n" + l64 + "\n" + rest + "\n", "no PEM END"},
      {"text after the END line", begin + "\n" + l64 + "\n" + rest + "\n" + end + "\nmore\n", "after the PEM END"},
      {"a second block", begin + "\n" + l64 + "\n" + end + "\n" + begin + "\n" + l64 + "\n" + end + "\n",
       "after the PEM END"},
      {"text before the BEGIN line", "key:\n" + begin + "\n" + l64 + "\n" + end + "\n", "BEGIN"},
      {"an empty block", begin + "\n" + end + "\n", "empty"},
      {"bad Base64", begin + "\n" + l64.substr(0, 63) + "!\n" + end + "\n", "Base64"},
      {"a truncated BEGIN line", "-----BEGIN TEST--\n" + l64 + "\n" + end + "\n", "BEGIN"},
  };
  for (const PemCase& c : cases) {
    std::string label, error;
    SecretBytes der;
    const bool ok =
        pem::Decode(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size(), &label, &der, &error);
    EXPECT_EQ(ok, c.error == nullptr) << c.what << ": " << error;
    if (c.error == nullptr) {
      EXPECT_EQ(label, "TEST") << c.what;
      EXPECT_EQ(der.size(), 60u) << c.what;
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
  }
  SecretBytes der, text;
  const Bytes bytes = RandomBytes(100);
  der.Append(bytes.data(), bytes.size());
  pem::Encode("X Y", der.data(), der.size(), &text);
  EXPECT_EQ(Str(text).substr(0, 16), "-----BEGIN X Y--");
  std::string label, error;
  SecretBytes back;
  ASSERT_TRUE(pem::Decode(text.data(), text.size(), &label, &back, &error)) << error;
  EXPECT_EQ(label, "X Y");
  EXPECT_EQ(HexOf(back), HexOf(der));
}

// ---- key structures -------------------------------------------------------

// A CryptoPro-A key as openssl genpkey -engine gost writes it, and its
// public key as openssl pkey -pubout writes it.
const char* kEngineKey =
    "3046020100301f06082a85030701010101301306072a85030202230106082a850307010102020420"
    "9d9cfcc9587dd85dfa9bd4708486bfe2180d4534c6a90dde41367924dd955372";
const char* kEnginePub =
    "3066301f06082a85030701010101301306072a85030202230106082a850307010102020343000440"
    "aeb2246b681ea0dbad0d483bac76854619d83612378bd0c4414617731977e67e9bd0954611a7c6f4449e27f2f8088b8ccb0c2a8356"
    "ab81c7a543047d67cd1392";

bool ParseKey(const std::string& hex, keyfile::PrivateKey* key, std::string* error) {
  Bytes der = FromHex(hex);
  return keyfile::ParsePrivateKey(der.data(), der.size(), key, error);
}

TEST(KeyFile, ReadsWhatTheEngineWrites) {
  keyfile::PrivateKey key;
  std::string error;
  ASSERT_TRUE(ParseKey(kEngineKey, &key, &error)) << error;
  EXPECT_STREQ(key.params->name, "A");
  EXPECT_EQ(key.params->bits, 256u);
  EXPECT_EQ(HexOf(key.d), "9d9cfcc9587dd85dfa9bd4708486bfe2180d4534c6a90dde41367924dd955372");
  SecretBytes out;
  keyfile::WritePrivateKey(key, false, &out);
  EXPECT_EQ(HexOf(out), kEngineKey);

  Bytes pub = FromHex(kEnginePub);
  keyfile::PublicKey q;
  ASSERT_TRUE(keyfile::ParsePublicKey(pub.data(), pub.size(), &q, &error)) << error;
  EXPECT_EQ(q.params, key.params);
  EXPECT_EQ(Hex(q.q).substr(0, 8), "aeb2246b");
  keyfile::WritePublicKey(q, false, &out);
  EXPECT_EQ(HexOf(out), Hex(pub));
}

// The engine's unmasked forms: the bytes as they are, wrapped in a further
// OCTET STRING, or a big-endian INTEGER.
TEST(KeyFile, PrivateKeyForms) {
  const std::string head = "020100301f06082a85030701010101301306072a85030202230106082a85030701010202";
  const std::string le = "9d9cfcc9587dd85dfa9bd4708486bfe2180d4534c6a90dde41367924dd955372";
  const std::string be = Hex(Reversed(FromHex(le)));  // top bit clear: no sign byte
  // A key whose top byte has the high bit set needs the sign byte, and one
  // with a zero top byte is one byte shorter.
  const std::string le_high = le.substr(0, 62) + "c1", le_short = le.substr(0, 62) + "00";
  struct Case {
    const char* what;
    std::string hex;
    std::string d;  // empty: refused
  } cases[] = {
      {"raw", "3046" + head + "0420" + le, le},
      {"wrapped", "3048" + head + "04220420" + le, le},
      {"INTEGER", "3048" + head + "04220220" + be, le},
      {"INTEGER with the sign byte", "3049" + head + "0423022100" + Hex(Reversed(FromHex(le_high))), le_high},
      {"short INTEGER", "3047" + head + "0421021f" + Hex(Reversed(FromHex(le_short))).substr(2), le_short},
      {"INTEGER with a superfluous zero", "3049" + head + "0423022100" + be, ""},
      {"negative INTEGER", "3048" + head + "04220220" + Hex(Reversed(FromHex(le_high))), ""},
      {"wrapped, short", "3047" + head + "0421041f" + le.substr(0, 62), ""},
      {"masked", "3066" + head + "0440" + le + le, ""},
      {"unknown form", "3047" + head + "0421" + le + "00", ""},
      {"zero", "3046" + head + "0420" + std::string(64, '0'), ""},
      {"trailing byte", "3047" + head + "0420" + le + "00", ""},
      {"attributes", "3048" + head + "0420" + le + "a000", ""},
      {"version 1", "3046020101" + head.substr(6) + "0420" + le, ""},
  };
  for (const Case& c : cases) {
    keyfile::PrivateKey key;
    std::string error;
    EXPECT_EQ(ParseKey(c.hex, &key, &error), !c.d.empty()) << c.what << ": " << error;
    if (!c.d.empty()) {
      EXPECT_EQ(HexOf(key.d), c.d) << c.what;
    } else {
      EXPECT_FALSE(error.empty()) << c.what;
    }
  }
}

TEST(KeyFile, RefusesUnknownIdentifiersWithAMessage) {
  const std::string key = "0420" + std::string(62, '1') + "01";
  struct Case {
    const char* what;
    std::string alg;  // the AlgorithmIdentifier
    const char* error;
  } cases[] = {
      {"GOST R 34.10-2001", "301c06062a8503020213301206072a85030202230106072a850302021e01", "GOST R 34.10-2001"},
      {"unknown algorithm", "301f06082a85030701010109301306072a85030202230106082a85030701010202", "unknown key algorithm"},
      {"a 512-bit set in a 256-bit key",
       "302106082a85030701010101301506092a850307010201020106082a85030701010202", "unknown parameter set"},
      {"unknown set", "301f06082a85030701010101301306072a85030202230906082a85030701010202", "unknown parameter set"},
      {"the 512-bit digest", "301f06082a85030701010101301306072a85030202230106082a85030701010203", "digest"},
      {"no parameters", "300a06082a85030701010101", "missing"},
      {"a malformed algorithm identifier", "300406028001", "leading zero"},
      {"NULL parameters", "300c06082a850307010101010500", "expected a SEQUENCE"},
      {"a third identifier", "30290608" "2a85030701010101301d06072a85030202230106082a8503070101020206082a85030701010202",
       "unexpected"},
  };
  for (const Case& c : cases) {
    const std::string body = "020100" + c.alg + key;
    char len[24];
    std::snprintf(len, sizeof len, "%02zx", body.size() / 2);
    keyfile::PrivateKey k;
    std::string error;
    EXPECT_FALSE(ParseKey("30" + std::string(len) + body, &k, &error)) << c.what;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
  // Without the digest identifier (as the engine writes TC26 sets) the key
  // is read.
  keyfile::PrivateKey k;
  std::string error;
  EXPECT_TRUE(ParseKey("303c020100301506082a85030701010101300906072a8503020223010420" + std::string(62, '1') + "01", &k,
                       &error))
      << error;
}

TEST(KeyFile, PublicKeyShapes) {
  const std::string alg = "301f06082a85030701010101301306072a85030202230106082a85030701010202";
  const std::string point(128, 'a');
  struct Case {
    const char* what;
    std::string hex;
    const char* error;  // null: accepted
  } cases[] = {
      {"the engine's form", "3066" + alg + "0343000440" + point, nullptr},
      {"unused bits", "3066" + alg + "0343010440" + point, "unused bits"},
      {"a short point", "3065" + alg + "034200043f" + point.substr(2), "63 bytes"},
      {"the point without its OCTET STRING", "3064" + alg + "034100" + point, "expected an OCTET STRING"},
      {"a private key", kEngineKey, "a private key, not a public key"},
  };
  for (const Case& c : cases) {
    Bytes der = FromHex(c.hex);
    keyfile::PublicKey q;
    std::string error;
    EXPECT_EQ(keyfile::ParsePublicKey(der.data(), der.size(), &q, &error), c.error == nullptr) << c.what;
    if (c.error != nullptr) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
  }
  keyfile::PrivateKey k;
  std::string error;
  Bytes pub = FromHex(kEnginePub);
  EXPECT_FALSE(keyfile::ParsePrivateKey(pub.data(), pub.size(), &k, &error));
  EXPECT_EQ(error, "a public key, not a private key");
}

TEST(KeyFile, EverySetRoundTripsInPemAndDer) {
  for (uint32_t bits : {256u, 512u}) {
    for (const keyfile::ParamSet* set : keyfile::ParamSets(bits)) {
      keyfile::PrivateKey key;
      key.params = set;
      key.d.resize(set->key_len());
      ASSERT_EQ(keyfile::RandomScalar(*set, key.d.data()), VRT_SUCCESS);
      keyfile::PublicKey pub;
      pub.params = set;
      pub.q = RandomBytes(2 * set->key_len());
      for (bool pem : {true, false}) {
        SecretBytes text;
        keyfile::WritePrivateKey(key, pem, &text);
        keyfile::PrivateKey back;
        std::string error;
        ASSERT_TRUE(keyfile::ParsePrivateKey(text.data(), text.size(), &back, &error)) << set->name << error;
        EXPECT_EQ(back.params, set);
        EXPECT_EQ(HexOf(back.d), HexOf(key.d));
        keyfile::WritePublicKey(pub, pem, &text);
        keyfile::PublicKey pub_back;
        ASSERT_TRUE(keyfile::ParsePublicKey(text.data(), text.size(), &pub_back, &error)) << set->name << error;
        EXPECT_EQ(pub_back.params, set);
        EXPECT_EQ(pub_back.q, pub.q);
      }
      EXPECT_EQ(keyfile::FindParamSet(bits, set->name), set);
      EXPECT_EQ(keyfile::FindParamSet(bits, set->oid), set);
    }
  }
  EXPECT_EQ(keyfile::FindParamSet(256, "tcb"), keyfile::FindParamSet(256, "TCB"));
  EXPECT_EQ(keyfile::FindParamSet(256, "0"), keyfile::FindParamSet(256, "TEST"));
  EXPECT_EQ(keyfile::FindParamSet(512, "0"), nullptr);
  EXPECT_EQ(keyfile::FindParamSet(512, "XA"), nullptr);
  EXPECT_EQ(keyfile::FindParamSet(512, "1.2.643.2.2.35.1"), nullptr);
  EXPECT_TRUE(keyfile::SameCurve(*keyfile::FindParamSet(256, "A"), *keyfile::FindParamSet(256, "TCB")));
  EXPECT_FALSE(keyfile::SameCurve(*keyfile::FindParamSet(256, "A"), *keyfile::FindParamSet(256, "B")));
}

// The range [1, q) at its ends, on a set whose q is far below 2^256 (TC26 A,
// cofactor 4) and on one whose q is close to it.
TEST(KeyFile, ScalarRange) {
  for (const char* name : {"TCA", "A"}) {
    const keyfile::ParamSet& set = *keyfile::FindParamSet(256, name);
    Bytes q(set.curve->q, set.curve->q + 32);
    Bytes k = q;
    EXPECT_EQ(keyfile::ScalarInRange(set, k.data()), 0u) << name << " q";
    k[0] -= 1;  // q is odd
    EXPECT_EQ(keyfile::ScalarInRange(set, k.data()), 1u) << name << " q - 1";
    Bytes zero(32, 0), one(32, 0), all(32, 0xff);
    one[0] = 1;
    EXPECT_EQ(keyfile::ScalarInRange(set, zero.data()), 0u) << name;
    EXPECT_EQ(keyfile::ScalarInRange(set, one.data()), 1u) << name;
    EXPECT_EQ(keyfile::ScalarInRange(set, all.data()), 0u) << name;
    for (int i = 0; i < 200; ++i) {
      Bytes r(32);
      ASSERT_EQ(keyfile::RandomScalar(set, r.data()), VRT_SUCCESS);
      ASSERT_EQ(keyfile::ScalarInRange(set, r.data()), 1u) << name;
    }
  }
  // A key of q itself is refused when read.
  const keyfile::ParamSet& set = *keyfile::FindParamSet(256, "A");
  keyfile::PrivateKey key;
  std::string error;
  const std::string head = "020100301f06082a85030701010101301306072a85030202230106082a85030701010202";
  EXPECT_FALSE(ParseKey("3046" + head + "0420" + Hex(set.curve->q, 32), &key, &error));
  EXPECT_NE(error.find("out of range"), std::string::npos) << error;
}

TEST(Cli, SecretHexAndArguments) {
  SecretBytes out;
  ASSERT_TRUE(cli::SecretFromHex("00aFf09B", 8, &out));
  EXPECT_EQ(HexOf(out), "00aff09b");
  for (const char* bad : {"0", "0g", "g0", " 0", "0x00", "@0", "[0", "`0", "{0", "/0", ":0"})
    EXPECT_FALSE(cli::SecretFromHex(bad, std::strlen(bad), &out)) << bad;

  std::vector<std::string> args = {"-kKEY", "--out=o", "-a", "x", "--", "-k", "-", "file"};
  cli::ArgReader r(args);
  std::string k, o, a;
  std::vector<std::string> files;
  while (r.Next()) {
    if (r.operand()) {
      files.push_back(r.arg());
    } else if (!r.Option("-k", "--key", &k) && !r.Option("-o", "--out", &o) && !r.Option("-a", "--alg", &a)) {
      ADD_FAILURE() << "unexpected option " << r.arg();
    }
  }
  EXPECT_FALSE(r.bad());
  EXPECT_EQ(k, "KEY");
  EXPECT_EQ(o, "o");
  EXPECT_EQ(a, "x");
  EXPECT_EQ(files, (std::vector<std::string>{"-k", "-", "file"}));
  std::vector<std::string> missing = {"-k"};
  cli::ArgReader m(missing);
  ASSERT_TRUE(m.Next());
  EXPECT_TRUE(m.Option("-k", "--key", &k));
  EXPECT_FALSE(m.Next());
  EXPECT_TRUE(m.bad());
}

}  // namespace
}  // namespace vrt::test
