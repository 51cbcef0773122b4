// MGM: the published examples, the records, the field and counter
// arithmetic, a deliberately simple construction of the mode written here to
// compare against on random messages (no peer library has MGM), streams cut
// anywhere with the state moved between contexts, and the processor variant
// of the field multiplication against the portable one.
#include <gtest/gtest.h>

#include <cstring>

#include "cipher15/mgm.h"
#include "cipher15/mgm_test_util.h"
#include "common/file_test.h"
#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::FromHex;
using vrt::test::Hex;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;
using namespace vrt::test::mgm;

// ---- published examples ----

// The stream form of one message: associated data in two pieces, text in
// three, through Update and Final on one context.
Sealed SealStreamed(uint64_t n, const genkey_t* key, const Bytes& nonce, const Bytes& aad, const Bytes& pt) {
  Ctx ctx(n);
  EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  const size_t a1 = aad.size() / 3;
  EXPECT_EQ(vrtAEADEncryptUpdate(ctx, key, aad.data(), a1, VRT_AEAD_KIND_AAD, nullptr, nullptr), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADEncryptUpdate(ctx, key, aad.data() + a1, aad.size() - a1, VRT_AEAD_KIND_AAD, nullptr, nullptr),
            VRT_SUCCESS);
  Sealed s{Bytes(pt.size()), Bytes(n)};
  size_t done = 0, written = 0;
  for (size_t piece : {size_t{5}, pt.size() / 2, pt.size()}) {
    piece = std::min(piece, pt.size() - done);
    uint64_t cap = s.text.size() - written;
    uint64_t want = 0;
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, key, pt.data() + done, piece, VRT_AEAD_KIND_TEXT, nullptr, &want),
              VRT_SUCCESS);
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, key, pt.data() + done, piece, VRT_AEAD_KIND_TEXT,
                                   s.text.data() + written, &cap),
              VRT_SUCCESS);
    done += piece;
    written += want;
  }
  uint64_t cap = s.text.size() - written;
  EXPECT_EQ(vrtAEADEncryptFinal(ctx, key, s.text.data() + written, &cap, s.tag.data(), n), VRT_SUCCESS);
  return s;
}

uint32_t OpenStreamed(uint64_t n, const genkey_t* key, const Bytes& nonce, const Bytes& aad, const Bytes& ct,
                      const Bytes& tag, Bytes& out) {
  Ctx ctx(n);
  EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADImitSetValue(ctx, tag.data(), tag.size()), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADDecryptUpdate(ctx, key, aad.data(), aad.size(), VRT_AEAD_KIND_AAD), VRT_SUCCESS);
  const size_t half = ct.size() / 2;
  EXPECT_EQ(vrtAEADDecryptUpdate(ctx, key, ct.data(), half, VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADDecryptUpdate(ctx, key, ct.data() + half, ct.size() - half, VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
  uint64_t size = 0;
  EXPECT_EQ(vrtAEADDecryptFinal(ctx, key, nullptr, &size), VRT_SUCCESS);
  EXPECT_EQ(size, ct.size());
  out.resize(ct.size());
  return vrtAEADDecryptFinal(ctx, key, out.data(), &size);
}

TEST(Mgm, PublishedExamples) {
  vrt::test::FileTestRun("cipher15/mgm.txt", [](FileTest& t) {
    const uint64_t n = t.GetText("Cipher") == "Kuznyechik" ? 16 : 8;
    Key key(t.GetBytes("Key"));
    const Bytes nonce = t.GetBytes("Nonce"), aad = t.GetBytes("AAD"), pt = t.GetBytes("Plaintext");
    const Bytes ct = t.GetBytes("Ciphertext"), tag = t.GetBytes("Tag");
    ASSERT_EQ(nonce.size(), n);
    const Sealed one = Seal(n, &key.g, nonce, aad, pt);
    EXPECT_EQ(Hex(one.text), Hex(ct));
    EXPECT_EQ(Hex(one.tag), Hex(tag));
    const Sealed streamed = SealStreamed(n, &key.g, nonce, aad, pt);
    EXPECT_EQ(Hex(streamed.text), Hex(ct));
    EXPECT_EQ(Hex(streamed.tag), Hex(tag));
    Bytes out;
    EXPECT_EQ(Open(n, &key.g, nonce, aad, ct, tag, out), VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(pt));
    out.clear();
    EXPECT_EQ(OpenStreamed(n, &key.g, nonce, aad, ct, tag, out), VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(pt));
    // A shortened tag is the leftmost bytes of the full one.
    const Bytes short_tag(tag.begin(), tag.begin() + 4);
    EXPECT_EQ(Open(n, &key.g, nonce, aad, ct, short_tag, out), VRT_SUCCESS);
    Ctx ctx(n);
    uint8_t four[4];
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADEncryptSimple(ctx, &key.g, pt.data(), out.data(), pt.size(), aad.data(), aad.size()),
              VRT_SUCCESS);
    ASSERT_EQ(vrtAEADImitGetValue(ctx, four, 4), VRT_SUCCESS);
    EXPECT_EQ(Hex(four, 4), Hex(short_tag));
  });
}

TEST(Mgm, Records) {
  struct {
    const vrt_aead_alg_t& r;
    uint64_t n;
    vrt_gf_mul_fn mul;
    gost15_block_fn enc;
    vrt_block_incr_fn l, r2;
    vrt_concat_len_fn len;
    vrt_xor_block_fn x;
    vrt_copy_block_fn c;
  } const cases[] = {
      {AEAD_G1_KUZNECHIK, 16, mulGaloisField128, gost15KZN_encrypt_block, kuznechikCounterL, kuznechikCounterR,
       kuznechikConcatLen, gost15KZN_xor_block, gost15KZN_copy_block},
      {AEAD_G1_MAGMA, 8, mulGaloisField64, gost15Magma_encrypt_block, magmaCounterL, magmaCounterR,
       magmaConcatLen, gost15Magma_xor_block, gost15Magma_copy_block},
  };
  static_assert(sizeof(vrt_aead_alg_t) == 14 * 8, "fourteen slots");
  static_assert(sizeof(AeadVec) == 40, "five fields");
  for (const auto& c : cases) {
    EXPECT_EQ(c.r.lanes, 1u);
    EXPECT_EQ(c.r.block_size, c.n);
    EXPECT_EQ(c.r.reserved3, nullptr);
    EXPECT_EQ(c.r.reserved4, nullptr);
    EXPECT_EQ(c.r.reserved5, nullptr);
    EXPECT_EQ(c.r.reserved6, nullptr);
    EXPECT_EQ(c.r.reserved9, nullptr);
    EXPECT_EQ(c.r.mul, c.mul);
    EXPECT_EQ(c.r.encrypt, c.enc);
    EXPECT_EQ(c.r.incr_l, c.l);
    EXPECT_EQ(c.r.incr_r, c.r2);
    EXPECT_EQ(c.r.concat_len, c.len);
    EXPECT_EQ(c.r.xor_block, c.x);
    EXPECT_EQ(c.r.copy_block, c.c);
  }
}

// ---- field and counters ----

// Polynomial product over bit arrays (bit i = coefficient of x^i), reduced
// from the top by the given low terms of the modulus: the schoolbook form,
// nothing shared with the library's code.
Bytes ReferenceProduct(const Bytes& a, const Bytes& b, const std::vector<int>& low_terms) {
  const size_t m = a.size() * 8;
  auto bit = [](const Bytes& v, size_t i) { return (v[v.size() - 1 - i / 8] >> (i % 8)) & 1; };
  std::vector<int> prod(2 * m, 0);
  for (size_t i = 0; i < m; ++i)
    for (size_t j = 0; j < m; ++j) prod[i + j] ^= bit(a, i) & bit(b, j);
  for (size_t k = 2 * m - 1; k >= m; --k) {
    if (!prod[k]) continue;
    prod[k] = 0;
    for (int t : low_terms) prod[k - m + static_cast<size_t>(t)] ^= 1;
  }
  Bytes r(a.size(), 0);
  for (size_t i = 0; i < m; ++i)
    if (prod[i]) r[r.size() - 1 - i / 8] |= static_cast<uint8_t>(1u << (i % 8));
  return r;
}

Bytes Mul(vrt::cipher15::GfMulFn f, const Bytes& a, const Bytes& b) {
  Bytes r(a.size());
  f(r.data(), a.data(), b.data());
  return r;
}

struct Field {
  const char* name;
  size_t bytes;
  std::vector<int> low_terms;
  vrt::cipher15::GfMulFn portable, clmul, exported;
};

const Field kFields[] = {
    {"GF(2^128)", 16, {7, 2, 1, 0}, vrt::cipher15::gf128_mul_portable, vrt::cipher15::gf128_mul_pclmul,
     mulGaloisField128},
    {"GF(2^64)", 8, {4, 3, 1, 0}, vrt::cipher15::gf64_mul_portable, vrt::cipher15::gf64_mul_pclmul,
     mulGaloisField64},
};

bool HaveClmul() { return (vrtpInstance.cpu_detected & VRT_CPU_PCLMUL) != 0; }

// Every variant against the schoolbook product, on edge values and random
// ones, out of place and in place.
TEST(MgmField, VariantsEqualTheSchoolbookProduct) {
  for (const Field& f : kFields) {
    SCOPED_TRACE(f.name);
    std::vector<Bytes> values;
    Bytes zero(f.bytes, 0), one(f.bytes, 0), top(f.bytes, 0), ones(f.bytes, 0xff);
    one.back() = 1;
    top.front() = 0x80;  // x^(m-1): times x overflows into the reduction
    values = {zero, one, top, ones};
    for (int i = 0; i < 60; ++i) values.push_back(RandomBytes(f.bytes));
    std::vector<vrt::cipher15::GfMulFn> variants = {f.portable, f.exported};
    if (HaveClmul()) variants.push_back(f.clmul);
    for (size_t i = 0; i < values.size(); ++i) {
      const Bytes& a = values[i];
      const Bytes& b = values[(i * 7 + 3) % values.size()];
      const std::string want = Hex(ReferenceProduct(a, b, f.low_terms));
      for (auto v : variants) {
        EXPECT_EQ(Hex(Mul(v, a, b)), want) << Hex(a) << " * " << Hex(b);
        Bytes in_place = a;
        v(in_place.data(), in_place.data(), b.data());
        EXPECT_EQ(Hex(in_place), want);
        in_place = a;
        v(in_place.data(), in_place.data(), in_place.data());
        EXPECT_EQ(Hex(in_place), Hex(ReferenceProduct(a, a, f.low_terms)));
      }
    }
    // x^(m-1) * x = the low terms of the modulus.
    Bytes x(f.bytes, 0);
    x.back() = 2;
    EXPECT_EQ(Hex(Mul(f.exported, top, x)), Hex(ReferenceProduct(top, x, f.low_terms)));
  }
}

// Every sum-of-products variant equals the products added one by one, on
// counts around its group of four, with the sum it adds to kept.
TEST(MgmField, SumsOfProductsEqualTheProductsAdded) {
  struct Variant {
    const char* name;
    vrt::cipher15::GfMulSumFn fn;
    bool usable;
  };
  const uint32_t wide = VRT_CPU_PCLMUL | VRT_CPU_VPCLMUL | VRT_CPU_AVX512VBMI;
  const Variant variants[] = {
      {"portable", vrt::cipher15::gf128_mul_sum_portable, true},
      {"pclmul", vrt::cipher15::gf128_mul_sum_pclmul, HaveClmul()},
      {"vpclmul", vrt::cipher15::gf128_mul_sum_vpclmul, (vrtpInstance.cpu_detected & wide) == wide},
      {"chosen", vrt::cipher15::gf128_mul_sum, true},
  };
  for (size_t count : {0, 1, 2, 3, 4, 5, 7, 8, 9, 17, 64}) {
    Bytes h = RandomBytes(16 * count), x = RandomBytes(16 * count);
    if (count != 0) std::memset(x.data(), 0xff, 16);  // every bit of the top words
    const Bytes start = RandomBytes(16);
    Bytes want = start;
    for (size_t i = 0; i < count; ++i) {
      const Bytes p = ReferenceProduct(Bytes(h.begin() + 16 * i, h.begin() + 16 * i + 16),
                                       Bytes(x.begin() + 16 * i, x.begin() + 16 * i + 16), {7, 2, 1, 0});
      for (size_t b = 0; b < 16; ++b) want[b] ^= p[b];
    }
    for (const Variant& v : variants) {
      if (!v.usable) continue;
      SCOPED_TRACE(std::string(v.name) + " " + std::to_string(count));
      Bytes sum = start;
      v.fn(sum.data(), h.data(), x.data(), count);
      EXPECT_EQ(Hex(sum), Hex(want));
    }
  }
}

TEST(MgmField, SwitchingVariantsKeepsTheProduct) {
  if (!HaveClmul()) GTEST_SKIP() << "no PCLMULQDQ on this processor";
  // Both variants give the same product, so the choice shows only in
  // which one runs; the portable one must still be reachable.
  vrt::cipher15::mgm_arch_init(0);
  const Bytes a = RandomBytes(16), b = RandomBytes(16);
  const std::string portable = Hex(Mul(mulGaloisField128, a, b));
  vrt::cipher15::mgm_arch_init(vrtpInstance.cpu_enabled);
  EXPECT_EQ(Hex(Mul(mulGaloisField128, a, b)), portable);
}

TEST(MgmCounters, HalvesWrapOnTheirOwn) {
  struct Case {
    vrt_block_incr_fn f;
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {kuznechikCounterL, "00000000000000000000000000000000", "00000000000000010000000000000000"},
      {kuznechikCounterL, "00000000000000ff1111111111111111", "00000000000001001111111111111111"},
      {kuznechikCounterL, "ffffffffffffffffffffffffffffffff", "0000000000000000ffffffffffffffff"},
      {kuznechikCounterR, "0000000000000000fffffffffffffffe", "0000000000000000ffffffffffffffff"},
      {kuznechikCounterR, "1111111111111111ffffffffffffffff", "11111111111111110000000000000000"},
      {magmaCounterL, "00000000ffffffff", "00000001ffffffff"},
      {magmaCounterL, "ffffffff12345678", "0000000012345678"},
      {magmaCounterR, "12345678000000ff", "1234567800000100"},
      {magmaCounterR, "ffffffffffffffff", "ffffffff00000000"},
  };
  for (const Case& c : cases) {
    Bytes b = FromHex(c.in);
    c.f(b.data());
    EXPECT_EQ(Hex(b), c.out) << c.in;
  }
}

TEST(MgmCounters, LengthBlocks) {
  struct Case {
    vrt_concat_len_fn f;
    uint64_t aad, text, count;
    const char* out;
  };
  const Case cases[] = {
      {kuznechikConcatLen, 41, 67, 1, "00000000000001480000000000000218"},
      {kuznechikConcatLen, 0, 1, 1, "00000000000000000000000000000008"},
      {kuznechikConcatLen, (uint64_t{1} << 61) - 1, 0, 1, "fffffffffffffff80000000000000000"},
      {kuznechikConcatLen, 1, 2, 2, "0000000000000008000000000000001000000000000000080000000000000010"},
      {magmaConcatLen, 41, 67, 1, "0000014800000218"},
      {magmaConcatLen, 0, (uint64_t{1} << 29) - 1, 1, "00000000fffffff8"},
      {magmaConcatLen, (uint64_t{1} << 29) - 1, 0, 1, "fffffff800000000"},
      {magmaConcatLen, 5, 5, 0, ""},
  };
  for (const Case& c : cases) {
    Bytes b(32, 0xee);
    c.f(b.data(), c.aad, c.text, c.count);
    const size_t used = std::strlen(c.out) / 2;
    EXPECT_EQ(Hex(b.data(), used), c.out);
    EXPECT_EQ(Hex(b.data() + used, 32 - used), Hex(Bytes(32 - used, 0xee)));  // nothing past count blocks
  }
}

// ---- an independent construction ----

// MGM written out over whole messages: the key stream, the H values and the
// blocks to authenticate are each built as one array first, products by the
// schoolbook multiplication. Slow and plain on purpose.
struct Reference {
  size_t n;
  Bytes key;
  alignas(16) uint8_t rk[160];

  Reference(size_t block, const Bytes& k) : n(block), key(k) {
    if (n == 16) kuznechik_arch_schedule_encrypt(rk, key.data());
  }
  Bytes E(const Bytes& x) const {
    Bytes y(n);
    if (n == 16) {
      std::memcpy(y.data(), x.data(), 16);
      kuznechik_arch_encrypt_block(rk, y.data());
    } else {
      gost15Magma_encrypt_block(x.data(), y.data(), key.data(), vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z),
                                nullptr);
    }
    return y;
  }
  // +1 on bytes [from, from + n/2) as a big-endian number.
  void Increment(Bytes& b, size_t from) const {
    for (size_t i = from + n / 2; i-- > from;)
      if (++b[i] != 0) break;
  }
  static Bytes Padded(Bytes v, size_t n) {
    v.resize((v.size() + n - 1) / n * n, 0);
    return v;
  }
  Bytes BigEndian(uint64_t v, size_t bytes) const {
    Bytes r(bytes);
    for (size_t i = 0; i < bytes; ++i) r[bytes - 1 - i] = static_cast<uint8_t>(i < 8 ? v >> (8 * i) : 0);
    return r;
  }
  Sealed Seal(Bytes nonce, const Bytes& aad, const Bytes& pt) const {
    const std::vector<int> terms = n == 16 ? std::vector<int>{7, 2, 1, 0} : std::vector<int>{4, 3, 1, 0};
    nonce[0] &= 0x7f;
    Bytes y = E(nonce);
    nonce[0] |= 0x80;
    Bytes z = E(nonce);
    Bytes stream;
    while (stream.size() < pt.size()) {
      const Bytes g = E(y);
      stream.insert(stream.end(), g.begin(), g.end());
      Increment(y, n / 2);
    }
    Sealed s{Bytes(pt.size()), {}};
    for (size_t i = 0; i < pt.size(); ++i) s.text[i] = pt[i] ^ stream[i];
    Bytes blocks = Padded(aad, n);
    const Bytes c = Padded(s.text, n);
    blocks.insert(blocks.end(), c.begin(), c.end());
    Bytes lengths = BigEndian(aad.size() * 8, n / 2);
    const Bytes tl = BigEndian(pt.size() * 8, n / 2);
    lengths.insert(lengths.end(), tl.begin(), tl.end());
    blocks.insert(blocks.end(), lengths.begin(), lengths.end());
    Bytes sum(n, 0);
    for (size_t off = 0; off < blocks.size(); off += n) {
      const Bytes h = E(z);
      Increment(z, 0);
      const Bytes p = ReferenceProduct(h, Bytes(blocks.begin() + off, blocks.begin() + off + n), terms);
      for (size_t i = 0; i < n; ++i) sum[i] ^= p[i];
    }
    s.tag = E(sum);
    return s;
  }
};

// Random messages of awkward text and associated-data lengths, both ciphers:
// the library equals the construction above and decrypts its own output.
TEST(Mgm, EqualsTheReferenceConstruction) {
  for (const uint64_t n : {16u, 8u}) {
    SCOPED_TRACE(n);
    const Bytes raw_key = RandomBytes(32);
    Key key(raw_key);
    const Reference ref(n, raw_key);
    std::vector<std::pair<size_t, size_t>> shapes;  // (aad, text)
    for (size_t len : vrt::test::AwkwardLengths(n)) {
      shapes.emplace_back(RandomSize(0, 3 * n), len);
      shapes.emplace_back(len, RandomSize(0, 3 * n));
    }
    for (auto [aad_len, text_len] : shapes) {
      if (aad_len + text_len == 0) continue;
      SCOPED_TRACE(testing::Message() << "aad " << aad_len << " text " << text_len);
      const Bytes nonce = RandomBytes(n), aad = RandomBytes(aad_len), pt = RandomBytes(text_len);
      const Sealed want = ref.Seal(nonce, aad, pt);
      const Sealed got = Seal(n, &key.g, nonce, aad, pt);
      ASSERT_EQ(Hex(got.text), Hex(want.text));
      ASSERT_EQ(Hex(got.tag), Hex(want.tag));
      Bytes back;
      ASSERT_EQ(Open(n, &key.g, nonce, aad, got.text, got.tag, back), VRT_SUCCESS);
      ASSERT_EQ(Hex(back), Hex(pt));
    }
  }
}

// In place: the ciphertext may overwrite the plaintext and the plaintext the
// ciphertext.
TEST(Mgm, InPlace) {
  for (const uint64_t n : {16u, 8u}) {
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(19), pt = RandomBytes(5 * n + 3);
    const Sealed want = Seal(n, &key.g, nonce, aad, pt);
    Ctx ctx(n);
    Bytes buf = pt;
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADEncryptSimple(ctx, &key.g, buf.data(), buf.data(), buf.size(), aad.data(), aad.size()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(buf), Hex(want.text));
    ASSERT_EQ(vrtAEADImitSetValue(ctx, want.tag.data(), n), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptSimple(ctx, &key.g, buf.data(), buf.data(), buf.size(), aad.data(), aad.size()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(buf), Hex(pt));
  }
}

// ---- streams cut anywhere, the state moved between contexts ----

// Runs one message as a stream of random pieces; after every piece the
// state is saved and restored into a fresh context, which carries on.
Sealed SealMoving(uint64_t n, const genkey_t* key, const Bytes& nonce, const Bytes& aad, const Bytes& pt) {
  auto ctx = std::make_unique<Ctx>(n);
  auto move = [&] {
    const Bytes blob = Save(*ctx);
    ctx = std::make_unique<Ctx>(n);
    EXPECT_EQ(vrtAEADRestoreState(*ctx, blob.data(), blob.size()), VRT_SUCCESS);
  };
  EXPECT_EQ(vrtAEADSetNonce(*ctx, nonce.data()), VRT_SUCCESS);
  size_t at = 0;
  for (size_t piece : RandomCuts(aad.size(), 5)) {
    if (aad.empty()) break;
    EXPECT_EQ(vrtAEADEncryptUpdate(*ctx, key, aad.data() + at, piece, VRT_AEAD_KIND_AAD, nullptr, nullptr),
              VRT_SUCCESS);
    at += piece;
    move();
  }
  Sealed s{Bytes(pt.size() + n), Bytes(n)};
  size_t written = 0;
  at = 0;
  for (size_t piece : RandomCuts(pt.size(), 6)) {
    if (pt.empty()) break;
    uint64_t want = 0;
    EXPECT_EQ(vrtAEADEncryptUpdate(*ctx, key, pt.data() + at, piece, VRT_AEAD_KIND_TEXT, nullptr, &want),
              VRT_SUCCESS);
    uint64_t cap = want;
    EXPECT_EQ(vrtAEADEncryptUpdate(*ctx, key, pt.data() + at, piece, VRT_AEAD_KIND_TEXT,
                                   s.text.data() + written, &cap),
              VRT_SUCCESS);
    at += piece;
    written += want;
    move();
  }
  uint64_t rest = 0;
  EXPECT_EQ(vrtAEADEncryptFinal(*ctx, key, nullptr, &rest, nullptr, 0), VRT_SUCCESS);
  EXPECT_EQ(written + rest, pt.size());
  EXPECT_EQ(vrtAEADEncryptFinal(*ctx, key, s.text.data() + written, &rest, s.tag.data(), n), VRT_SUCCESS);
  s.text.resize(pt.size());
  return s;
}

uint32_t OpenMoving(uint64_t n, const genkey_t* key, const Bytes& nonce, const Bytes& aad, const Bytes& ct,
                    const Bytes& tag, Bytes& out) {
  auto ctx = std::make_unique<Ctx>(n);
  auto move = [&] {
    const Bytes blob = Save(*ctx);
    ctx = std::make_unique<Ctx>(n);
    EXPECT_EQ(vrtAEADRestoreState(*ctx, blob.data(), blob.size()), VRT_SUCCESS);
  };
  EXPECT_EQ(vrtAEADSetNonce(*ctx, nonce.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADImitSetValue(*ctx, tag.data(), tag.size()), VRT_SUCCESS);
  size_t at = 0;
  for (size_t piece : RandomCuts(aad.size(), 5)) {
    if (aad.empty()) break;
    EXPECT_EQ(vrtAEADDecryptUpdate(*ctx, key, aad.data() + at, piece, VRT_AEAD_KIND_AAD), VRT_SUCCESS);
    at += piece;
    move();
  }
  at = 0;
  for (size_t piece : RandomCuts(ct.size(), 6)) {
    if (ct.empty()) break;
    EXPECT_EQ(vrtAEADDecryptUpdate(*ctx, key, ct.data() + at, piece, VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
    at += piece;
    // The saved state carries every ciphertext byte taken so far.
    const Bytes blob = Save(*ctx);
    EXPECT_EQ(blob.size(), 6 * n + 33 + 1 + tag.size() + 8 + at);
    move();
  }
  uint64_t size = 0;
  EXPECT_EQ(vrtAEADDecryptFinal(*ctx, key, nullptr, &size), VRT_SUCCESS);
  EXPECT_EQ(size, ct.size());
  out.resize(ct.size());
  // A null output only asks for the size, so an empty message still passes
  // a real buffer.
  uint8_t none = 0;
  return vrtAEADDecryptFinal(*ctx, key, out.empty() ? &none : out.data(), &size);
}

TEST(MgmStream, CutAnywhereAndMovedEqualsOneCall) {
  for (const uint64_t n : {16u, 8u}) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    for (int trial = 0; trial < 40; ++trial) {
      const size_t aad_len = trial % 5 == 0 ? 0 : RandomSize(0, 7 * n);
      const size_t text_len = trial % 7 == 0 && aad_len != 0 ? 0 : RandomSize(aad_len == 0 ? 1 : 0, 13 * n);
      SCOPED_TRACE(testing::Message() << "aad " << aad_len << " text " << text_len);
      const Bytes nonce = RandomBytes(n), aad = RandomBytes(aad_len), pt = RandomBytes(text_len);
      const Sealed want = Seal(n, &key.g, nonce, aad, pt);
      const Sealed got = SealMoving(n, &key.g, nonce, aad, pt);
      ASSERT_EQ(Hex(got.text), Hex(want.text));
      ASSERT_EQ(Hex(got.tag), Hex(want.tag));
      Bytes back;
      ASSERT_EQ(OpenMoving(n, &key.g, nonce, aad, want.text, want.tag, back), VRT_SUCCESS);
      ASSERT_EQ(Hex(back), Hex(pt));
    }
  }
}

// Saving does not end a decryption stream: the original context and the
// restored one both finish it to the same plaintext.
TEST(MgmStream, SavingKeepsTheContextUsable) {
  for (const uint64_t n : {16u, 8u}) {
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(9), pt = RandomBytes(4 * n + 1);
    const Sealed s = Seal(n, &key.g, nonce, aad, pt);
    Ctx a(n), b(n);
    ASSERT_EQ(vrtAEADSetNonce(a, nonce.data()), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADImitSetValue(a, s.tag.data(), n), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptUpdate(a, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptUpdate(a, &key.g, s.text.data(), 2 * n, VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
    const Bytes blob = Save(a);
    ASSERT_EQ(vrtAEADRestoreState(b, blob.data(), blob.size()), VRT_SUCCESS);
    for (AeadCtx* c : {a.c, b.c}) {
      ASSERT_EQ(vrtAEADDecryptUpdate(c, &key.g, s.text.data() + 2 * n, s.text.size() - 2 * n, VRT_AEAD_KIND_TEXT),
                VRT_SUCCESS);
      Bytes out(pt.size());
      uint64_t size = out.size();
      ASSERT_EQ(vrtAEADDecryptFinal(c, &key.g, out.data(), &size), VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(pt));
    }
  }
}

// One context, several messages: each one-call request and each new stream
// starts from its own lengths, so encrypting then decrypting on the same
// context works.
TEST(MgmStream, OneContextSeveralMessages) {
  for (const uint64_t n : {16u, 8u}) {
    Key key(RandomBytes(32));
    Ctx ctx(n);
    for (int m = 0; m < 3; ++m) {
      const Bytes nonce = RandomBytes(n), aad = RandomBytes(RandomSize(0, 40)), pt = RandomBytes(RandomSize(1, 90));
      const Sealed want = Seal(n, &key.g, nonce, aad, pt);
      ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
      Bytes out(pt.size());
      ASSERT_EQ(vrtAEADEncryptSimple(ctx, &key.g, pt.data(), out.data(), pt.size(), aad.data(), aad.size()),
                VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(want.text));
      ASSERT_EQ(vrtAEADImitSetValue(ctx, want.tag.data(), n), VRT_SUCCESS);
      ASSERT_EQ(vrtAEADDecryptSimple(ctx, &key.g, want.text.data(), out.data(), pt.size(), aad.data(), aad.size()),
                VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(pt));
      // And as a stream on the same context.
      ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD, nullptr, nullptr),
                VRT_SUCCESS);
      uint64_t cap = out.size();
      ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, out.data(), &cap),
                VRT_SUCCESS);
      const uint64_t done = (pt.size() - 1) / n * n;
      cap = out.size() - done;
      Bytes tag(n);
      ASSERT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data() + done, &cap, tag.data(), n), VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(want.text));
      EXPECT_EQ(Hex(tag), Hex(want.tag));
    }
  }
}

// The whole mode on the portable multiplication equals the mode on the
// carry-less one.
TEST(MgmField, ModeOnEitherVariantIsTheSame) {
  if (!HaveClmul()) GTEST_SKIP() << "no PCLMULQDQ on this processor";
  for (const uint64_t n : {16u, 8u}) {
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(77), pt = RandomBytes(1000);
    vrt::cipher15::mgm_arch_init(0);
    const Sealed portable = Seal(n, &key.g, nonce, aad, pt);
    vrt::cipher15::mgm_arch_init(vrtpInstance.cpu_enabled);
    const Sealed clmul = Seal(n, &key.g, nonce, aad, pt);
    EXPECT_EQ(Hex(clmul.text), Hex(portable.text));
    EXPECT_EQ(Hex(clmul.tag), Hex(portable.tag));
  }
}

TEST(Mgm, SelfTest) { EXPECT_EQ(aead_self_test(&vrtpInstance), VRT_SUCCESS); }

}  // namespace
