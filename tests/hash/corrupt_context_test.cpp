// Hash and HMAC contexts live in caller memory: a field no call could have
// left there (a buffer count past the block, an unknown digest size, an S-box
// set that is not one, an inner digest of the wrong size) is refused with 3
// by Update and Finalize, which then write nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;

const Bytes kData = RandomBytes(45);

struct Corruption {
  const char* what;
  std::function<void(uint8_t* ctx)> apply;
};

// ctx is set up by start, corrupted, then Update and Finalize must give 3
// and leave the output as it was.
template <class Ctx>
void ExpectRefused(const std::function<void(Ctx*)>& start, const std::vector<Corruption>& cases,
                   const std::function<uint32_t(Ctx*, const uint8_t*, uint64_t)>& update,
                   const std::function<uint32_t(Ctx*, uint8_t*)>& finalize) {
  for (const Corruption& c : cases) {
    Ctx ctx;
    start(&ctx);
    c.apply(reinterpret_cast<uint8_t*>(&ctx));
    EXPECT_EQ(update(&ctx, kData.data(), kData.size()), VRT_ERROR_INVALID_ARGUMENT) << c.what;
    Bytes out(96, 0xa5);
    EXPECT_EQ(finalize(&ctx, out.data()), VRT_ERROR_INVALID_ARGUMENT) << c.what;
    EXPECT_EQ(Hex(out), Hex(Bytes(96, 0xa5))) << c.what << ": output written";
  }
}

TEST(CorruptContext, StreebogRefusesImpossibleFields) {
  for (uint32_t bits : {256u, 512u}) {
    auto set = [](uint64_t hash2012_ctx_t::*field, uint64_t v) {
      return [field, v](uint8_t* p) { reinterpret_cast<hash2012_ctx_t*>(p)->*field = v; };
    };
    ExpectRefused<hash2012_ctx_t>(
        [&](hash2012_ctx_t* c) {
          ASSERT_EQ(vrtGostHash2012Init(c, bits), VRT_SUCCESS);
          ASSERT_EQ(vrtGostHash2012Update(c, kData.data(), 7), VRT_SUCCESS);
        },
        {{"buffered 64", set(&hash2012_ctx_t::buffered, 64)},
         {"buffered 200", set(&hash2012_ctx_t::buffered, 200)},
         {"buffered 2^63", set(&hash2012_ctx_t::buffered, uint64_t{1} << 63)},
         {"digest size 0", set(&hash2012_ctx_t::digest_bits, 0)},
         {"digest size 384", set(&hash2012_ctx_t::digest_bits, 384)}},
        vrtGostHash2012Update, vrtGostHash2012Finalize);
  }
}

TEST(CorruptContext, Gost94RefusesImpossibleFields) {
  static gost89_sbox_t unset{};  // never initialised
  auto buffered = [](uint64_t v) { return [v](uint8_t* p) { reinterpret_cast<hash94_ctx_t*>(p)->buffered = v; }; };
  auto sbox = [](const gost89_sbox_t* s) {
    return [s](uint8_t* p) { reinterpret_cast<hash94_ctx_t*>(p)->sbox = s; };
  };
  ExpectRefused<hash94_ctx_t>(
      [](hash94_ctx_t* c) {
        ASSERT_EQ(vrtGostHash94Init(c, 0, nullptr), VRT_SUCCESS);
        ASSERT_EQ(vrtGostHash94Update(c, kData.data(), 5), VRT_SUCCESS);
      },
      {{"buffered 33", buffered(33)},
       {"buffered 200", buffered(200)},
       {"no S-box set", sbox(nullptr)},
       {"an S-box set never initialised", sbox(&unset)}},
      vrtGostHash94Update, vrtGostHash94Finalize);
}

TEST(CorruptContext, HmacFinalsRefuseImpossibleFields) {
  const Bytes k = RandomBytes(32);
  binstr_t key{k.size(), const_cast<uint8_t*>(k.data())};
  auto update = [](uint8_t* c, const uint8_t* d, uint64_t n) {
    binstr_t b{n, const_cast<uint8_t*>(d)};
    return vrtHMACUpdate(c, &b);
  };
  struct Alg {
    uint32_t id;
    std::vector<Corruption> cases;
  };
  auto h2012 = [](uint8_t* p) { return &reinterpret_cast<hmac_ctx_t*>(p)->hash.h2012; };
  auto h94 = [](uint8_t* p) { return &reinterpret_cast<hmac_ctx_t*>(p)->hash.h94; };
  const Alg algs[] = {
      {VRT_ALG_HMAC2012_256,
       {{"buffered 200", [&](uint8_t* p) { h2012(p)->buffered = 200; }},
        {"a 512-bit inner digest for a 256-bit MAC", [&](uint8_t* p) { h2012(p)->digest_bits = 512; }},
        {"digest size 0", [&](uint8_t* p) { h2012(p)->digest_bits = 0; }}}},
      {VRT_ALG_HMAC2012_512,
       {{"buffered 64", [&](uint8_t* p) { h2012(p)->buffered = 64; }},
        {"a 256-bit inner digest for a 512-bit MAC", [&](uint8_t* p) { h2012(p)->digest_bits = 256; }}}},
      {VRT_ALG_HMAC94,
       {{"buffered 200", [&](uint8_t* p) { h94(p)->buffered = 200; }},
        {"no S-box set", [&](uint8_t* p) { h94(p)->sbox = nullptr; }},
        {"another S-box set", [&](uint8_t* p) { h94(p)->sbox = &vrtpGost89SboxGostR3411_94_TestParamSet; }}}},
  };
  for (const Alg& a : algs) {
    SCOPED_TRACE(a.id);
    ExpectRefused<hmac_ctx_t>(
        [&](hmac_ctx_t* c) {
          ASSERT_EQ(vrtHMACInit(reinterpret_cast<uint8_t*>(c), &key, a.id), VRT_SUCCESS);
          ASSERT_EQ(update(reinterpret_cast<uint8_t*>(c), kData.data(), 3), VRT_SUCCESS);
        },
        a.cases, [&](hmac_ctx_t* c, const uint8_t* d, uint64_t n) { return update(reinterpret_cast<uint8_t*>(c), d, n); },
        [](hmac_ctx_t* c, uint8_t* mac) { return vrtHMACFinalize(reinterpret_cast<uint8_t*>(c), mac); });
  }
}

}  // namespace
