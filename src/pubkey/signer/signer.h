// The signer interface behind the opaque SignerHandle: one abstract class
// and its two implementations, the fast engine (SignerCxx<N>, over
// vrt::ec::Context<N>) and the reference one (SignerFallback<N>, over the
// sign2001_/sign2012_ functions), the switches that choose between them and
// the optional fixed-base tables the handle owns.
//
// Lengths follow from the parameter set (L = 32 or 64 bytes): digest L,
// nonce L, signature 2L, public key 2L, UKM L, VKO result 2L, in the
// formats of context.h. Both implementations read and write the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "pubkey/ec/precomp.h"
#include "pubkey/internal.h"
#include "pubkey/signer/context.h"
#include "vrt.h"

namespace vrt::flags {
// Set once by library initialisation (elliptic_cxx_init), false before it.
extern bool supported_build;  // the factory builds SignerCxx; else SignerFallback
extern bool precomp_sign;     // vrtSignerInit builds the signing table
extern bool precomp_verify;   // a new public key gets the verification table
}  // namespace vrt::flags

namespace vrt {

// The tag of the library's non-throwing allocation: memory from malloc,
// null on failure. Objects made with it are released with delete, which
// their classes route back to free.
struct nothrow_t {
  explicit nothrow_t() = default;
};
extern const nothrow_t nothrow;

}  // namespace vrt

void* operator new(std::size_t size, const vrt::nothrow_t&) noexcept;
// Only called when a constructor throws, which none does.
void operator delete(void* p, const vrt::nothrow_t&) noexcept;

namespace vrt::signer {

// Every allocation of the signer code (handles, signers, table blocks):
// malloc, or null when the test hook below says so.
void* allocate(size_t size) noexcept;

// Test hook: the allocation `index` places ahead (0 = the next one) fails,
// once; -1 disarms it. Not exported.
void fail_allocation(int index);

}  // namespace vrt::signer

namespace vrt {

// The operations of a signer, in slot order. Every pointer argument is
// non-null and of the length of the set (the public functions check).
class Signer {
 public:
  virtual uint32_t sign(const uint8_t* digest, const uint8_t* nonce, uint8_t* signature) = 0;
  virtual uint32_t verify(const uint8_t* digest, const uint8_t* signature) = 0;
  virtual uint32_t create_public_key() = 0;
  virtual uint32_t import_secret_key(const genkey_t* key) = 0;
  virtual uint32_t import_public_key(const uint8_t* key) = 0;
  virtual uint32_t export_public_key(uint8_t* key) = 0;
  virtual uint32_t generate_vko(const uint8_t* ukm, const uint8_t* peer_key, uint8_t* result) = 0;
  virtual size_t precomp_sign_ctx_req() = 0;
  virtual size_t precomp_sign_mem_req() = 0;
  virtual size_t precomp_verify_ctx_req() = 0;
  virtual size_t precomp_verify_mem_req() = 0;
  virtual uint32_t set_precomp_sign(void* ctx, void* mem) = 0;
  virtual void set_precomp_verify(void* ctx, void* mem) = 0;
  virtual ~Signer() {}

  // Signers come from the non-throwing allocation (malloc).
  static void operator delete(void* p) { std::free(p); }
};

// The fixed-base table class of each width.
template <int N>
using SignerTable = std::conditional_t<N == 256, ec::PrecompW16<256>, ec::PrecompW8<512>>;

// A masked key record whose bytes live inside its owner: key (L), filler
// (4096) and mask (L), as genkey_alloc lays them out.
template <int N>
struct OwnedKey {
  genkey_t record{};
  uint8_t key[N / 8] = {};
  uint8_t filler[VRT_GENKEY_FILLER_SIZE] = {};
  uint8_t mask[N / 8] = {};

  OwnedKey();
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;
  // Takes a copy of the caller's key: a masked record (XOR or additive, with
  // its mask) is copied as it is, filler and all; a plain one is masked
  // here under a fresh random mask. 0, VRT_ERROR_LENGTH for a key of another
  // length, VRT_ERROR_INVALID_ARGUMENT for a record without key bytes, or
  // the generator's status.
  uint32_t load(const genkey_t* src);
  // Overwrites key and mask.
  void wipe();
};

template <int N>
class SignerCxx final : public Signer {
 public:
  explicit SignerCxx(Parameter set) : ctx_(set) {}
  ~SignerCxx() override;

  uint32_t sign(const uint8_t* digest, const uint8_t* nonce, uint8_t* signature) override;
  uint32_t verify(const uint8_t* digest, const uint8_t* signature) override;
  uint32_t create_public_key() override;
  uint32_t import_secret_key(const genkey_t* key) override;
  uint32_t import_public_key(const uint8_t* key) override;
  uint32_t export_public_key(uint8_t* key) override;
  uint32_t generate_vko(const uint8_t* ukm, const uint8_t* peer_key, uint8_t* result) override;
  size_t precomp_sign_ctx_req() override { return kTableObject; }
  size_t precomp_sign_mem_req() override { return SignerTable<N>::kTableBytes; }
  size_t precomp_verify_ctx_req() override { return kTableObject; }
  size_t precomp_verify_mem_req() override { return SignerTable<N>::kTableBytes; }
  uint32_t set_precomp_sign(void* ctx, void* mem) override;
  void set_precomp_verify(void* ctx, void* mem) override;

  const ec::Context<N>& context() const { return ctx_; }
  ec::Context<N>& context() { return ctx_; }

 private:
  static constexpr size_t kTableObject = 32;
  static_assert(sizeof(SignerTable<N>) <= kTableObject, "the table object fits its block");

  ec::Context<N> ctx_;
  ec::Precomp<N>* sign_table_ = nullptr;    // constructed in the handle's block; not owned memory
  ec::Precomp<N>* verify_table_ = nullptr;
  OwnedKey<N> key_;
};

template <int N>
class SignerFallback final : public Signer {
 public:
  static constexpr int kBytes = N / 8;

  explicit SignerFallback(Parameter set);
  ~SignerFallback() override;

  uint32_t sign(const uint8_t* digest, const uint8_t* nonce, uint8_t* signature) override;
  uint32_t verify(const uint8_t* digest, const uint8_t* signature) override;
  uint32_t create_public_key() override;
  uint32_t import_secret_key(const genkey_t* key) override;
  uint32_t import_public_key(const uint8_t* key) override;
  uint32_t export_public_key(uint8_t* key) override;
  uint32_t generate_vko(const uint8_t* ukm, const uint8_t* peer_key, uint8_t* result) override;
  size_t precomp_sign_ctx_req() override { return 0; }
  size_t precomp_sign_mem_req() override { return 0; }
  size_t precomp_verify_ctx_req() override { return 0; }
  size_t precomp_verify_mem_req() override { return 0; }
  uint32_t set_precomp_sign(void*, void*) override { return VRT_SUCCESS; }
  void set_precomp_verify(void*, void*) override {}

  const Sign2012Ctx& context() const { return ctx_; }

 private:
  Sign2012Ctx ctx_{};
  genkey_pair_t pair_{};
  OwnedKey<N> key_;
  uint8_t public_key_[2 * kBytes] = {};
  uint8_t nonce_[kBytes] = {};
  bool has_secret_ = false;
  bool has_public_ = false;
};

extern template struct OwnedKey<256>;
extern template struct OwnedKey<512>;
extern template class SignerCxx<256>;
extern template class SignerCxx<512>;
extern template class SignerFallback<256>;
extern template class SignerFallback<512>;

// Which class a parameter set gets: 0 SignerFallback<256>, 1
// SignerFallback<512>, 2 SignerCxx<256>, 3 SignerCxx<512>, 4 unsupported.
enum Implementation : uint32_t {
  kFallback256 = 0,
  kFallback512 = 1,
  kCxx256 = 2,
  kCxx512 = 3,
  kUnsupported = 4,
};
uint32_t check_implementation(Parameter set);

}  // namespace vrt

// The record behind the opaque handle; zero-filled on creation. It owns the
// signer and the blocks of both tables.
struct SignerHandle {
  vrt::Signer* signer;
  void* sign_ctx;    // block of the signing table object (malloc)
  void* sign_mem;    // memory of the signing table (malloc)
  void* verify_ctx;
  void* verify_mem;

  // Handles come from the non-throwing allocation (malloc).
  static void operator delete(void* p) { std::free(p); }
};

namespace vrt {

// Allocates and builds the signing table of a handle; without memory the
// handle signs with the general multiplication.
void table_precomputation_sign(SignerHandle* handle);
// Allocates the verification table once per handle; it is generated for
// each public key the handle gets afterwards.
void table_precomputation_verify(SignerHandle* handle);

}  // namespace vrt
