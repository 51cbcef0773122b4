// The reference engine's own Montgomery field: residues modulo an odd m of
// at most N bits, built at run time from whatever record the caller hands
// the reference code. An element is N/64 little-endian 64-bit words (the
// byte layout of the dispatch table's word arrays) holding x*R mod m with
// R = 2^N, always below m. Sums and differences go through the dispatch
// table; the product is a plain word-by-word (CIOS) Montgomery
// multiplication with 128-bit accumulators, independent of the signer
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

  // r = a*b/R mod m, for a, b < m; r may alias either operand.
  void mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
    using u128 = unsigned __int128;
    uint64_t t[kWords + 2] = {};
    for (int i = 0; i < kWords; ++i) {
      uint64_t carry = 0;
      for (int j = 0; j < kWords; ++j) {
        const u128 s = static_cast<u128>(a[j]) * b[i] + t[j] + carry;
        t[j] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
      }
      u128 s = static_cast<u128>(t[kWords]) + carry;
      t[kWords] = static_cast<uint64_t>(s);
      t[kWords + 1] = static_cast<uint64_t>(s >> 64);
      // Add u*m so that the lowest word vanishes, and shift it out.
      const uint64_t u = t[0] * m_inv_;
      s = static_cast<u128>(u) * m_[0] + t[0];
      carry = static_cast<uint64_t>(s >> 64);
      for (int j = 1; j < kWords; ++j) {
        s = static_cast<u128>(u) * m_[j] + t[j] + carry;
        t[j - 1] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
      }
      s = static_cast<u128>(t[kWords]) + carry;
      t[kWords - 1] = static_cast<uint64_t>(s);
      t[kWords] = t[kWords + 1] + static_cast<uint64_t>(s >> 64);
    }
    // t < 2m: one subtraction at most.
    if (t[kWords] != 0 || !below_modulus(t)) sub_modulus(t);
    std::memcpy(r, t, sizeof(Elem));
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
  bool below_modulus(const uint64_t* a) const {
    return (N == 256 ? t_->cmp256(a, m_) : t_->cmp512(a, m_)) == 0;
  }
  void sub_modulus(uint64_t* a) const {
    if (N == 256)
      t_->sub256(a, a, m_, 0);
    else
      t_->sub512(a, a, m_, 0);
  }

  const vrtp_arch_table_t* t_ = nullptr;
  Elem m_ = {};
  uint64_t m_inv_ = 0;
  Elem one_ = {};
  Elem r2_ = {};
};

}  // namespace vrt::signer::reference
