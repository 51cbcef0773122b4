// The reference engine's own Montgomery field: residues modulo an odd m of
// at most N bits, built at run time from whatever record the caller hands
// the reference code. An element is N/64 little-endian 64-bit words (the
// byte layout of the dispatch table's word arrays) holding x*R mod m with
// R = 2^N, always below m. Sums and differences go through the dispatch
// table; the product is a plain product-scanning Montgomery multiplication
// with a 128-bit accumulator and a carry word, independent of the signer
// engine's field code.
//
// Timing: not constant-time. The final subtraction of the product and every
// helper branch on the values; the reference code that uses it is not
// constant-time either.
#pragma once

#include <cstdint>
#include <cstring>

#include "vrt.h"

namespace vrt::signer::reference {

template <int N>
class MontField {
 public:
  static constexpr int kWords = N / 64;
  using Elem = uint64_t[kWords];

  // False when m is even or below 3: no Montgomery form exists for it.
  bool init(const vrtp_arch_table_t& table, const void* modulus) {
    t_ = &table;
    std::memcpy(m_, modulus, sizeof m_);
    if ((m_[0] & 1) == 0) return false;
    bool small = m_[0] < 3;
    for (int i = 1; i < kWords; ++i) small = small && m_[i] == 0;
    if (small) return false;
    // -m^-1 mod 2^64 by Newton's iteration: m*m = 1 mod 8 seeds three
    // correct bits, each step doubles them.
    uint64_t inv = m_[0];
    for (int i = 0; i < 5; ++i) inv *= 2 - m_[0] * inv;
    m_inv_ = 0 - inv;
    // R mod m and R^2 mod m by doubling 1, N and then N more times.
    Elem x = {1};
    for (int i = 0; i < N; ++i) add(x, x, x);
    std::memcpy(one_, x, sizeof x);
    for (int i = 0; i < N; ++i) add(x, x, x);
    std::memcpy(r2_, x, sizeof x);
    return true;
  }

  const uint64_t* modulus() const { return m_; }
  const uint64_t* one() const { return one_; }

  // r = a + b and r = a - b modulo m, for a, b < m; r may alias either.
  void add(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
    if (N == 256)
      t_->add256_mod(r, a, b, m_);
    else
      t_->add512_mod(r, a, b, m_);
  }
  void sub(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
    if (N == 256)
      t_->sub256_mod(r, a, b, m_);
    else
      t_->sub512_mod(r, a, b, m_);
  }

  // r = a*b/R mod m, for a, b < m; r may alias either operand. Product
  // scanning: column i of a*b and of u*m (u the Montgomery digits) is summed
  // in a three-word accumulator; in the low columns the digit u[i] that
  // clears the column is chosen as it completes, the high columns are the
  // result. No partial row is ever stored and reloaded.
  void mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
    using u128 = unsigned __int128;
    constexpr int n = kWords;
    uint64_t u[n], t[n];
    u128 lo = 0;  // the accumulator: hi:lo
    uint64_t hi = 0;
    auto mac = [&lo, &hi](uint64_t x, uint64_t y) {
      const u128 p = static_cast<u128>(x) * y;
      lo += p;
      hi += lo < p;
    };
    auto next_column = [&lo, &hi] {
      lo = (lo >> 64) | (static_cast<u128>(hi) << 64);
      hi = 0;
    };
#pragma GCC unroll 8
    for (int i = 0; i < n; ++i) {
#pragma GCC unroll 8
      for (int j = 0; j < i; ++j) {
        mac(a[j], b[i - j]);
        mac(u[j], m_[i - j]);
      }
      mac(a[i], b[0]);
      u[i] = static_cast<uint64_t>(lo) * m_inv_;
      mac(u[i], m_[0]);  // the column's low word is now 0
      next_column();
    }
#pragma GCC unroll 8
    for (int i = n; i < 2 * n; ++i) {
#pragma GCC unroll 8
      for (int j = i - n + 1; j < n; ++j) {
        mac(a[j], b[i - j]);
        mac(u[j], m_[i - j]);
      }
      t[i - n] = static_cast<uint64_t>(lo);
      next_column();
    }
    // t + 2^N * top < 2m: one subtraction at most.
    const uint64_t top = static_cast<uint64_t>(lo);
    uint64_t d[n];
    uint64_t borrow = 0;
    for (int j = 0; j < n; ++j) {
      const u128 diff = static_cast<u128>(t[j]) - m_[j] - borrow;
      d[j] = static_cast<uint64_t>(diff);
      borrow = static_cast<uint64_t>(diff >> 64) & 1;
    }
    std::memcpy(r, top != 0 || borrow == 0 ? d : t, sizeof(Elem));
  }
  void sqr(uint64_t* r, const uint64_t* a) const { mul(r, a, a); }

  // Into and out of Montgomery form, for a plain a < m.
  void to_mont(uint64_t* r, const uint64_t* a) const { mul(r, a, r2_); }
  void from_mont(uint64_t* r, const uint64_t* a) const {
    const Elem plain_one = {1};
    mul(r, a, plain_one);
  }

  // r = 1/a mod m as a^(m-2) (m prime), in Montgomery form; 0 for a = 0.
  void inv(uint64_t* r, const uint64_t* a) const {
    Elem e, acc;
    const Elem two = {2};
    std::memcpy(e, m_, sizeof e);
    if (N == 256)
      t_->sub256(e, e, two, 0);
    else
      t_->sub512(e, e, two, 0);
    std::memcpy(acc, one_, sizeof acc);
    for (int i = N - 1; i >= 0; --i) {
      sqr(acc, acc);
      if ((e[i / 64] >> (i % 64)) & 1) mul(acc, acc, a);
    }
    std::memcpy(r, acc, sizeof acc);
  }

  static bool is_zero(const uint64_t* a) {
    uint64_t acc = 0;
    for (int i = 0; i < kWords; ++i) acc |= a[i];
    return acc == 0;
  }
  static bool equal(const uint64_t* a, const uint64_t* b) { return std::memcmp(a, b, sizeof(Elem)) == 0; }

 private:
  const vrtp_arch_table_t* t_ = nullptr;
  Elem m_ = {};
  uint64_t m_inv_ = 0;
  Elem one_ = {};
  Elem r2_ = {};
};

}  // namespace vrt::signer::reference
