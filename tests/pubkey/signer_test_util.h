// Helpers of the signer suites: handles of either implementation with or
// without tables, masked keys, random scalars and points of a set, and the
// byte layouts (all numbers little-endian except the signature halves).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/masked_key.h"
#include "common/test_util.h"
#include "pubkey/ec/curve.h"
#include "pubkey/pubkey_test_util.h"
#include "pubkey/signer/signer.h"
#include "vrt.h"

namespace vrt::test {

inline const sign2012_par_t* Record(Parameter set) { return vrt::ec::parameter_record(set); }
inline size_t KeyBytes(Parameter set) { return Record(set)->bits / 8; }

inline std::vector<Parameter> AllSets() {
  std::vector<Parameter> v;
  for (Parameter s = 0; s < VRT_PARAM_COUNT; ++s) v.push_back(s);
  return v;
}

inline std::string SetName(Parameter set) { return "set " + std::to_string(set); }

// Sets the four switches for a scope (the factory and table choices read
// them when a handle is made or gets a key).
class Switches {
 public:
  Switches(bool cxx, bool sign_table, bool verify_table)
      : build_(vrt::flags::supported_build), sign_(vrt::flags::precomp_sign), verify_(vrt::flags::precomp_verify) {
    vrt::flags::supported_build = cxx;
    vrt::flags::precomp_sign = sign_table;
    vrt::flags::precomp_verify = verify_table;
  }
  ~Switches() {
    vrt::flags::supported_build = build_;
    vrt::flags::precomp_sign = sign_;
    vrt::flags::precomp_verify = verify_;
  }
  Switches(const Switches&) = delete;
  Switches& operator=(const Switches&) = delete;

 private:
  bool build_, sign_, verify_;
};

enum class Impl { kCxx, kFallback };
inline const char* ImplName(Impl i) { return i == Impl::kCxx ? "SignerCxx" : "SignerFallback"; }

// A signer handle, released at the end of its scope. Tables are off unless
// asked for: on a 256-bit set each costs 80 MiB and a second of work.
class Handle {
 public:
  explicit Handle(Parameter set, Impl impl = Impl::kCxx, bool tables = false) : set_(set), tables_(tables) {
    Switches sw(impl == Impl::kCxx, tables, tables);
    status_ = vrtSignerInit(&h_, set);
  }
  ~Handle() { vrtSignerRelease(h_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SignerHandle* get() const { return h_; }
  uint32_t init_status() const { return status_; }
  Parameter set() const { return set_; }
  size_t L() const { return KeyBytes(set_); }

  // The public operations; key creation and import run with this handle's
  // table choice.
  uint32_t ImportSecret(const genkey_t* key) { return vrtSignerImportSecretKey(h_, key); }
  uint32_t CreatePublic() {
    Switches sw(vrt::flags::supported_build, tables_, tables_);
    return vrtSignerCreatePublicKey(h_);
  }
  uint32_t ImportPublic(const Bytes& key) {
    Switches sw(vrt::flags::supported_build, tables_, tables_);
    return vrtSignerImportPublicKey(h_, key.data());
  }
  Bytes ExportPublic(uint32_t* st = nullptr) {
    Bytes out(2 * L());
    uint32_t s = vrtSignerExportPublicKey(h_, out.data());
    if (st != nullptr)
      *st = s;
    else
      EXPECT_EQ(s, VRT_SUCCESS);
    return out;
  }
  uint32_t Sign(const Bytes& digest, const Bytes& nonce, Bytes* sig) {
    sig->assign(2 * L(), 0);
    return vrtSignerSign(h_, digest.data(), nonce.data(), sig->data());
  }
  uint32_t Verify(const Bytes& digest, const Bytes& sig) { return vrtSignerVerify(h_, digest.data(), sig.data()); }
  uint32_t Vko(const Bytes& ukm, const Bytes& peer, Bytes* out) {
    out->assign(2 * L(), 0);
    return vrtSignerGenerateVKO(h_, ukm.data(), peer.data(), out->data());
  }

 private:
  Parameter set_;
  bool tables_;
  SignerHandle* h_ = nullptr;
  uint32_t status_ = 0;
};

// q of a set, little-endian in L bytes.
inline Bytes OrderLE(Parameter set) { return Bytes(Record(set)->q, Record(set)->q + KeyBytes(set)); }

// A uniform number in [1, q), L bytes little-endian.
inline Bytes RandomScalar(Parameter set) {
  const sign2012_par_t* rec = Record(set);
  Bytes out(KeyBytes(set));
  for (;;) {
    if (rec->bits == 256) {
      auto v = RandomBelow<256>(vrt::ec::record_number<256>(rec->q));
      if (v.is_zero()) continue;
      v.to_le_bytes(out.data(), out.size());
    } else {
      auto v = RandomBelow<512>(vrt::ec::record_number<512>(rec->q));
      if (v.is_zero()) continue;
      v.to_le_bytes(out.data(), out.size());
    }
    return out;
  }
}

// Little-endian L bytes of small value v.
inline Bytes Small(Parameter set, uint8_t v) {
  Bytes b(KeyBytes(set), 0);
  b[0] = v;
  return b;
}

// The public key of d by the engine (no tables), 2L bytes.
inline Bytes PublicKeyOf(Parameter set, const Bytes& d) {
  Handle h(set);
  MaskedKey k(d);
  EXPECT_EQ(h.ImportSecret(k.get()), VRT_SUCCESS);
  EXPECT_EQ(h.CreatePublic(), VRT_SUCCESS);
  return h.ExportPublic();
}

// Little-endian bytes of a number printed most significant digit first.
inline Bytes LE(const std::string& hex) { return Reversed(FromHex(hex)); }

inline Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

inline Bytes Streebog(const Bytes& data, uint32_t out_len) {
  Bytes out(out_len);
  EXPECT_EQ(hash2012_example(data.data(), data.size(), out.data(), out_len), VRT_SUCCESS);
  return out;
}

inline bool Contains(const void* hay, size_t hay_len, const Bytes& needle) {
  if (needle.empty() || hay_len < needle.size()) return false;
  const auto* h = static_cast<const uint8_t*>(hay);
  for (size_t i = 0; i + needle.size() <= hay_len; ++i)
    if (std::memcmp(h + i, needle.data(), needle.size()) == 0) return true;
  return false;
}

}  // namespace vrt::test
