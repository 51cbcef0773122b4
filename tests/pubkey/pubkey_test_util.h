// Helpers of the public-key suites: both integer paths, random numbers of
// awkward shapes, and conversions to GMP for the reference results.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "pubkey/math/int.h"
#include "vrt.h"

#if defined(VRT_HAVE_GMP)
#include <gmp.h>
#endif

namespace vrt::test {

inline bool HaveBmi2() { return (vrtpInstance.cpu_enabled & VRT_CPU_BMI2) != 0; }
inline bool HaveAdx() { return HaveBmi2() && (vrtpInstance.cpu_enabled & VRT_CPU_ADX) != 0; }

// Sets vrt::flags::supported_asm, and supported_adx (the MULX and ADCX/ADOX
// Montgomery products on top of the BMI2 routines), for a scope.
class AsmPath {
 public:
  explicit AsmPath(bool on, bool adx = false)
      : saved_(vrt::flags::supported_asm), saved_adx_(vrt::flags::supported_adx) {
    vrt::flags::supported_asm = on;
    vrt::flags::supported_adx = on && adx;
  }
  ~AsmPath() {
    vrt::flags::supported_asm = saved_;
    vrt::flags::supported_adx = saved_adx_;
  }
  AsmPath(const AsmPath&) = delete;
  AsmPath& operator=(const AsmPath&) = delete;

 private:
  bool saved_, saved_adx_;
};

// Runs body on the portable path, then on the BMI2 path and the BMI2 + ADX
// path where the processor has them.
template <typename Body>
void ForEachPath(Body body) {
  for (int path = 0; path < 3; ++path) {
    if ((path == 1 && !HaveBmi2()) || (path == 2 && !HaveAdx())) continue;
    AsmPath set(path >= 1, path == 2);
    SCOPED_TRACE(path == 0 ? "portable path" : path == 1 ? "BMI2 path" : "BMI2 + ADX path");
    body();
  }
}

template <int N>
std::string HexInt(const vrt::math::Int<N>& v) {
  uint8_t be[N / 8];
  v.to_be_bytes(be, sizeof be);
  return Hex(be, sizeof be);
}

template <int N>
vrt::math::Int<N> IntFromHex(const std::string& hex) {
  Bytes b = FromHex(hex);
  return vrt::math::Int<N>::from_be_bytes(b.data(), b.size());
}

// Random numbers of the shapes arithmetic gets wrong: uniform, short (leading
// zero words), all ones, a single bit, a power of two minus one, a few small
// values, words at the digit boundaries, runs of zero words in the middle.
template <int N>
vrt::math::Int<N> RandomInt() {
  using I = vrt::math::Int<N>;
  constexpr int K = I::kWords;
  I r;
  auto& rng = Rng();
  switch (rng() % 9) {
    case 0:
    case 1:
      for (int i = 0; i < K; ++i) r.words[i] = rng();
      break;
    case 2: {
      int words = 1 + static_cast<int>(rng() % K);
      for (int i = 0; i < words; ++i) r.words[i] = rng();
      r.words[words - 1] >>= rng() % 64;
      break;
    }
    case 3:
      for (int i = 0; i < K; ++i) r.words[i] = ~uint64_t{0};
      break;
    case 4:
      r.set_bit(static_cast<int>(rng() % N));
      break;
    case 5: {
      int bits = static_cast<int>(rng() % N) + 1;
      for (int i = 0; i < bits; ++i) r.set_bit(i);
      break;
    }
    case 6:
      r.words[0] = rng() % 4;
      break;
    case 7: {
      // Words near the digit boundaries, zero words on top: these send long
      // division through its rare correction steps.
      static const uint64_t kDigits[] = {0, 1, 2, uint64_t{1} << 63, (uint64_t{1} << 63) - 1,
                                         (uint64_t{1} << 63) + 1, ~uint64_t{0}, ~uint64_t{1}};
      const int top = static_cast<int>(rng() % K);
      for (int i = 0; i < K - top; ++i) r.words[i] = kDigits[rng() % 8];
      break;
    }
    default:
      for (int i = 0; i < K; ++i) r.words[i] = (rng() % 3 == 0) ? 0 : rng();
      break;
  }
  return r;
}

// Uniform below bound (bound > 0).
template <int N>
vrt::math::Int<N> RandomBelow(const vrt::math::Int<N>& bound) {
  using I = vrt::math::Int<N>;
  const int bits = bound.bit_length();
  for (;;) {
    I r;
    for (int i = 0; i < I::kWords; ++i) r.words[i] = Rng()();
    vrt::math::detail::shr_words<I::kWords>(r.words, static_cast<uint64_t>(N - bits));
    if (r < bound) return r;
  }
}

#if defined(VRT_HAVE_GMP)
// A GMP integer that clears itself.
class Mpz {
 public:
  Mpz() { mpz_init(v_); }
  explicit Mpz(unsigned long x) { mpz_init_set_ui(v_, x); }
  template <int N>
  explicit Mpz(const vrt::math::Int<N>& x) {
    mpz_init(v_);
    mpz_import(v_, vrt::math::Int<N>::kWords, -1, 8, 0, 0, x.words);
  }
  explicit Mpz(const std::string& hex) { mpz_init_set_str(v_, hex.c_str(), 16); }
  ~Mpz() { mpz_clear(v_); }
  Mpz(const Mpz& o) { mpz_init_set(v_, o.v_); }
  Mpz& operator=(const Mpz& o) {
    mpz_set(v_, o.v_);
    return *this;
  }
  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }
  operator mpz_ptr() { return v_; }
  operator mpz_srcptr() const { return v_; }

  // The value in N bits; fails the test when it does not fit.
  template <int N>
  vrt::math::Int<N> ToInt() const {
    vrt::math::Int<N> r;
    EXPECT_GE(mpz_sgn(v_), 0);
    EXPECT_LE(mpz_sizeinbase(v_, 2), size_t{N});
    if (mpz_sgn(v_) >= 0 && mpz_sizeinbase(v_, 2) <= size_t{N}) {
      size_t count = 0;
      mpz_export(r.words, &count, -1, 8, 0, 0, v_);
    }
    return r;
  }
  std::string Hex() const {
    char* s = mpz_get_str(nullptr, 16, v_);
    std::string r(s);
    void (*freefunc)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(s, r.size() + 1);
    return r;
  }

 private:
  mpz_t v_;
};
#endif

}  // namespace vrt::test
