// The known-answer self-test of the reference implementation: the two
// signature examples of GOST R 34.10-2012, two further stored signature
// cases on CryptoPro XchA and TC26 512-bit B, and the two VKO examples of
// RFC 7836 on TC26 512-bit A. Numbers printed most significant digit first
// are stored little-endian (hex_bytes reversed); signatures are s then r,
// each big-endian, as the signer writes them.
#include <cstring>

#include "frame/bytes.h"
#include "frame/selftest.h"
#include "pubkey/internal.h"
#include "pubkey/signer/secret.h"
#include "vrt.h"

namespace vrt::signer {

namespace {

template <size_t N>
struct Concat {
  uint8_t b[2 * N];
};

template <size_t N>
constexpr Concat<N> concat(const HexBytes<N>& first, const HexBytes<N>& second) {
  Concat<N> r{};
  for (size_t i = 0; i < N; ++i) {
    r.b[i] = first.b[i];
    r.b[N + i] = second.b[i];
  }
  return r;
}

// Example 1: 256-bit keys on the test curve of GOST R 34.10-2001.
constexpr auto kS1D = hex_bytes<32>("7a929ade789bb9be10ed359dd39a72c11b60961f49397eee1d19ce9891ec3b28", true);
constexpr auto kS1E = hex_bytes<32>("2dfbc1b372d89a1188c09c52e0eec61fce52032ab1022e8e67ece6672b043ee5", true);
constexpr auto kS1K = hex_bytes<32>("77105c9b20bcd3122823c8cf6fcc7b956de33814e95b7fe64fed924594dceab3", true);
constexpr auto kS1Q = concat(hex_bytes<32>("7f2b49e270db6d90d8595bec458b50c58585ba1d4e9b788f6689dbd8e56fd80b", true),
                             hex_bytes<32>("26f1b489d6701dd185c8413a977b3cbbaf64d1c593d26627dffb101a87ff77da", true));
constexpr auto kS1Sig = concat(hex_bytes<32>("01456c64ba4642a1653c235a98a60249bcd6d3f746b631df928014f6c5bf9c40"),
                               hex_bytes<32>("41aa28d2f1ab148280cd9ed56feda41974053554a42767b83ad043fd39dc0493"));

// Example 2: 512-bit keys on the TC26 512-bit test curve.
constexpr auto kS2D = hex_bytes<64>(
    "0ba6048aadae241ba40936d47756d7c93091a0e8514669700ee7508e508b102072e8123b2200a0563322dad2827e2714a2636b7bfd18aad"
    "fc62967821fa18dd4",
    true);
constexpr auto kS2E = hex_bytes<64>(
    "3754f3cfacc9e0615c4f4a7c4d8dab531b09b6f9c170c533a71d147035b0c5917184ee536593f4414339976c647c5d5a407adedb1d560c4"
    "fc6777d2972075b8c",
    true);
constexpr auto kS2K = hex_bytes<64>(
    "0359e7f4b1410feacc570456c6801496946312120b39d019d455986e364f365886748ed7a44b3e794434006011842286212273a6d14cf70"
    "ea3af71bb1ae679f1",
    true);
constexpr auto kS2Q = concat(hex_bytes<64>("115dc5bc96760c7b48598d8ab9e740d4c4a85a65be33c1815b5c320c854621dd5a515856d13"
                                           "314af69bc5b924c8b4ddff75c45415c1d9dd9dd33612cd530efe1",
                                           true),
                             hex_bytes<64>("37c7c90cd40b0f5621dc3ac1b751cfa0e2634fa0503b3d52639f5d7fb72afd61ea199441d94"
                                           "3ffe7f0c70a2759a3cdb84c114e1f9339fdf27f35eca93677beec",
                                           true));
constexpr auto kS2Sig = concat(hex_bytes<64>("1081b394696ffe8e6585e7a9362d26b6325f56778aadbc081c0bfbe933d52ff5823ce288e"
                                             "8c4f362526080df7f70ce406a6eeb1f56919cb92a9853bde73e5b4a"),
                               hex_bytes<64>("2f86fa60a081091a23dd795e1e3c689ee512a3c82ee0dcc2643c78eea8fcacd35492558486"
                                             "b20f1c9ec197c90699850260c93bcbcd9c5c3317e19344e173ae36"));

// Stored case on CryptoPro XchA (the CryptoPro A curve): key, digest and
// nonce drawn at random once, the results recorded from this code and
// checked against two other implementations by the test suite.
constexpr auto kS3D = hex_bytes<32>("9aac2ae93339d89e915334ffa5688733ef5e9f4ed972beffba8d5e5fe185a6ea", true);
constexpr auto kS3E = hex_bytes<32>("a99452806f1da1552657df923d11f990feb98b35961458bce334773ad72ca421", true);
constexpr auto kS3K = hex_bytes<32>("e7efccc034628bdfbcc16d67e71f5adcebdf88cdb0f4652aab5e7e6a93b9afe1", true);
constexpr auto kS3Q = concat(hex_bytes<32>("5b9e78c16ed6a92b339ae11b5fb09b27a02aa8f83360c985e7a3f12828962825", true),
                             hex_bytes<32>("3589c9b480c5c5c9a958fbfc2928fb146e56f2645c5fb2e6afbb9dfe0fa0febf", true));
constexpr auto kS3Sig = concat(hex_bytes<32>("afcb559508a3bd3f6995dc87eb6faa8b51e80680213d96efe349343e8a8071f6"),
                               hex_bytes<32>("9caaf94cc6d632059d0f1079befbb6006c39c3072693a5174a37fdab9002016f"));

// Stored case on TC26 512-bit B, made the same way.
constexpr auto kS4D = hex_bytes<64>(
    "5f70a36aa59fdc6bc333ae03699ea3e8fefa093c86c99e74bd6874a6ed0de5297acf986df56f63d83faaa08c2721fcc52f3d4c993b83299"
    "569b75a6ec235b92c",
    true);
constexpr auto kS4E = hex_bytes<64>(
    "5577efc3ff2883b826b7652eb5686ff444eff59bd0db74c01dbb3736355edb4a126c58de755144f488e4c6a1427580b55bc446469634f56"
    "487130318a0b06d6c",
    true);
constexpr auto kS4K = hex_bytes<64>(
    "3978c6a9829b6f8e6b3231264fb537472952a9df65a3c9e12ad3c6283418b21257c92f9f39e0493610200341f47aa835b49d1fffc55b4e5"
    "907ab3c1947e1fbff",
    true);
constexpr auto kS4Q = concat(hex_bytes<64>("6a44ccd1811f11363ede0e19a0844d934b2460da46fa6183e26f653a1bf3cece84e5b78b09fb"
                                           "854b1275201fd6ebcaab2377e3a03efc212c9e36e7ce0a3d4c06",
                                           true),
                             hex_bytes<64>("7acbd9917bfaa364fd694054541b2766bce83ab38b8c9adf0de48e168a7f156dc1b2c51a8bff"
                                           "46d662fbe790d4a1e5453b8e1bddf40e3676ce84f26fed39cc64",
                                           true));
constexpr auto kS4Sig = concat(hex_bytes<64>("09458cd89def36b99f96df9ac7bdee27295d3c2d724938fad0b4d2793cb890675840bd4bd34b"
                                             "83babedffdd93289d998e6ed1b090213f860e7f76aaff8c1f88d"),
                               hex_bytes<64>("465d05925836c60bd490b0c10a6adeea46cecc8e81b8c56f3ad0b63dd05a8ba66019dffbf90f"
                                             "fc7354caf6b62f4d974935cfacbcededd38913bfc5310a341501"));

// RFC 7836 key agreement, 512-bit keys on TC26 512-bit A: byte strings as
// published (numbers little-endian already).
constexpr auto kVkoUkm = hex_bytes<8>("1d80603c8544c727");
constexpr auto kVkoDA = hex_bytes<64>(
    "c990ecd972fce84ec4db022778f50fcac726f46708384b8d458304962d7147f8c2db41cef22c90b102f2968404f9b9be6d47c79692d81826b"
    "32b8daca43cb667");
constexpr auto kVkoQA = hex_bytes<128>(
    "aab0eda4abff21208d18799fb9a8556654ba783070eba10cb9abb253ec56dcf5d3ccba6192e464e6e5bcb6dea137792f2431f6c897eb1b3c0"
    "cc14327b1adc0a7914613a3074e363aedb204d38d3563971bd8758e878c9db11403721b48002d38461f92472d40ea92f9958c0ffa4c937564"
    "01b97f89fdbe0b5e46e4a4631cdb5a");
constexpr auto kVkoDB = hex_bytes<64>(
    "48c859f7b6f11585887cc05ec6ef1390cfea739b1a18c0d4662293ef63b79e3b8014070b44918590b4b996acfea4edfbbbcccc8c06edd8bf5"
    "bda92a51392d0db");
constexpr auto kVkoQB = hex_bytes<128>(
    "192fe183b9713a077253c72c8735de2ea42a3dbc66ea317838b65fa32523cd5efca974eda7c863f4954d1147f1f2b25c395fce1c129175e87"
    "6d132e94ed5a65104883b414c9b592ec4dc84826f07d0b6d9006dda176ce48c391e3f97d102e03bb598bf132a228a45f7201aba08fc524a2d"
    "77e43a362ab022ad4028f75bde3b79");
constexpr auto kVko256 = hex_bytes<32>("c9a9a77320e2cc559ed72dce6f47e2192ccea95fa648670582c054c0ef36c221");
constexpr auto kVko512 = hex_bytes<64>(
    "79f002a96940ce7bde3259a52e015297adaad84597a0d205b50e3e1719f97bfa7ee1d2661fa9979a5aa235b558a7e6d9f88f982dd63fc35a8"
    "ec0dd5e242d3bdf");

}  // namespace

uint32_t run_sign_self_test_case(const SignSelfTestCase& c) {
  if (c.par == nullptr || (c.par->bits != 256 && c.par->bits != 512)) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t len = c.par->bits / 8;
  uint8_t pub[128], sig[128];
  uint32_t st = sign2012_generate_pair_example(c.secret, pub, c.par);
  if (st != VRT_SUCCESS) return st;
  st = selftest_compare(pub, c.public_key, 2 * len);
  if (st != VRT_SUCCESS) return st;

  Sign2012Ctx* ctx = nullptr;
  st = sign2012_ctx_alloc(&ctx, len, 0, 2 * len, len);
  if (st != VRT_SUCCESS) return st;
  binstr_t secret, public_key, nonce;
  __binstr_init(&secret, const_cast<uint8_t*>(c.secret), len);
  __binstr_init(&public_key, const_cast<uint8_t*>(c.public_key), 2 * len);
  __binstr_init(&nonce, const_cast<uint8_t*>(c.nonce), len);
  st = __sign2012_ctx_init(ctx, c.par);
  if (st == VRT_SUCCESS) st = sign2012_info_load(ctx, &secret, nullptr, &public_key, &nonce);
  if (st == VRT_SUCCESS) st = sign2012_sign(ctx, c.digest, sig);
  if (st == VRT_SUCCESS) st = selftest_compare(sig, c.signature, 2 * len);
  if (st == VRT_SUCCESS) st = sign2012_verify(ctx, c.digest, c.signature);
  sign2012_ctx_free(ctx);
  return st;
}

uint32_t run_vko_self_test_case(const VkoSelfTestCase& c) {
  uint8_t out[64];
  uint32_t st = sign2012_VKO_example(c.ukm, c.ukm_len, c.secret_a, c.public_b, c.out_len, c.par, out);
  if (st == VRT_SUCCESS) st = selftest_compare(out, c.expected, c.out_len);
  if (st == VRT_SUCCESS) st = sign2012_VKO_example(c.ukm, c.ukm_len, c.secret_b, c.public_a, c.out_len, c.par, out);
  if (st == VRT_SUCCESS) st = selftest_compare(out, c.expected, c.out_len);
  wipe(out, sizeof out);
  return st;
}

}  // namespace vrt::signer

extern "C" {

VRT_API uint32_t sign2012_self_test(vrtp_instance_t*) {
  using vrt::signer::SignSelfTestCase;
  using vrt::signer::VkoSelfTestCase;
  const SignSelfTestCase sign_cases[] = {
      {&gost3410_param_GostR3410_2001_CryptoPro_TestParamSet, vrt::signer::kS1D.b, vrt::signer::kS1Q.b,
       vrt::signer::kS1E.b, vrt::signer::kS1K.b, vrt::signer::kS1Sig.b},
      {&gost3410_param_tc26_gost_3410_12_512_paramSetTest, vrt::signer::kS2D.b, vrt::signer::kS2Q.b,
       vrt::signer::kS2E.b, vrt::signer::kS2K.b, vrt::signer::kS2Sig.b},
      {&gost3410_param_GostR3410_2001_CryptoPro_XchA_ParamSet, vrt::signer::kS3D.b, vrt::signer::kS3Q.b,
       vrt::signer::kS3E.b, vrt::signer::kS3K.b, vrt::signer::kS3Sig.b},
      {&gost3410_param_tc26_gost_3410_12_512_paramSetB, vrt::signer::kS4D.b, vrt::signer::kS4Q.b,
       vrt::signer::kS4E.b, vrt::signer::kS4K.b, vrt::signer::kS4Sig.b},
  };
  const VkoSelfTestCase vko_cases[] = {
      {&gost3410_param_tc26_gost_3410_12_512_paramSetA, vrt::signer::kVkoUkm.b, sizeof vrt::signer::kVkoUkm.b,
       vrt::signer::kVkoDA.b, vrt::signer::kVkoQA.b, vrt::signer::kVkoDB.b, vrt::signer::kVkoQB.b, 32,
       vrt::signer::kVko256.b},
      {&gost3410_param_tc26_gost_3410_12_512_paramSetA, vrt::signer::kVkoUkm.b, sizeof vrt::signer::kVkoUkm.b,
       vrt::signer::kVkoDA.b, vrt::signer::kVkoQA.b, vrt::signer::kVkoDB.b, vrt::signer::kVkoQB.b, 64,
       vrt::signer::kVko512.b},
  };
  for (const auto& c : sign_cases) {
    uint32_t st = vrt::signer::run_sign_self_test_case(c);
    if (st != VRT_SUCCESS) return st;
  }
  for (const auto& c : vko_cases) {
    uint32_t st = vrt::signer::run_vko_self_test_case(c);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // extern "C"
