// The public signer functions, the factory that picks the implementation,
// the optional tables and the non-throwing allocation.
#include <atomic>
#include <cstdlib>
#include <new>

#include "pubkey/signer/signer.h"

namespace vrt {

const nothrow_t nothrow{};

namespace signer {
namespace {
std::atomic<int> g_fail_at{-1};
}  // namespace

void fail_allocation(int index) { g_fail_at.store(index, std::memory_order_relaxed); }

void* allocate(size_t size) noexcept {
  int at = g_fail_at.load(std::memory_order_relaxed);
  if (at >= 0) {
    g_fail_at.store(at - 1, std::memory_order_relaxed);
    if (at == 0) return nullptr;
  }
  return std::malloc(size != 0 ? size : 1);
}

}  // namespace signer

uint32_t check_implementation(Parameter set) {
  if (set <= 9) return flags::supported_build ? kCxx256 : kFallback256;
  if (set <= 13) return flags::supported_build ? kCxx512 : kFallback512;
  return kUnsupported;
}

void table_precomputation_sign(SignerHandle* handle) {
  Signer* s = handle->signer;
  const size_t ctx_size = s->precomp_sign_ctx_req(), mem_size = s->precomp_sign_mem_req();
  if (ctx_size == 0 || mem_size == 0 || handle->sign_ctx != nullptr || handle->sign_mem != nullptr) return;
  handle->sign_ctx = signer::allocate(ctx_size);
  handle->sign_mem = signer::allocate(mem_size);
  // Without either block the handle signs by the general multiplication;
  // what was allocated is freed with the handle.
  if (handle->sign_ctx != nullptr && handle->sign_mem != nullptr)
    (void)s->set_precomp_sign(handle->sign_ctx, handle->sign_mem);
}

void table_precomputation_verify(SignerHandle* handle) {
  if (handle->verify_ctx != nullptr || handle->verify_mem != nullptr) return;
  Signer* s = handle->signer;
  const size_t ctx_size = s->precomp_verify_ctx_req(), mem_size = s->precomp_verify_mem_req();
  if (ctx_size == 0 || mem_size == 0) return;
  handle->verify_ctx = signer::allocate(ctx_size);
  handle->verify_mem = signer::allocate(mem_size);
  if (handle->verify_ctx != nullptr && handle->verify_mem != nullptr)
    s->set_precomp_verify(handle->verify_ctx, handle->verify_mem);
}

}  // namespace vrt

void* operator new(std::size_t size, const vrt::nothrow_t&) noexcept { return vrt::signer::allocate(size); }
void operator delete(void* p, const vrt::nothrow_t&) noexcept { std::free(p); }

namespace {

using vrt::Signer;

// The signer of a usable handle, or null.
Signer* signer_of(SignerHandle* handle) { return handle != nullptr ? handle->signer : nullptr; }

Signer* make_signer(uint32_t which, Parameter set) {
  switch (which) {
    case vrt::kFallback256:
      return new (vrt::nothrow) vrt::SignerFallback<256>(set);
    case vrt::kFallback512:
      return new (vrt::nothrow) vrt::SignerFallback<512>(set);
    case vrt::kCxx256:
      return new (vrt::nothrow) vrt::SignerCxx<256>(set);
    case vrt::kCxx512:
      return new (vrt::nothrow) vrt::SignerCxx<512>(set);
    default:
      return nullptr;
  }
}

}  // namespace

extern "C" {

VRT_API uint32_t vrtSignerInit(SignerHandle** handle_out, Parameter set) {
  if (handle_out == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  auto* handle = new (vrt::nothrow) SignerHandle{};
  *handle_out = handle;
  if (handle == nullptr) return VRT_ERROR_NO_MEMORY;
  const uint32_t which = vrt::check_implementation(set);
  if (which == vrt::kUnsupported) return VRT_ERROR_UNSUPPORTED;
  handle->signer = make_signer(which, set);
  if (handle->signer == nullptr) return VRT_ERROR_NO_MEMORY;
  if (vrt::flags::precomp_sign) vrt::table_precomputation_sign(handle);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtSignerSign(SignerHandle* handle, const uint8_t* digest, const uint8_t* nonce,
                               uint8_t* signature) {
  Signer* s = signer_of(handle);
  if (s == nullptr || digest == nullptr || nonce == nullptr || signature == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  return s->sign(digest, nonce, signature);
}

VRT_API uint32_t vrtSignerVerify(SignerHandle* handle, const uint8_t* digest, const uint8_t* signature) {
  Signer* s = signer_of(handle);
  if (s == nullptr || digest == nullptr || signature == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  return s->verify(digest, signature);
}

VRT_API uint32_t vrtSignerCreatePublicKey(SignerHandle* handle) {
  Signer* s = signer_of(handle);
  if (s == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (vrt::flags::precomp_verify) vrt::table_precomputation_verify(handle);
  return s->create_public_key();
}

VRT_API uint32_t vrtSignerImportSecretKey(SignerHandle* handle, const genkey_t* key) {
  Signer* s = signer_of(handle);
  if (s == nullptr || key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  return s->import_secret_key(key);
}

VRT_API uint32_t vrtSignerImportPublicKey(SignerHandle* handle, const uint8_t* key) {
  Signer* s = signer_of(handle);
  if (s == nullptr || key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (vrt::flags::precomp_verify) vrt::table_precomputation_verify(handle);
  return s->import_public_key(key);
}

VRT_API uint32_t vrtSignerExportPublicKey(SignerHandle* handle, uint8_t* key) {
  Signer* s = signer_of(handle);
  if (s == nullptr || key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  return s->export_public_key(key);
}

VRT_API uint32_t vrtSignerGenerateVKO(SignerHandle* handle, const uint8_t* ukm, const uint8_t* peer_key,
                                      uint8_t* result) {
  Signer* s = signer_of(handle);
  if (s == nullptr || ukm == nullptr || peer_key == nullptr || result == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  return s->generate_vko(ukm, peer_key, result);
}

VRT_API uint32_t vrtSignerPrecomputeVerify(SignerHandle* handle) {
  Signer* s = signer_of(handle);
  if (s == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (s->precomp_verify_mem_req() == 0) return VRT_SUCCESS;  // the reference signer has no tables
  vrt::table_precomputation_verify(handle);
  return handle->verify_ctx != nullptr && handle->verify_mem != nullptr ? VRT_SUCCESS : VRT_ERROR_NO_MEMORY;
}

VRT_API uint32_t vrtSignerPrecomputeSign(SignerHandle* handle) {
  Signer* s = signer_of(handle);
  if (s == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (s->precomp_sign_mem_req() == 0) return VRT_SUCCESS;
  vrt::table_precomputation_sign(handle);
  return handle->sign_ctx != nullptr && handle->sign_mem != nullptr ? VRT_SUCCESS : VRT_ERROR_NO_MEMORY;
}

VRT_API void vrtSignerRelease(SignerHandle* handle) {
  if (handle == nullptr) return;
  delete handle->signer;  // destroys the table objects, wipes the key
  std::free(handle->sign_mem);
  std::free(handle->verify_mem);
  std::free(handle->sign_ctx);
  std::free(handle->verify_ctx);
  delete handle;
}

}  // extern "C"
