// The vrt tool's handling of private keys with the key bytes marked
// undefined: memcheck reports a branch or an address that depends on them.
// Writing a key file (DER and Base64), reading one in each of its forms, the
// range check, hex keys and hex output decide only on lengths and on the
// verdicts the code marks public; so do the first line of a password file
// and the comparison of two passwords.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli.h"
#include "crypt.h"
#include "der.h"
#include "keyfile.h"
#include "pem.h"
#include "vrt.h"

namespace {

using vrt::cli::SecretBytes;

void Secret(const void* p, size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }
void Public(const void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "failed: %s\n", what);
    std::exit(1);
  }
}

void WriteAndReadKeys() {
  for (uint32_t bits : {256u, 512u}) {
    for (const vrt::keyfile::ParamSet* set : vrt::keyfile::ParamSets(bits)) {
      const size_t L = set->key_len();
      vrt::keyfile::PrivateKey key;
      key.params = set;
      key.d.resize(L);
      for (size_t i = 0; i < L; ++i) key.d[i] = static_cast<uint8_t>(0x9d ^ (i * 7));
      key.d[L - 1] = 0x1e;  // below every q
      Secret(key.d.data(), L);
      check(vrt::keyfile::ScalarInRange(*set, key.d.data()) == 1, "range");

      // DER: the key bytes sit at the end; PEM: Base64 of the whole DER.
      SecretBytes der, pem;
      vrt::keyfile::WritePrivateKey(key, false, &der);
      vrt::keyfile::WritePrivateKey(key, true, &pem);
      std::string error;
      vrt::keyfile::PrivateKey back;
      check(vrt::keyfile::ParsePrivateKey(der.data(), der.size(), &back, &error), "raw form");

      // The wrapped and INTEGER forms, built around the same secret bytes.
      const size_t head = der.size() - L - 2;  // up to the privateKey OCTET STRING
      SecretBytes wrapped, integer;
      wrapped.Append(der.data(), head);
      wrapped[1] = static_cast<uint8_t>(wrapped[1] + 2);
      const uint8_t wrap[4] = {0x04, static_cast<uint8_t>(L + 2), 0x04, static_cast<uint8_t>(L)};
      wrapped.Append(wrap, 4);
      wrapped.Append(der.data() + head + 2, L);
      check(vrt::keyfile::ParsePrivateKey(wrapped.data(), wrapped.size(), &back, &error), "wrapped form");
      integer.Append(wrapped.data(), wrapped.size());
      integer[head + 2] = 0x02;  // INTEGER: the bytes big-endian, top byte 0x1e
      for (size_t i = 0; i < L; ++i) integer[head + 4 + i] = key.d[L - 1 - i];
      check(vrt::keyfile::ParsePrivateKey(integer.data(), integer.size(), &back, &error), "INTEGER form");

      // Base64 of the secret-bearing DER, without the PEM lines around it.
      SecretBytes b64, decoded;
      vrt::pem::Base64Encode(der.data(), der.size(), &b64);
      check(vrt::pem::Base64Decode(b64.data(), b64.size(), &decoded), "Base64");
      Public(decoded.data(), decoded.size());
      Public(pem.data(), pem.size());
      check(decoded.size() == der.size(), "Base64 length");
    }
  }
  std::puts("key files: writing, the three private key forms, Base64, range");
}

void HexKeys() {
  char hex[64];
  std::memcpy(hex, "8899aabbccddeeff0011223344556677FEDCBA98765432100123456789abcdef", 64);
  Secret(hex, sizeof hex);
  SecretBytes key, text;
  check(vrt::cli::SecretFromHex(hex, sizeof hex, &key), "hex key");
  vrt::cli::SecretToHex(key.data(), key.size(), &text);
  Public(text.data(), text.size());
  check(std::memcmp(text.data(), "8899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef", 64) == 0,
        "hex round trip");
  std::puts("hex keys and hex output");
}

// The password's first line and the comparison of the two typed passwords.
void Passwords() {
  namespace crypt = vrt::cli::crypt;
  const char* const kLines[][2] = {{"pass word\nsecond", "pass word"}, {"crlf\r\n", "crlf"}, {"\r", ""},
                                   {"no newline", "no newline"}, {"\n\n", ""}};
  for (const auto& line : kLines) {
    SecretBytes text;
    text.Append(line[0], std::strlen(line[0]));
    Secret(text.data(), text.size());
    crypt::FirstLine(&text);
    Public(text.data(), text.size());
    check(text.size() == std::strlen(line[1]) && std::memcmp(text.data(), line[1], text.size()) == 0, "first line");
  }
  SecretBytes password, same, other;
  password.Append("pass word", 9);
  same.Append("pass word", 9);
  other.Append("pass wore", 9);
  Secret(password.data(), 9);
  Secret(same.data(), 9);
  Secret(other.data(), 9);
  check(crypt::SamePassword(password, same) && !crypt::SamePassword(password, other), "password comparison");
  std::puts("passwords: the first line and the comparison");
}

}  // namespace

int main() {
  if (vrtInit() != VRT_SUCCESS) return 2;
  WriteAndReadKeys();
  HexKeys();
  Passwords();
  vrtCleanup();
  return 0;
}
