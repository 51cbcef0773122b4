// GOST R 34.10-2012 key files as OpenSSL with the GOST engine reads and
// writes them: PKCS#8 PrivateKeyInfo and SubjectPublicKeyInfo with the
// algorithm and parameter-set identifiers of RFC 9215 and RFC 4491, in PEM
// or DER.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"
#include "vrt.h"

namespace vrt::keyfile {

// A curve parameter set under the name openssl's -pkeyopt paramset: takes.
struct ParamSet {
  const char* name;     // "A", "XB", "TCD", ...; "TEST" for the test sets
  uint32_t bits;        // 256 or 512
  Parameter set;        // the library's parameter set
  const char* oid;      // its identifier
  bool names_digest;    // the key parameters name the digest too, as the engine writes them
  const sign2012_par_t* curve;
  size_t key_len() const { return bits / 8; }
};

// The sets of one key size, in the order the help lists them.
std::vector<const ParamSet*> ParamSets(uint32_t bits);
// A set by its name (any case; "0" is the 256-bit test set, as in openssl)
// or dotted identifier; null when there is none of that size.
const ParamSet* FindParamSet(uint32_t bits, const std::string& name);
// "A, B, C, ..." for help and error texts.
std::string ParamSetNames(uint32_t bits);
// True when both sets use the same curve (as CryptoPro A, XchA and TC26 B do).
bool SameCurve(const ParamSet& a, const ParamSet& b);

struct PrivateKey {
  const ParamSet* params = nullptr;
  cli::SecretBytes d;  // key_len() bytes, little-endian, 1 <= d < q
};

struct PublicKey {
  const ParamSet* params = nullptr;
  std::vector<uint8_t> q;  // 2 * key_len() bytes: x then y, each little-endian
};

// Parse a key file, PEM or DER (told apart by the content). Every rule of
// DER and of the structures is checked, nothing may follow the key, and the
// private key must lie in [1, q). False with *error saying what is wrong.
bool ParsePrivateKey(const uint8_t* p, size_t n, PrivateKey* key, std::string* error);
bool ParsePublicKey(const uint8_t* p, size_t n, PublicKey* key, std::string* error);

// Encode as the engine does: the private key's little-endian bytes as the
// PKCS#8 privateKey OCTET STRING, the public key as an OCTET STRING of x and
// y inside the BIT STRING.
void WritePrivateKey(const PrivateKey& key, bool pem, cli::SecretBytes* out);
void WritePublicKey(const PublicKey& key, bool pem, cli::SecretBytes* out);

// 1 when the key_len() little-endian bytes at k hold a number in [1, q),
// else 0; the time taken does not depend on the number.
uint32_t ScalarInRange(const ParamSet& params, const uint8_t* k);
// Draws a number in [1, q) from the random source (RandomBytes) into
// key_len() bytes at out: random bits below q's length, drawn again when out
// of range. Returns 0 or the status of the random source.
uint32_t RandomScalar(const ParamSet& params, uint8_t* out);

}  // namespace vrt::keyfile
