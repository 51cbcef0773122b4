// The GOST 28147-89 block operations: known answers on every variant, the
// variants against each other, the eight-block forms, masked key records and
// the records themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/file_test.h"
#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::RandomBytes;

bool HaveAvx() { return (vrtpInstance.cpu_detected & VRT_CPU_AVX) != 0; }

struct Variant {
  const char* name;
  const vrt_block_alg_t* alg;
};

// The single-block records this processor can run.
std::vector<Variant> SingleBlockVariants() {
  std::vector<Variant> v = {{"portable", &vrtpGost89AlgG1}, {"scalar", &vrtpGost89AlgAluG1}};
  if (HaveAvx()) v.push_back({"avx", &vrtpGost89AlgAvxG1});
  return v;
}

gost89_key_t PlainKey(const Bytes& key) {
  gost89_key_t k{};
  for (int j = 0; j < 8; ++j) k.key[j] = vrt::load_le32(key.data() + 4 * j);
  return k;
}

const gost89_sbox_t* Set(uint32_t id) { return vrtpGost89SboxPointer(id); }

const uint32_t kPublishedSets[] = {
    VRT_GOST89_SBOX_R3411_94_TEST, VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, VRT_GOST89_SBOX_TEST,
    VRT_GOST89_SBOX_CRYPTOPRO_A,   VRT_GOST89_SBOX_CRYPTOPRO_B,        VRT_GOST89_SBOX_CRYPTOPRO_C,
    VRT_GOST89_SBOX_CRYPTOPRO_D,   VRT_GOST89_SBOX_TC26_Z,             VRT_GOST89_SBOX_NVQ_A,
    VRT_GOST89_SBOX_NVQ_003,       VRT_GOST89_SBOX_NVQ_006,
};

TEST(Gost89Block, KnownAnswersOnEveryVariant) {
  vrt::test::FileTestRun("gost89/gost89.txt", [](FileTest& t) {
    const gost89_sbox_t* s = Set(static_cast<uint32_t>(t.GetInt("Sbox")));
    const gost89_key_t key = PlainKey(t.GetBytes("Key"));
    const Bytes pt = t.GetBytes("Plaintext"), ct = t.GetBytes("Ciphertext");
    for (const Variant& v : SingleBlockVariants()) {
      SCOPED_TRACE(v.name);
      uint8_t out[8];
      v.alg->encrypt.gost89(pt.data(), out, &key, s);
      EXPECT_EQ(Hex(out, 8), Hex(ct));
      v.alg->decrypt.gost89(out, out, &key, s);  // in place
      EXPECT_EQ(Hex(out, 8), Hex(pt));
    }
  });
}

// One key record in every masking mode that must act as the plain key.
std::vector<std::pair<std::string, gost89_key_t>> MaskedForms(const Bytes& key) {
  const gost89_key_t plain = PlainKey(key);
  const Bytes mask_bytes = RandomBytes(32);
  uint32_t m[8];
  for (int j = 0; j < 8; ++j) m[j] = vrt::load_le32(mask_bytes.data() + 4 * j);
  std::vector<std::pair<std::string, gost89_key_t>> v;
  v.push_back({"plain", plain});
  gost89_key_t k = plain;
  k.flags = GOST89_KEY_REVERSED;  // ignored without the additive bit
  v.push_back({"reversed flag alone", k});
  for (uint32_t flags : {GOST89_KEY_XOR, GOST89_KEY_XOR | GOST89_KEY_ADD, GOST89_KEY_XOR | GOST89_KEY_REVERSED}) {
    k = plain;
    for (int j = 0; j < 8; ++j) {
      k.key[j] ^= m[j];
      k.mask[j] = m[j];
    }
    k.flags = flags;  // XOR wins over the others
    v.push_back({"xor flags " + std::to_string(flags), k});
  }
  k = plain;
  for (int j = 0; j < 8; ++j) {
    k.key[j] += m[j];
    k.mask[j] = m[j];
  }
  k.flags = GOST89_KEY_ADD;
  v.push_back({"additive", k});
  // Additive and reversed: the stored key is the byte-reverse of the key.
  const Bytes reversed = vrt::test::Reversed(key);
  k = PlainKey(reversed);
  for (int j = 0; j < 8; ++j) {
    k.key[j] += m[j];
    k.mask[j] = m[j];
  }
  k.flags = GOST89_KEY_ADD | GOST89_KEY_REVERSED;
  v.push_back({"additive reversed", k});
  return v;
}

// Every variant, every set, every masking mode: encrypt, decrypt and the MAC
// step give the portable result of the plain key, and no record is written.
TEST(Gost89Block, VariantsAndMaskedKeysAgree) {
  for (uint32_t id : kPublishedSets) {
    const gost89_sbox_t* s = Set(id);
    for (int n = 0; n < 8; ++n) {
      const Bytes key = RandomBytes(32), in = RandomBytes(8), state = RandomBytes(8);
      const gost89_key_t plain = PlainKey(key);
      uint8_t enc[8], dec[8], mac[8];
      gost89_encrypt_block(in.data(), enc, &plain, s);
      gost89_decrypt_block(in.data(), dec, &plain, s);
      std::memcpy(mac, state.data(), 8);
      gost89_mac_block(in.data(), mac, &plain, s);
      uint8_t back[8];
      gost89_decrypt_block(enc, back, &plain, s);
      ASSERT_EQ(Hex(back, 8), Hex(in));

      for (const auto& [form, rec] : MaskedForms(key)) {
        for (const Variant& v : SingleBlockVariants()) {
          SCOPED_TRACE(std::string(v.name) + ", " + form + ", set " + std::to_string(id));
          const gost89_key_t before = rec;
          uint8_t out[8];
          v.alg->encrypt.gost89(in.data(), out, &rec, s);
          ASSERT_EQ(Hex(out, 8), Hex(enc, 8));
          v.alg->decrypt.gost89(in.data(), out, &rec, s);
          ASSERT_EQ(Hex(out, 8), Hex(dec, 8));
          std::memcpy(out, state.data(), 8);
          v.alg->mac_block.gost89(in.data(), out, &rec, s);
          ASSERT_EQ(Hex(out, 8), Hex(mac, 8));
          ASSERT_EQ(Hex(&rec, sizeof rec), Hex(&before, sizeof before)) << "key record written";
        }
      }
    }
  }
}

// The direct variant entry points take the tables, not the set.
TEST(Gost89Block, DirectVariantEntryPoints) {
  const gost89_sbox_t* s = Set(VRT_GOST89_SBOX_CRYPTOPRO_A);
  const Bytes key = RandomBytes(32), in = RandomBytes(8);
  const gost89_key_t k = PlainKey(key);
  uint8_t want[8], got[8];
  gost89_encrypt_block(in.data(), want, &k, s);
  __gost89alu_encrypt_block(in.data(), got, &k, &s->tables[0][0]);
  EXPECT_EQ(Hex(got, 8), Hex(want, 8));
  if (HaveAvx()) {
    __gost89avx_encrypt_block(in.data(), got, &k, s->cpu);
    EXPECT_EQ(Hex(got, 8), Hex(want, 8));
  }
}

// A direct reference of the network: f from the packed rows nibble by
// nibble, rounds in the standard's notation x(r+1) = x(r-1) ^ f(x(r) + K).
uint32_t RefF(const gost89_sbox_t* s, uint32_t x) {
  uint32_t y = 0;
  for (int i = 0; i < 8; ++i) {
    const uint8_t b = s->packed[4 * ((x >> (4 * i)) & 15) + i / 2];
    y |= static_cast<uint32_t>((i & 1) ? b >> 4 : b & 15) << (4 * i);
  }
  return (y << 11) | (y >> 21);
}

// rounds: the key index of each round; returns (x(R-1), x(R)).
std::pair<uint32_t, uint32_t> RefRounds(const gost89_sbox_t* s, const uint32_t k[8], uint32_t x0, uint32_t x1,
                                        const std::vector<int>& rounds) {
  for (int idx : rounds) {
    const uint32_t x2 = x0 ^ RefF(s, x1 + k[idx]);
    x0 = x1;
    x1 = x2;
  }
  return {x0, x1};
}

TEST(Gost89Block, MatchesTheDirectReference) {
  std::vector<int> enc, dec, mac;
  for (int r = 0; r < 24; ++r) enc.push_back(r % 8);
  for (int r = 0; r < 8; ++r) enc.push_back(7 - r);
  for (int r = 0; r < 8; ++r) dec.push_back(r);
  for (int r = 0; r < 24; ++r) dec.push_back(7 - r % 8);
  for (int r = 0; r < 16; ++r) mac.push_back(r % 8);
  for (uint32_t id : kPublishedSets) {
    const gost89_sbox_t* s = Set(id);
    for (int n = 0; n < 4; ++n) {
      const Bytes key = RandomBytes(32), in = RandomBytes(8), state = RandomBytes(8);
      const gost89_key_t rec = PlainKey(key);
      const uint32_t n1 = vrt::load_le32(in.data()), n2 = vrt::load_le32(in.data() + 4);
      uint8_t want[8], got[8];
      // Encryption and decryption: the output is N1 = x32, N2 = x33.
      for (const auto* rounds : {&enc, &dec}) {
        auto [x32, x33] = RefRounds(s, rec.key, n2, n1, *rounds);
        vrt::store_le32(want, x32);
        vrt::store_le32(want + 4, x33);
        (rounds == &enc ? gost89_encrypt_block : gost89_decrypt_block)(in.data(), got, &rec, s);
        ASSERT_EQ(Hex(got, 8), Hex(want, 8)) << (rounds == &enc ? "encrypt" : "decrypt") << " set " << id;
      }
      // The MAC step: x0 = S2 ^ N2, x1 = S1 ^ N1, new state S1 = x17, S2 = x16.
      const uint32_t s1 = vrt::load_le32(state.data()), s2 = vrt::load_le32(state.data() + 4);
      auto [x16, x17] = RefRounds(s, rec.key, s2 ^ n2, s1 ^ n1, mac);
      vrt::store_le32(want, x17);
      vrt::store_le32(want + 4, x16);
      std::memcpy(got, state.data(), 8);
      gost89_mac_block(in.data(), got, &rec, s);
      ASSERT_EQ(Hex(got, 8), Hex(want, 8)) << "mac step set " << id;
    }
  }
}

// The sixteen-block counter kernel equals sixteen single-block encryptions.
TEST(Gost89Block, SixteenBlockKernelEqualsSingleCalls) {
  if (!(vrtpInstance.cpu_enabled & VRT_CPU_AVX512VBMI)) GTEST_SKIP() << "no AVX-512 BW here";
  for (uint32_t id : kPublishedSets) {
    const gost89_sbox_t* s = Set(id);
    for (const auto& form : MaskedForms(RandomBytes(32))) {
      const Bytes in = RandomBytes(128);
      uint8_t want[128], got[128];
      for (int i = 0; i < 16; ++i) gost89_encrypt_block(in.data() + 8 * i, want + 8 * i, &form.second, s);
      __gost89avx512_encrypt16(in.data(), got, &form.second, s->cpu);
      ASSERT_EQ(Hex(got, 128), Hex(want, 128)) << "set " << id << " " << form.first;
    }
  }
}

// The eight-block forms equal eight single-block calls: the portable one
// with eight different key records, the AVX one with eight equal records.
TEST(Gost89Block, EightBlockFormsEqualEightSingleCalls) {
  for (uint32_t id : kPublishedSets) {
    const gost89_sbox_t* s = Set(id);
    const Bytes in = RandomBytes(64), state = RandomBytes(64);
    gost89_key_t keys[8], same[8];
    for (int i = 0; i < 8; ++i) {
      keys[i] = MaskedForms(RandomBytes(32))[static_cast<size_t>(i) % 7].second;
      same[i] = keys[0];
    }
    struct Eight {
      const char* name;
      const vrt_block_alg_t* alg;
      const gost89_key_t* keys;
    };
    std::vector<Eight> forms = {{"portable", &vrtpGost89AlgG8, keys}};
    if (HaveAvx()) forms.push_back({"avx", &vrtpGost89AlgAvxG8, same});
    if (vrtpInstance.cpu_detected & VRT_CPU_AVX512VL) forms.push_back({"avx512", &vrtpGost89AlgAvx512G8, same});
    for (const Eight& f : forms) {
      SCOPED_TRACE(f.name);
      uint8_t want_e[64], want_d[64], want_m[64], got[64];
      std::memcpy(want_m, state.data(), 64);
      for (int i = 0; i < 8; ++i) {
        gost89_encrypt_block(in.data() + 8 * i, want_e + 8 * i, &f.keys[i], s);
        gost89_decrypt_block(in.data() + 8 * i, want_d + 8 * i, &f.keys[i], s);
        gost89_mac_block(in.data() + 8 * i, want_m + 8 * i, &f.keys[i], s);
      }
      f.alg->encrypt.gost89(in.data(), got, f.keys, s);
      EXPECT_EQ(Hex(got, 64), Hex(want_e, 64));
      f.alg->decrypt.gost89(in.data(), got, f.keys, s);
      EXPECT_EQ(Hex(got, 64), Hex(want_d, 64));
      std::memcpy(got, state.data(), 64);
      f.alg->mac_block.gost89(in.data(), got, f.keys, s);
      EXPECT_EQ(Hex(got, 64), Hex(want_m, 64));
      // In place.
      std::memcpy(got, in.data(), 64);
      f.alg->encrypt.gost89(got, got, f.keys, s);
      EXPECT_EQ(Hex(got, 64), Hex(want_e, 64));
    }
  }
}

TEST(Gost89Block, RecordShapes) {
  struct Shape {
    const vrt_block_alg_t* alg;
    uint64_t lanes, block_size;
    bool avx_hooks;
    vrt_xor_block_fn xor_block;
    vrt_copy_block_fn copy_block;
  };
  const Shape shapes[] = {
      {&vrtpGost89AlgG1, 1, 8, false, gost89_xor_block, gost89_copy_block},
      {&vrtpGost89AlgG8, 8, 64, false, gost89_xor_block8, gost89_copy_block8},
      {&vrtpGost89AlgAluG1, 1, 8, false, __gost89alu_xor_block, __gost89alu_copy_block},
      {&vrtpGost89AlgAvxG1, 1, 8, true, gost89_xor_block, gost89_copy_block},
      {&vrtpGost89AlgAvxG8, 8, 64, true, gost89_xor_block8, gost89_copy_block8},
      {&vrtpGost89AlgAvx512G8, 8, 64, true, gost89_xor_block8, gost89_copy_block8},
  };
  for (const Shape& sh : shapes) {
    const vrt_block_alg_t& r = *sh.alg;
    EXPECT_EQ(r.lanes, sh.lanes);
    EXPECT_EQ(r.block_size, sh.block_size);
    EXPECT_EQ(r.hook_begin != nullptr, sh.avx_hooks);
    EXPECT_EQ(r.hook_end != nullptr, sh.avx_hooks);
    EXPECT_EQ(r.hook_after_key, nullptr);
    EXPECT_EQ(r.hook_after_work, nullptr);
    EXPECT_NE(r.mac_block.gost89, nullptr);
    EXPECT_NE(r.encrypt.gost89, nullptr);
    EXPECT_NE(r.decrypt.gost89, nullptr);
    EXPECT_EQ(r.xor_block, sh.xor_block);
    EXPECT_EQ(r.copy_block, sh.copy_block);
    if (r.hook_begin) r.hook_begin(nullptr);
    if (r.hook_end) r.hook_end(nullptr);

    const size_t n = sh.block_size;
    const Bytes a = RandomBytes(n), b = RandomBytes(n);
    Bytes want(n), x = a;
    for (size_t i = 0; i < n; ++i) want[i] = a[i] ^ b[i];
    r.xor_block(x.data(), b.data(), x.data());
    EXPECT_EQ(Hex(x), Hex(want));
    r.copy_block(b.data(), x.data());
    EXPECT_EQ(Hex(x), Hex(b));
  }
  EXPECT_EQ(vrtpGost89AlgG1.encrypt.gost89, gost89_encrypt_block);
  EXPECT_EQ(vrtpGost89AlgG1.decrypt.gost89, gost89_decrypt_block);
  EXPECT_EQ(vrtpGost89AlgG1.mac_block.gost89, gost89_mac_block);
  EXPECT_EQ(vrtpGost89AlgG8.encrypt.gost89, gost89_encrypt_block8);
  EXPECT_EQ(vrtpGost89AlgG8.decrypt.gost89, gost89_decrypt_block8);
  EXPECT_EQ(vrtpGost89AlgG8.mac_block.gost89, gost89_mac_block8);
}

}  // namespace
