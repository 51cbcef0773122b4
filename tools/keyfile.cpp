#include "keyfile.h"

#include <cstring>

#include "der.h"
#include "pem.h"

namespace vrt::keyfile {
namespace {

constexpr const char* kAlgorithm256 = "1.2.643.7.1.1.1.1";  // id-tc26-gost3410-12-256
constexpr const char* kAlgorithm512 = "1.2.643.7.1.1.1.2";  // id-tc26-gost3410-12-512
constexpr const char* kDigest256 = "1.2.643.7.1.1.2.2";     // id-tc26-gost3411-12-256
constexpr const char* kDigest512 = "1.2.643.7.1.1.2.3";     // id-tc26-gost3411-12-512

const ParamSet kParamSets[] = {
    {"A", 256, VRT_PARAM_CRYPTOPRO_A, "1.2.643.2.2.35.1", true, &gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet},
    {"B", 256, VRT_PARAM_CRYPTOPRO_B, "1.2.643.2.2.35.2", true, &gost3410_param_GostR3410_2001_CryptoPro_B_ParamSet},
    {"C", 256, VRT_PARAM_CRYPTOPRO_C, "1.2.643.2.2.35.3", true, &gost3410_param_GostR3410_2001_CryptoPro_C_ParamSet},
    {"XA", 256, VRT_PARAM_CRYPTOPRO_XCHA, "1.2.643.2.2.36.0", true,
     &gost3410_param_GostR3410_2001_CryptoPro_XchA_ParamSet},
    {"XB", 256, VRT_PARAM_CRYPTOPRO_XCHB, "1.2.643.2.2.36.1", true,
     &gost3410_param_GostR3410_2001_CryptoPro_XchB_ParamSet},
    {"TCA", 256, VRT_PARAM_TC26_256_A, "1.2.643.7.1.2.1.1.1", false, &gost3410_param_tc26_gost_3410_12_256_paramSetA},
    {"TCB", 256, VRT_PARAM_TC26_256_B, "1.2.643.7.1.2.1.1.2", false, &gost3410_param_tc26_gost_3410_12_256_paramSetB},
    {"TCC", 256, VRT_PARAM_TC26_256_C, "1.2.643.7.1.2.1.1.3", false, &gost3410_param_tc26_gost_3410_12_256_paramSetC},
    {"TCD", 256, VRT_PARAM_TC26_256_D, "1.2.643.7.1.2.1.1.4", false, &gost3410_param_tc26_gost_3410_12_256_paramSetD},
    {"TEST", 256, VRT_PARAM_CRYPTOPRO_TEST, "1.2.643.2.2.35.0", true,
     &gost3410_param_GostR3410_2001_CryptoPro_TestParamSet},
    {"A", 512, VRT_PARAM_TC26_512_A, "1.2.643.7.1.2.1.2.1", true, &gost3410_param_tc26_gost_3410_12_512_paramSetA},
    {"B", 512, VRT_PARAM_TC26_512_B, "1.2.643.7.1.2.1.2.2", true, &gost3410_param_tc26_gost_3410_12_512_paramSetB},
    {"C", 512, VRT_PARAM_TC26_512_C, "1.2.643.7.1.2.1.2.3", false, &gost3410_param_tc26_gost_3410_12_512_paramSetC},
    {"TEST", 512, VRT_PARAM_TC26_512_TEST, "1.2.643.7.1.2.1.2.0", true,
     &gost3410_param_tc26_gost_3410_12_512_paramSetTest},
};

// Identifiers of keys the tool recognises but does not take.
struct Unsupported {
  const char* oid;
  const char* what;
};
const Unsupported kUnsupported[] = {
    {"1.2.643.2.2.19", "a GOST R 34.10-2001 key"},
    {"1.2.643.2.2.98", "a GOST R 34.10-2001 key agreement key"},
    {"1.2.643.2.2.20", "a GOST R 34.10-94 key"},
    {"1.2.643.7.1.1.6.1", "a 256-bit key agreement key"},
    {"1.2.643.7.1.1.6.2", "a 512-bit key agreement key"},
};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Reads an AlgorithmIdentifier with its GostR3410-2012-PublicKeyParameters:
// the algorithm, the parameter set and, optionally, the digest of the size.
bool ReadAlgorithm(der::Reader* r, const ParamSet** out) {
  der::Reader alg, params;
  std::string oid;
  if (!r->Read(der::kSequence, &alg)) return false;
  if (!alg.ReadOid(&oid)) return r->Fail(alg.error());
  const uint32_t bits = oid == kAlgorithm256 ? 256 : oid == kAlgorithm512 ? 512 : 0;
  if (bits == 0) {
    for (const Unsupported& u : kUnsupported)
      if (oid == u.oid) return r->Fail(std::string(u.what) + ", which this tool does not support");
    return r->Fail("an unknown key algorithm " + oid);
  }
  if (!alg.Read(der::kSequence, &params) || !alg.ExpectEnd("the key parameters")) return r->Fail(alg.error());
  std::string set_oid;
  if (!params.ReadOid(&set_oid)) return r->Fail(params.error());
  const ParamSet* set = nullptr;
  for (const ParamSet& s : kParamSets)
    if (s.bits == bits && set_oid == s.oid) set = &s;
  if (set == nullptr) return r->Fail("an unknown parameter set " + set_oid + " for a " + std::to_string(bits) + "-bit key");
  if (!params.empty()) {
    std::string digest;
    if (!params.ReadOid(&digest)) return r->Fail(params.error());
    if (digest != (bits == 256 ? kDigest256 : kDigest512))
      return r->Fail("the digest " + digest + " does not belong to a " + std::to_string(bits) + "-bit key");
  }
  if (!params.ExpectEnd("the parameter set identifiers")) return r->Fail(params.error());
  *out = set;
  return true;
}

void AppendAlgorithm(cli::SecretBytes* out, const ParamSet& set) {
  cli::SecretBytes params, alg;
  der::AppendOid(&params, set.oid);
  if (set.names_digest) der::AppendOid(&params, set.bits == 256 ? kDigest256 : kDigest512);
  der::AppendOid(&alg, set.bits == 256 ? kAlgorithm256 : kAlgorithm512);
  der::Append(&alg, der::kSequence, params);
  der::Append(out, der::kSequence, alg);
}

// The DER of a key file: decoded from PEM with the expected label, or the
// bytes as they are.
bool Unarmour(const uint8_t* p, size_t n, const char* label, cli::SecretBytes* der, std::string* error) {
  if (n == 0) {
    *error = "an empty file";
    return false;
  }
  if (pem::LooksLikePem(p, n)) {
    std::string found;
    if (!pem::Decode(p, n, &found, der, error)) return false;
    if (found == label) return true;
    if (found == "ENCRYPTED PRIVATE KEY")
      *error = "an encrypted private key, which this tool does not read (decrypt it with openssl pkey)";
    else if (found == "PUBLIC KEY" || found == "PRIVATE KEY")
      *error = found == "PUBLIC KEY" ? "a public key, not a private key" : "a private key, not a public key";
    else
      *error = "a PEM '" + found + "' block, not a " + (std::strcmp(label, "PUBLIC KEY") == 0 ? "public" : "private") +
               " key";
    return false;
  }
  if (p[0] != der::kSequence) {
    *error = "neither a PEM nor a DER key file";
    return false;
  }
  der->Append(p, n);
  return true;
}

bool Failed(const der::Reader& r, std::string* error) {
  *error = r.error();
  return false;
}

// The private key inside the privateKey OCTET STRING, in any of the
// engine's unmasked forms: its L little-endian bytes as they are, wrapped in
// an OCTET STRING, or a big-endian INTEGER (older engines).
bool ReadSecret(const uint8_t* p, size_t n, const ParamSet& set, cli::SecretBytes* d, std::string* error) {
  const size_t L = set.key_len();
  d->resize(L);
  if (n == L) {
    std::memcpy(d->data(), p, L);
    return true;
  }
  der::Reader r(p, n);
  const uint8_t* v;
  size_t len;
  if (r.Peek(der::kOctetString)) {
    if (!r.Read(der::kOctetString, &v, &len) || !r.ExpectEnd("the private key")) return Failed(r, error);
    if (len != L) {
      *error = "a private key of " + std::to_string(len) + " bytes in a " + std::to_string(set.bits) + "-bit key";
      return false;
    }
    std::memcpy(d->data(), v, L);
    return true;
  }
  if (r.Peek(der::kInteger)) {
    if (!r.Read(der::kInteger, &v, &len) || !r.ExpectEnd("the private key")) return Failed(r, error);
    // The length is public; the checks on the leading bytes are folded into
    // one mask so that no branch depends on the key's bits.
    if (len == 0 || len > L + 1) {
      *error = "a private key INTEGER of the wrong length";
      return false;
    }
    uint32_t bad = v[0] >> 7;  // negative
    if (len > 1) bad |= ((static_cast<uint32_t>(v[0]) - 1) >> 8 & 1) & (~static_cast<uint32_t>(v[1]) >> 7 & 1);
    if (len == L + 1) bad |= ((0u - v[0]) >> 8) & 1;  // a 33rd (65th) byte must be the sign byte 0
    const size_t k = len < L ? len : L;
    for (size_t i = 0; i < k; ++i) (*d)[i] = v[len - 1 - i];
    bad = cli::CtBarrier(bad);
    VRT_DECLASSIFY(&bad, sizeof bad);
    if (bad != 0) {
      *error = "a private key INTEGER that is negative or not in DER";
      return false;
    }
    return true;
  }
  if (n % L == 0) {
    *error = "a masked private key, which this tool does not read";
    return false;
  }
  *error = "an unknown form of the private key";
  return false;
}

}  // namespace

std::vector<const ParamSet*> ParamSets(uint32_t bits) {
  std::vector<const ParamSet*> v;
  for (const ParamSet& s : kParamSets)
    if (s.bits == bits) v.push_back(&s);
  return v;
}

const ParamSet* FindParamSet(uint32_t bits, const std::string& name) {
  std::string n = Upper(name);
  if (bits == 256 && n == "0") n = "TEST";
  for (const ParamSet& s : kParamSets)
    if (s.bits == bits && (n == s.name || name == s.oid)) return &s;
  return nullptr;
}

std::string ParamSetNames(uint32_t bits) {
  std::string out;
  for (const ParamSet* s : ParamSets(bits)) out += std::string(out.empty() ? "" : ", ") + s->name;
  return out;
}

bool SameCurve(const ParamSet& a, const ParamSet& b) {
  const sign2012_par_t &x = *a.curve, &y = *b.curve;
  return x.bits == y.bits && std::memcmp(x.p, y.p, 64) == 0 && std::memcmp(x.a, y.a, 64) == 0 &&
         std::memcmp(x.q, y.q, 64) == 0 && std::memcmp(x.x, y.x, 64) == 0 && std::memcmp(x.y, y.y, 64) == 0;
}

bool ParsePrivateKey(const uint8_t* p, size_t n, PrivateKey* key, std::string* error) {
  cli::SecretBytes der;
  if (!Unarmour(p, n, "PRIVATE KEY", &der, error)) return false;
  der::Reader top(der.data(), der.size()), info;
  if (!top.Read(der::kSequence, &info) || !top.ExpectEnd("the key")) return Failed(top, error);
  if (info.Peek(der::kSequence)) {
    *error = "a public key, not a private key";
    return false;
  }
  uint64_t version;
  if (!info.ReadSmallInteger(&version)) return Failed(info, error);
  if (version != 0) {
    *error = "a private key of version " + std::to_string(version) + " (only version 0 is read)";
    return false;
  }
  const ParamSet* set = nullptr;
  const uint8_t* secret;
  size_t secret_len;
  if (!ReadAlgorithm(&info, &set) || !info.Read(der::kOctetString, &secret, &secret_len)) return Failed(info, error);
  if (info.Peek(der::kContext0)) {
    *error = "a private key with attributes, which this tool does not read";
    return false;
  }
  if (!info.ExpectEnd("the private key")) return Failed(info, error);
  cli::SecretBytes d;
  if (!ReadSecret(secret, secret_len, *set, &d, error)) return false;
  if (!ScalarInRange(*set, d.data())) {
    *error = "the private key is out of range (zero, or not below the group order)";
    return false;
  }
  key->params = set;
  key->d = std::move(d);
  return true;
}

bool ParsePublicKey(const uint8_t* p, size_t n, PublicKey* key, std::string* error) {
  cli::SecretBytes der;
  if (!Unarmour(p, n, "PUBLIC KEY", &der, error)) return false;
  der::Reader top(der.data(), der.size()), info;
  if (!top.Read(der::kSequence, &info) || !top.ExpectEnd("the key")) return Failed(top, error);
  if (info.Peek(der::kInteger)) {
    *error = "a private key, not a public key";
    return false;
  }
  const ParamSet* set = nullptr;
  const uint8_t* bits;
  size_t bits_len;
  if (!ReadAlgorithm(&info, &set) || !info.Read(der::kBitString, &bits, &bits_len) ||
      !info.ExpectEnd("the public key"))
    return Failed(info, error);
  if (bits_len == 0 || bits[0] != 0) {
    *error = "a public key BIT STRING with unused bits";
    return false;
  }
  der::Reader point(bits + 1, bits_len - 1);
  const uint8_t* q;
  size_t q_len;
  if (!point.Read(der::kOctetString, &q, &q_len) || !point.ExpectEnd("the public key point")) return Failed(point, error);
  if (q_len != 2 * set->key_len()) {
    *error = "a public key of " + std::to_string(q_len) + " bytes in a " + std::to_string(set->bits) + "-bit key";
    return false;
  }
  key->params = set;
  key->q.assign(q, q + q_len);
  return true;
}

void WritePrivateKey(const PrivateKey& key, bool pem, cli::SecretBytes* out) {
  cli::SecretBytes body, der;
  der::AppendSmallInteger(&body, 0);
  AppendAlgorithm(&body, *key.params);
  der::Append(&body, der::kOctetString, key.d);
  der::Append(&der, der::kSequence, body);
  out->clear();
  if (pem)
    pem::Encode("PRIVATE KEY", der.data(), der.size(), out);
  else
    out->Append(der.data(), der.size());
}

void WritePublicKey(const PublicKey& key, bool pem, cli::SecretBytes* out) {
  cli::SecretBytes body, bits, der;
  AppendAlgorithm(&body, *key.params);
  bits.push_back(0);
  der::Append(&bits, der::kOctetString, key.q.data(), key.q.size());
  der::Append(&body, der::kBitString, bits);
  der::Append(&der, der::kSequence, body);
  out->clear();
  if (pem)
    pem::Encode("PUBLIC KEY", der.data(), der.size(), out);
  else
    out->Append(der.data(), der.size());
}

uint32_t ScalarInRange(const ParamSet& params, const uint8_t* k) {
  const uint8_t* q = params.curve->q;
  uint32_t borrow = 0, any = 0;
  for (size_t i = 0; i < params.key_len(); ++i) {
    const uint32_t t = static_cast<uint32_t>(k[i]) - q[i] - borrow;
    borrow = (t >> 8) & 1;
    any |= k[i];
  }
  const uint32_t nonzero = ((any + 0xffu) >> 8) & 1;
  uint32_t in_range = cli::CtBarrier(borrow & nonzero);
  VRT_DECLASSIFY(&in_range, sizeof in_range);
  return in_range;
}

uint32_t RandomScalar(const ParamSet& params, uint8_t* out) {
  const size_t L = params.key_len();
  const uint8_t* q = params.curve->q;
  size_t top = L;
  while (top > 0 && q[top - 1] == 0) --top;
  uint8_t top_mask = 0xff;
  if (top > 0)
    while ((top_mask >> 1) >= q[top - 1]) top_mask >>= 1;
  // q's leading byte lies in [2^(b-1), 2^b); every draw keeps b bits of it,
  // so a draw is below q with probability above one half.
  for (int attempt = 0; attempt < 128; ++attempt) {
    uint32_t st = cli::RandomBytes(out, L);
    if (st != VRT_SUCCESS) return st;
    for (size_t i = top; i < L; ++i) out[i] = 0;
    if (top > 0) out[top - 1] &= top_mask;
    if (ScalarInRange(params, out)) return VRT_SUCCESS;
  }
  cli::Wipe(out, L);
  return VRT_ERROR_RANDOM_TEST;
}

}  // namespace vrt::keyfile
