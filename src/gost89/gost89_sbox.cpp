// The S-box store: the eleven built-in sets, the identifier table, the
// expansion of a packed set into its lookup tables, and the S-box lock that
// serialises the initialisation of sets.
#include <pthread.h>

#include <atomic>
#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "gost89/gost89_sboxes.h"
#include "gost89/internal.h"
#include "vrt.h"

namespace vrt::gost89 {
namespace {

// A built-in record: its packed form from the published rows, everything
// else zero until initialisation expands it.
constexpr gost89_sbox_t make_record(SboxRows& rows) {
  gost89_sbox_t s{};
  const Packed p = make_packed(rows);
  for (int i = 0; i < 64; ++i) s.packed[i] = p.b[i];
  return s;
}

// The S-box lock lives as long as the process: vrtCleanup only marks it
// down, so a thread still inside an initialisation never finds it destroyed.
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<bool> g_lock_up{false};
std::atomic<uint64_t> g_expansions{0};

// The tag is read without the lock by every user of a set, so it is written
// last, with release order, after the tables it vouches for.
uint32_t load_tag(const gost89_sbox_t* sbox) {
  return __atomic_load_n(&sbox->tag, __ATOMIC_ACQUIRE);
}

void store_tag(gost89_sbox_t* sbox) { __atomic_store_n(&sbox->tag, VRT_GOST89_SBOX_TAG, __ATOMIC_RELEASE); }

// Nibble r of row i of a packed set.
inline uint32_t entry(const uint8_t* packed, int i, int r) {
  const uint8_t b = packed[4 * r + i / 2];
  return (i & 1) ? b >> 4 : b & 15u;
}

// T_c[v] = ROTL32(((S_2c+1[v >> 4] << 4) | S_2c[v & 15]) << 8c, 11), then the
// processor tables, then the tag.
uint32_t expand(gost89_sbox_t* sbox) {
  g_expansions.fetch_add(1, std::memory_order_relaxed);
  for (int c = 0; c < 4; ++c) {
    for (uint32_t v = 0; v < 256; ++v) {
      const uint32_t s = (entry(sbox->packed, 2 * c + 1, v >> 4) << 4) | entry(sbox->packed, 2 * c, v & 15);
      const uint32_t w = s << (8 * c);
      sbox->tables[c][v] = (w << 11) | (w >> 21);
    }
  }
  uint32_t st = gost89_arch_init_sbox(sbox);
  if (st == VRT_SUCCESS) store_tag(sbox);
  return st;
}

}  // namespace

uint64_t sbox_expansions() { return g_expansions.load(std::memory_order_relaxed); }

}  // namespace vrt::gost89

using vrt::gost89::make_record;

extern "C" {

alignas(64) VRT_API gost89_sbox_t vrtpGost89Sboxtc26_gost_28147_param_Z =
    make_record(vrt::gost89::kTc26Gost28147ParamZ);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGostR3411_94_TestParamSet =
    make_record(vrt::gost89::kGostR3411_94_TestParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGostR3411_94_CryptoProParamSet =
    make_record(vrt::gost89::kGostR3411_94_CryptoProParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGost28147_89_TestParamSet =
    make_record(vrt::gost89::kGost28147_89_TestParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_A_ParamSet =
    make_record(vrt::gost89::kGost28147_89_CryptoPro_A_ParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet =
    make_record(vrt::gost89::kGost28147_89_CryptoPro_B_ParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet =
    make_record(vrt::gost89::kGost28147_89_CryptoPro_C_ParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_D_ParamSet =
    make_record(vrt::gost89::kGost28147_89_CryptoPro_D_ParamSet);
alignas(64) VRT_API gost89_sbox_t vrtpGost89Sboxgost_28147_NVQ_A = make_record(vrt::gost89::kNvqA);
alignas(64) VRT_API gost89_sbox_t vrtpGost89Sboxgost_28147_NVQ_003 = make_record(vrt::gost89::kNvq003);
alignas(64) VRT_API gost89_sbox_t vrtpGost89Sboxgost_28147_NVQ_006 = make_record(vrt::gost89::kNvq006);

VRT_API gost89_sbox_t* vrtpGost89SboxPointer(uintptr_t id) {
  switch (id) {
    case VRT_GOST89_SBOX_DEFAULT:
    case VRT_GOST89_SBOX_TC26_Z:
      return &vrtpGost89Sboxtc26_gost_28147_param_Z;
    case VRT_GOST89_SBOX_R3411_94_TEST:
      return &vrtpGost89SboxGostR3411_94_TestParamSet;
    case VRT_GOST89_SBOX_R3411_94_CRYPTOPRO:
      return &vrtpGost89SboxGostR3411_94_CryptoProParamSet;
    case VRT_GOST89_SBOX_TEST:
      return &vrtpGost89SboxGost28147_89_TestParamSet;
    case VRT_GOST89_SBOX_CRYPTOPRO_A:
      return &vrtpGost89SboxGost28147_89_CryptoPro_A_ParamSet;
    case VRT_GOST89_SBOX_CRYPTOPRO_B:
      return &vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet;
    case VRT_GOST89_SBOX_CRYPTOPRO_C:
      return &vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet;
    case VRT_GOST89_SBOX_CRYPTOPRO_D:
      return &vrtpGost89SboxGost28147_89_CryptoPro_D_ParamSet;
    case VRT_GOST89_SBOX_NVQ_A:
      return &vrtpGost89Sboxgost_28147_NVQ_A;
    case VRT_GOST89_SBOX_NVQ_003:
      return &vrtpGost89Sboxgost_28147_NVQ_003;
    case VRT_GOST89_SBOX_NVQ_006:
      return &vrtpGost89Sboxgost_28147_NVQ_006;
    default:
      // The identifier range of the built-in sets is no address: an
      // identifier there that names no set gives null, which every caller
      // refuses as an uninitialised set.
      if ((id & ~uintptr_t{0xff}) == VRT_GOST89_SBOX_DEFAULT) return nullptr;
      return reinterpret_cast<gost89_sbox_t*>(id);
  }
}

VRT_API uint32_t vrtpGost89SboxInitialized(const gost89_sbox_t* sbox) {
  return sbox != nullptr && vrt::gost89::load_tag(sbox) == VRT_GOST89_SBOX_TAG ? 1u : 0u;
}

// Check, lock, check, expand, tag, unlock: a set is expanded exactly once
// however many threads initialise it together.
VRT_API uint32_t vrtpGost89SboxInit(uintptr_t id, const uint8_t* packed) {
  gost89_sbox_t* sbox = vrtpGost89SboxPointer(id);
  if (sbox == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (vrtpGost89SboxInitialized(sbox)) return VRT_SUCCESS;
  if (!vrt::gost89::g_lock_up.load(std::memory_order_acquire)) return VRT_ERROR_NOT_INITIALIZED;
  uint32_t st = VRT_SUCCESS;
  pthread_mutex_lock(&vrt::gost89::g_lock);
  if (!vrtpGost89SboxInitialized(sbox)) {
    if (packed != nullptr) std::memmove(sbox->packed, packed, sizeof sbox->packed);
    st = vrt::gost89::expand(sbox);
  }
  pthread_mutex_unlock(&vrt::gost89::g_lock);
  return st;
}

VRT_FORWARD(Gost89SboxInit);

VRT_API uint32_t vrtpGost89SboxFree(uintptr_t id) {
  gost89_sbox_t* sbox = vrtpGost89SboxPointer(id);
  if (vrtpGost89SboxInitialized(sbox) && vrt::gost89::g_lock_up.load(std::memory_order_acquire)) {
    pthread_mutex_lock(&vrt::gost89::g_lock);
    pthread_mutex_unlock(&vrt::gost89::g_lock);
  }
  return VRT_SUCCESS;
}

VRT_FORWARD(Gost89SboxFree);

VRT_API uint32_t gost89_sbox_init(void) {
  // In this order; every set is expanded again even when an earlier
  // initialisation tagged it.
  gost89_sbox_t* const sets[] = {
      &vrtpGost89SboxGostR3411_94_TestParamSet,         &vrtpGost89SboxGostR3411_94_CryptoProParamSet,
      &vrtpGost89SboxGost28147_89_TestParamSet,         &vrtpGost89SboxGost28147_89_CryptoPro_A_ParamSet,
      &vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet, &vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet,
      &vrtpGost89SboxGost28147_89_CryptoPro_D_ParamSet, &vrtpGost89Sboxtc26_gost_28147_param_Z,
      &vrtpGost89Sboxgost_28147_NVQ_A,                  &vrtpGost89Sboxgost_28147_NVQ_003,
      &vrtpGost89Sboxgost_28147_NVQ_006,
  };
  for (gost89_sbox_t* s : sets) {
    uint32_t st = vrt::gost89::expand(s);
    if (st != VRT_SUCCESS) return st;
  }
  vrt::gost89::g_lock_up.store(true, std::memory_order_release);
  return VRT_SUCCESS;
}

VRT_API void gost89_sbox_cleanup(void) {
  // Taken once, so that an initialisation under way finishes first.
  pthread_mutex_lock(&vrt::gost89::g_lock);
  vrt::gost89::g_lock_up.store(false, std::memory_order_release);
  pthread_mutex_unlock(&vrt::gost89::g_lock);
}

}  // extern "C"
