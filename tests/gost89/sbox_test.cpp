// The S-box store: the built-in sets and their identifiers, the rules of the
// packed, expanded and nibble-pair forms, and initialisation of sets.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "common/test_util.h"
#include "gost89/gost89_sboxes.h"
#include "gost89/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;

struct Builtin {
  uint32_t id;
  gost89_sbox_t* record;
  const char* const* rows;
};

const Builtin kBuiltins[] = {
    {VRT_GOST89_SBOX_TC26_Z, &vrtpGost89Sboxtc26_gost_28147_param_Z, vrt::gost89::kTc26Gost28147ParamZ},
    {VRT_GOST89_SBOX_R3411_94_TEST, &vrtpGost89SboxGostR3411_94_TestParamSet,
     vrt::gost89::kGostR3411_94_TestParamSet},
    {VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, &vrtpGost89SboxGostR3411_94_CryptoProParamSet,
     vrt::gost89::kGostR3411_94_CryptoProParamSet},
    {VRT_GOST89_SBOX_TEST, &vrtpGost89SboxGost28147_89_TestParamSet, vrt::gost89::kGost28147_89_TestParamSet},
    {VRT_GOST89_SBOX_CRYPTOPRO_A, &vrtpGost89SboxGost28147_89_CryptoPro_A_ParamSet,
     vrt::gost89::kGost28147_89_CryptoPro_A_ParamSet},
    {VRT_GOST89_SBOX_CRYPTOPRO_B, &vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet,
     vrt::gost89::kGost28147_89_CryptoPro_B_ParamSet},
    {VRT_GOST89_SBOX_CRYPTOPRO_C, &vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet,
     vrt::gost89::kGost28147_89_CryptoPro_C_ParamSet},
    {VRT_GOST89_SBOX_CRYPTOPRO_D, &vrtpGost89SboxGost28147_89_CryptoPro_D_ParamSet,
     vrt::gost89::kGost28147_89_CryptoPro_D_ParamSet},
    {VRT_GOST89_SBOX_NVQ_A, &vrtpGost89Sboxgost_28147_NVQ_A, vrt::gost89::kNvqA},
    {VRT_GOST89_SBOX_NVQ_003, &vrtpGost89Sboxgost_28147_NVQ_003, vrt::gost89::kNvq003},
    {VRT_GOST89_SBOX_NVQ_006, &vrtpGost89Sboxgost_28147_NVQ_006, vrt::gost89::kNvq006},
};

// S_i[r] read back from the packed form.
int Entry(const gost89_sbox_t& s, int i, int r) {
  const uint8_t b = s.packed[4 * r + i / 2];
  return (i & 1) ? b >> 4 : b & 15;
}

TEST(Gost89Sbox, IdentifiersNameTheirRecords) {
  for (const Builtin& b : kBuiltins) EXPECT_EQ(vrtpGost89SboxPointer(b.id), b.record) << std::hex << b.id;
  EXPECT_EQ(vrtpGost89SboxPointer(VRT_GOST89_SBOX_DEFAULT), vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z));
  EXPECT_EQ(vrtpGost89SboxPointer(0), nullptr);
  gost89_sbox_t mine{};
  EXPECT_EQ(vrtpGost89SboxPointer(reinterpret_cast<uintptr_t>(&mine)), &mine);
  // Below the identifier range a value is an address; inside it, a value
  // that names no set is none.
  EXPECT_EQ(vrtpGost89SboxPointer(0x010100FF), reinterpret_cast<gost89_sbox_t*>(0x010100FF));
  EXPECT_EQ(vrtpGost89SboxPointer(0x01010200), reinterpret_cast<gost89_sbox_t*>(0x01010200));
  for (uintptr_t id : {0x0101010C, 0x01010110, 0x010101FF}) EXPECT_EQ(vrtpGost89SboxPointer(id), nullptr) << std::hex << id;
}

// Identifiers in the built-in range that name no set are refused with 3
// wherever a set is taken, instead of being read as addresses.
TEST(Gost89Sbox, UnnamedIdentifiersAreRefused) {
  for (uintptr_t id : {0x0101010C, 0x01010110, 0x010101FF}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(vrtGost89SboxInit(id, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    uint8_t packed[64] = {};
    EXPECT_EQ(vrtGost89SboxInit(id, packed), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtGost89SboxFree(id), VRT_SUCCESS);
    Gost89Ctx* ctx = nullptr;
    EXPECT_EQ(vrtGost89CtxAllocInitialized(&ctx, 1, id), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(ctx, nullptr);
    hash94_ctx_t h;
    EXPECT_EQ(vrtGostHash94Init(&h, id, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  }
}

TEST(Gost89Sbox, BuiltinsAreInitialisedAndDistinct) {
  std::set<std::string> seen;
  for (const Builtin& b : kBuiltins) {
    EXPECT_EQ(vrtpGost89SboxInitialized(b.record), 1u);
    EXPECT_EQ(b.record->tag, VRT_GOST89_SBOX_TAG);
    EXPECT_EQ(std::memcmp(&b.record->tag, "SBOX", 4), 0);
    EXPECT_TRUE(seen.insert(Hex(b.record->packed, 64)).second) << "duplicate set " << std::hex << b.id;
  }
  EXPECT_EQ(vrtpGost89SboxInitialized(nullptr), 0u);
}

// Every row of every set is a permutation of 0..15, and the packed form
// holds the published rows.
TEST(Gost89Sbox, PackedFormHoldsThePublishedPermutations) {
  for (const Builtin& b : kBuiltins) {
    for (int i = 0; i < 8; ++i) {
      const vrt::gost89::Row row = vrt::gost89::parse_row(b.rows[i]);
      uint32_t seen = 0;
      for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(Entry(*b.record, i, r), row.v[r]) << std::hex << b.id << " K" << i + 1 << "[" << r << "]";
        seen |= 1u << Entry(*b.record, i, r);
      }
      EXPECT_EQ(seen, 0xFFFFu) << std::hex << b.id << " K" << i + 1 << " is not a permutation";
    }
  }
  // K1 of tc26 Z as the standard prints pi_0 (decimal).
  const int pi0[16] = {12, 4, 6, 2, 10, 5, 11, 9, 14, 8, 13, 7, 0, 3, 15, 1};
  for (int r = 0; r < 16; ++r) EXPECT_EQ(Entry(vrtpGost89Sboxtc26_gost_28147_param_Z, 0, r), pi0[r]);
}

// The expanded tables and the nibble-pair tables from their rules.
void ExpectExpanded(const gost89_sbox_t& s) {
  for (int c = 0; c < 4; ++c)
    for (int v = 0; v < 256; ++v) {
      uint32_t w = static_cast<uint32_t>((Entry(s, 2 * c + 1, v >> 4) << 4) | Entry(s, 2 * c, v & 15)) << (8 * c);
      ASSERT_EQ(s.tables[c][v], (w << 11) | (w >> 21)) << "T" << c << "[" << v << "]";
    }
  for (int m = 0; m < 4; ++m)
    for (int j = 0; j < 16; ++j)
      ASSERT_EQ(s.cpu[16 * m + j], Entry(s, 2 * m, j) | (Entry(s, 7 - 2 * m, j) << 4)) << "pair " << m << "[" << j << "]";
}

TEST(Gost89Sbox, ExpandedFormsFollowTheirRules) {
  for (const Builtin& b : kBuiltins) {
    SCOPED_TRACE(b.id);
    ExpectExpanded(*b.record);
  }
}

TEST(Gost89Sbox, InitialisingAnInitialisedSetChangesNothing) {
  gost89_sbox_t* z = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
  const std::string before = Hex(z, sizeof *z);
  const uint64_t expansions = vrt::gost89::sbox_expansions();
  const Bytes other = RandomBytes(64);
  EXPECT_EQ(vrtpGost89SboxInit(VRT_GOST89_SBOX_TC26_Z, other.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SboxInit(VRT_GOST89_SBOX_DEFAULT, nullptr), VRT_SUCCESS);
  EXPECT_EQ(Hex(z, sizeof *z), before);
  EXPECT_EQ(vrt::gost89::sbox_expansions(), expansions);
}

TEST(Gost89Sbox, CallerSets) {
  // From given packed bytes.
  gost89_sbox_t mine{};
  const Bytes packed = RandomBytes(64);
  EXPECT_EQ(vrtpGost89SboxInitialized(&mine), 0u);
  ASSERT_EQ(vrtGost89SboxInit(reinterpret_cast<uintptr_t>(&mine), packed.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtpGost89SboxInitialized(&mine), 1u);
  EXPECT_EQ(Hex(mine.packed, 64), Hex(packed));
  ExpectExpanded(mine);
  // Freeing keeps it usable.
  EXPECT_EQ(vrtGost89SboxFree(reinterpret_cast<uintptr_t>(&mine)), VRT_SUCCESS);
  EXPECT_EQ(vrtpGost89SboxInitialized(&mine), 1u);

  // From the packed bytes already in the record.
  gost89_sbox_t own{};
  std::memcpy(own.packed, vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet.packed, 64);
  ASSERT_EQ(vrtpGost89SboxInit(reinterpret_cast<uintptr_t>(&own), nullptr), VRT_SUCCESS);
  EXPECT_EQ(Hex(own.tables, sizeof own.tables),
            Hex(vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet.tables, sizeof own.tables));
  EXPECT_EQ(Hex(own.cpu, 64), Hex(vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet.cpu, 64));

  // No record, and an uninitialised one to free.
  EXPECT_EQ(vrtpGost89SboxInit(0, packed.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtpGost89SboxFree(0), VRT_SUCCESS);
  gost89_sbox_t blank{};
  EXPECT_EQ(vrtpGost89SboxFree(reinterpret_cast<uintptr_t>(&blank)), VRT_SUCCESS);
  EXPECT_EQ(vrtpGost89SboxInitialized(&blank), 0u);
}

// While the library is down the S-box lock does not exist: a set that
// would need it is refused, untouched; a tagged set needs no lock.
TEST(Gost89Sbox, InitialisationNeedsTheLibraryForUntaggedSets) {
  vrtCleanup();
  gost89_sbox_t mine{};
  const Bytes packed = RandomBytes(64);
  EXPECT_EQ(vrtGost89SboxInit(reinterpret_cast<uintptr_t>(&mine), packed.data()), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(vrtpGost89SboxInitialized(&mine), 0u);
  EXPECT_EQ(Hex(&mine, sizeof mine), Hex(Bytes(sizeof mine, 0)));
  EXPECT_EQ(vrtGost89SboxInit(VRT_GOST89_SBOX_CRYPTOPRO_A, nullptr), VRT_SUCCESS);  // tags survive clean-up
  EXPECT_EQ(vrtGost89SboxFree(VRT_GOST89_SBOX_CRYPTOPRO_A), VRT_SUCCESS);
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SboxInit(reinterpret_cast<uintptr_t>(&mine), packed.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtpGost89SboxInitialized(&mine), 1u);
}

// The records in use follow the enabled processor features.
TEST(Gost89Sbox, VariantFollowsTheProcessor) {
  // Single blocks always take the scalar scheduled record, the faster one for
  // a serial chain; eight blocks take the vector one where there is AVX.
  if (vrtpInstance.cpu_enabled & VRT_CPU_AVX512VL) {
    EXPECT_EQ(vrtpGost89AlgG1ptr, &vrtpGost89AlgAluG1);
    EXPECT_EQ(vrtpGost89AlgG8ptr, &vrtpGost89AlgAvx512G8);
  } else if (vrtpInstance.cpu_enabled & VRT_CPU_AVX) {
    EXPECT_EQ(vrtpGost89AlgG1ptr, &vrtpGost89AlgAluG1);
    EXPECT_EQ(vrtpGost89AlgG8ptr, &vrtpGost89AlgAvxG8);
  } else {
    EXPECT_EQ(vrtpGost89AlgG1ptr, &vrtpGost89AlgAluG1);
    EXPECT_EQ(vrtpGost89AlgG8ptr, &vrtpGost89AlgG8);
  }
  // Without AVX the scalar scheduled record and the portable eight-block one.
  vrtp_instance_t plain = vrtpInstance;
  plain.cpu_enabled &= ~(VRT_CPU_AVX | VRT_CPU_AVX512VL);
  const vrt_block_alg_t* g1 = vrtpGost89AlgG1ptr;
  const vrt_block_alg_t* g8 = vrtpGost89AlgG8ptr;
  vrtpGost89AlgG8ptr = &vrtpGost89AlgG8;
  EXPECT_EQ(gost89_arch_init(&plain), VRT_SUCCESS);
  EXPECT_EQ(vrtpGost89AlgG1ptr, &vrtpGost89AlgAluG1);
  EXPECT_EQ(vrtpGost89AlgG8ptr, &vrtpGost89AlgG8);
  vrtpGost89AlgG1ptr = g1;
  vrtpGost89AlgG8ptr = g8;
}

}  // namespace
