// Fixed-base tables: every multiple b * 2^(w*i) * B of a base point B for
// each window position i and window value b, so that k*B costs one mixed
// addition per non-zero window and no doubling.
//
// The object holds only the table address, the curve and the Montgomery
// context (32 bytes with its vtable); see Precomp in point.h for who owns
// what.
//
// Timing: the multiplication reads the entries its scalar's windows select,
// so its memory accesses depend on the scalar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "pubkey/ec/point.h"

namespace vrt::ec {

// Window width W bits: N/W positions of 2^W entries, entry (i, b) at index
// i * 2^W + b, affine (entry (i, 0) is the point at infinity).
template <int N, int W>
class PrecompWindow : public Precomp<N> {
  static_assert(64 % W == 0 && W >= 8, "windows tile the 64-bit words, 256 entries or more");

 public:
  static constexpr int kWindow = W;
  static constexpr int kPositions = N / W;
  static constexpr int kEntries = 1 << W;
  static constexpr size_t kTableEntries = size_t{kPositions} * kEntries;
  static constexpr size_t kTableBytes = kTableEntries * sizeof(RawPoint<N>);

  // table: kTableBytes of memory, 8-byte aligned, filled by generate.
  explicit PrecompWindow(void* table) : Precomp<N>(table) {}

  const RawPoint<N>& entry(int position, uint32_t value) const {
    return this->table_[size_t{static_cast<uint32_t>(position)} * kEntries + value];
  }

  // Position by position: B_i = 2^(w*i)*B by w doublings of B_(i-1),
  // normalised to z = one so that every entry takes the mixed addition. The
  // entries are made in a ring of 256 points on the stack: infinity, B_i,
  // 2B_i (doubling), then entry b = entry (b-1) + B_i; each full ring is
  // normalised by one batch inversion and its affine pairs appended.
  uint32_t generate(const Point<N>& base, const MontContext<N>& ctx) override {
    this->curve_ = base.curve;
    this->mont_ = &ctx;
    Point<N> bi = base;
    bi.precomp = nullptr;
    bi.mul_mode = 0;
    bi.make_jacobian();
    Point<N> ring[256];
    for (int i = 0; i < kPositions; ++i) {
      if (i > 0)
        for (int d = 0; d < W; ++d) bi.dbl_point_jacobian();
      Point<N> step = bi;
      step.make_affine();
      step.make_jacobian();
      for (int b = 0; b < kEntries; ++b) {
        const int idx = b & 255;
        Point<N>& e = ring[idx];
        if (b == 0) {
          e = Point<N>::infinity(*base.curve, &ctx);
        } else if (b == 1) {
          e = step;
        } else if (b == 2) {
          e = step;
          e.dbl_point_jacobian();
        } else {
          e = ring[(idx + 255) & 255];
          e += step;
        }
        if (idx == 255) {
          montgomery_trick<N, 256>(ring, ctx);
          RawPoint<N>* out = this->table_ + size_t{static_cast<uint32_t>(i)} * kEntries + (b - 255);
          for (int j = 0; j < 256; ++j) new (out + j) RawPoint<N>{ring[j].x, ring[j].y};
        }
      }
    }
    return VRT_SUCCESS;
  }

  // R = infinity; for each position R += entry (i, window i of k) by mixed
  // addition, skipping the zero windows. The entries are prefetched first:
  // each lies in its own part of a large table.
  Point<N> operator*(const Int<N>& k) const override {
    if (this->curve_ == nullptr) return Point<N>();
    uint32_t win[kPositions];
    const RawPoint<N>* e[kPositions];
    for (int i = 0; i < kPositions; ++i) {
      win[i] = static_cast<uint32_t>(k.words[(W * i) / 64] >> ((W * i) % 64)) & (kEntries - 1);
      e[i] = &entry(i, win[i]);
      __builtin_prefetch(e[i]);
      __builtin_prefetch(reinterpret_cast<const char*>(e[i]) + sizeof(RawPoint<N>) - 1);
    }
    Point<N> r = Point<N>::infinity(*this->curve_, this->mont_);
    for (int i = 0; i < kPositions; ++i)
      if (win[i] != 0) r.add_point_jacobian_madd(*e[i]);
    // The windows and the entry addresses spell out k, which is a secret key
    // or nonce when signing: none of it stays on the stack.
    vrt_memset_s(win, sizeof win, 0, sizeof win);
    vrt_memset_s(e, sizeof e, 0, sizeof e);
    return r;
  }
};

// 16-bit windows: for N = 256, 16 positions of 65 536 entries, 80 MiB,
// 16 mixed additions per multiplication.
template <int N>
class PrecompW16 final : public PrecompWindow<N, 16> {
 public:
  explicit PrecompW16(void* table) : PrecompWindow<N, 16>(table) {}
};

// 8-bit windows: for N = 512, 64 positions of 256 entries, 2.25 MiB,
// 64 mixed additions per multiplication.
template <int N>
class PrecompW8 final : public PrecompWindow<N, 8> {
 public:
  explicit PrecompW8(void* table) : PrecompWindow<N, 8>(table) {}
};

extern template class Precomp<256>;
extern template class Precomp<512>;
extern template class PrecompWindow<256, 16>;
extern template class PrecompWindow<512, 8>;
extern template class PrecompW16<256>;
extern template class PrecompW8<512>;

}  // namespace vrt::ec
