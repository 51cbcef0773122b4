// Entropy estimation and the statistical tests of the generator: everything
// in 64-bit fixed point with 20 fraction bits, so every processor computes
// the same estimates.
#include <cstring>

#include "vrt.h"

namespace {

constexpr int64_t kOne = VRT_FIXED_ONE;
constexpr uint32_t kFailed = 0xFFFFFFFFu;
constexpr int64_t kLn2 = 726817;  // ln 2 * 2^20, rounded

inline uint32_t bit_at(const uint8_t* data, uint64_t j) { return (data[j / 8] >> (j % 8)) & 1u; }

// Binary entropy H(p) = -(p log2 p + (1 - p) log2 (1 - p)), 0 < p < 1.
int64_t binary_entropy(int64_t p) {
  const int64_t q = kOne - p;
  return -(fixed_point_mul(p, fixed_point_log2(p)) + fixed_point_mul(q, fixed_point_log2(q)));
}

// Ones per class k = i mod d over the first limit bits.
void class_counts(const uint8_t* data, uint64_t limit, uint32_t d, uint32_t* counts) {
  for (uint32_t k = 0; k < d; ++k) counts[k] = 0;
  for (uint64_t i = 0; i < limit; ++i) counts[i % d] += bit_at(data, i);
}

// round(n * H(p')) with p' = p - slack; kFailed when p' is not above 0.
uint32_t credit(uint32_t n, int64_t p, int64_t slack) {
  const int64_t pp = p - slack;
  if (pp <= 0) return kFailed;
  return static_cast<uint32_t>(fixed_point_get(fixed_point_mul(fixed_point_create(n), binary_entropy(pp))));
}

}  // namespace

extern "C" {

VRT_API int64_t fixed_point_create(int64_t n) { return n * kOne; }
VRT_API int64_t fixed_point_get(int64_t x) { return (x >> 20) + ((x >> 19) & 1); }
VRT_API int64_t fixed_point_add(int64_t a, int64_t b) { return a + b; }
VRT_API int64_t fixed_point_sub(int64_t a, int64_t b) { return a - b; }
VRT_API int64_t fixed_point_neg(int64_t a) { return -a; }
VRT_API int64_t fixed_point_mul(int64_t a, int64_t b) { return (a * b) >> 20; }
VRT_API int64_t fixed_point_div(int64_t a, int64_t b) { return b != 0 ? (a * kOne) / b : 0; }
VRT_API int fixed_point_less(int64_t a, int64_t b) { return a < b; }
VRT_API int fixed_point_less_num(int64_t a, int64_t n) { return a < fixed_point_create(n); }
VRT_API int fixed_point_equals_num(int64_t a, int64_t n) { return a == fixed_point_create(n); }

VRT_API int64_t fixed_point_sqrt(int64_t x) {
  if (x <= 0) return 0;
  // The root lies between x and 1.0, whichever is smaller and larger.
  int64_t lo = x < kOne ? x : kOne;
  int64_t hi = x < kOne ? kOne : x;
  while (lo < hi) {
    int64_t mid = lo + (hi - lo + 1) / 2;
    if (fixed_point_mul(mid, mid) <= x)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

VRT_API int64_t fixed_point_log2(int64_t x) {
  if (x <= 0) return 0;
  int64_t exponent = 0;
  while (x < kOne / 2) {
    x *= 2;
    --exponent;
  }
  while (x > 2 * kOne) {
    x /= 2;
    ++exponent;
  }
  // ln x = y + y^2/2 + y^3/3 + ... with y = (x - 1) / x, which lies in
  // [-1, 1/2] here; the sum stops at the first term that is zero.
  const int64_t y = fixed_point_div(x - kOne, x);
  int64_t power = y, sum = 0;
  for (int64_t k = 1;; ++k) {
    const int64_t term = power / k;
    if (term == 0) break;
    sum += term;
    power = fixed_point_mul(power, y);
  }
  return fixed_point_create(exponent) + fixed_point_div(sum, kLn2);
}

VRT_API uint32_t random_stat_collect(const uint8_t* data, uint64_t bytes, uint32_t* ones, uint32_t lag,
                                     uint32_t* autocorrelation, uint32_t* longest_ones,
                                     uint32_t* longest_zeros) {
  if (ones) *ones = 0;
  if (autocorrelation) *autocorrelation = 0;
  if (longest_ones) *longest_ones = 0;
  if (longest_zeros) *longest_zeros = 0;
  if (bytes == 0 || data == nullptr || (!ones && !autocorrelation && !longest_ones && !longest_zeros))
    return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = 8 * bytes;
  uint32_t count = 0, differ = 0, run = 0, best[2] = {0, 0};
  uint32_t prev = 2;
  for (uint64_t j = 0; j < n; ++j) {
    const uint32_t b = bit_at(data, j);
    count += b;
    if (j + lag < n) differ += b ^ bit_at(data, j + lag);
    run = b == prev ? run + 1 : 1;
    prev = b;
    if (run > best[b]) best[b] = run;
  }
  if (ones) *ones = count;
  if (autocorrelation) *autocorrelation = differ;
  if (longest_ones) *longest_ones = best[1];
  if (longest_zeros) *longest_zeros = best[0];
  return VRT_SUCCESS;
}

VRT_API uint32_t random_dynamic_test(const uint8_t block[32]) {
  uint32_t ones, auto1, run1, run0;
  if (random_stat_collect(block, 32, &ones, 1, &auto1, &run1, &run0) != VRT_SUCCESS)
    return VRT_ERROR_RANDOM_TEST;
  const bool pass = ones >= 101 && ones <= 155 && auto1 >= 101 && auto1 <= 154 && run1 >= 5 &&
                    run1 <= 25 && run0 >= 5 && run0 <= 25;
  return pass ? VRT_SUCCESS : VRT_ERROR_RANDOM_TEST;
}

VRT_API uint32_t random_reglament_test(const uint8_t block[4096]) {
  uint32_t ones = 0;
  random_stat_collect(block, 4096, &ones, 1, nullptr, nullptr, nullptr);
  if (ones < 16150 || ones > 16617) return 1;
  // 10000 x chi-square over the 256 byte values (16 expected of each),
  // exactly in integers.
  uint32_t counts[256] = {};
  for (size_t i = 0; i < 4096; ++i) ++counts[block[i]];
  uint64_t stat = 0;
  for (uint32_t c : counts) {
    const int64_t d = static_cast<int64_t>(c) - 16;
    stat += static_cast<uint64_t>(625 * d * d);
  }
  return stat <= 3104599 ? 0 : 1;
}

VRT_API void random_stat_interval(uint32_t n, uint32_t lag, int64_t* lo, int64_t* hi) {
  const int64_t m = fixed_point_create(static_cast<int64_t>(n) - static_cast<int64_t>(lag));
  const int64_t z = fixed_point_div(fixed_point_create(309023), fixed_point_create(100000));
  const int64_t s = fixed_point_mul(fixed_point_div(fixed_point_sqrt(m), fixed_point_create(2)), z);
  const int64_t half = fixed_point_div(m, fixed_point_create(2));
  if (lo) *lo = fixed_point_get(half - s);
  if (hi) *hi = fixed_point_get(half + s);
}

VRT_API uint32_t random_estimate_pool(const random_pool_t* pool, uint32_t period) {
  if (pool == nullptr || period == 0 || period > 8 || pool->bits > 1024) return kFailed;
  const uint32_t n = pool->bits;
  if (n < 64) return 0;
  const uint32_t m = n / period;
  uint32_t counts[8];
  class_counts(pool->data, static_cast<uint64_t>(m) * period, period, counts);
  uint32_t lo = counts[0], hi = counts[0];
  for (uint32_t k = 1; k < period; ++k) {
    if (counts[k] < lo) lo = counts[k];
    if (counts[k] > hi) hi = counts[k];
  }
  // The count of the rarer value in the most biased class, with a lower
  // confidence bound taken off its frequency.
  const uint32_t e = lo < m - hi ? lo : m - hi;
  const int64_t p = fixed_point_div(fixed_point_create(e), fixed_point_create(m));
  const int64_t slack = fixed_point_div(fixed_point_div(fixed_point_create(49), fixed_point_create(100)),
                                        fixed_point_sqrt(fixed_point_div(fixed_point_create(n), fixed_point_create(4))));
  return credit(n, p, slack);
}

VRT_API uint32_t calculate_entropy_portion(const random_pool_t* sample, uint32_t period) {
  if (sample == nullptr || period == 0 || period > 8 || sample->bits > 1024) return kFailed;
  const uint32_t n = sample->bits;
  uint32_t counts[8];
  class_counts(sample->data, n, period, counts);
  int64_t lo = counts[0], hi = counts[0];
  for (uint32_t k = 1; k < period; ++k) {
    if (counts[k] < lo) lo = counts[k];
    if (counts[k] > hi) hi = counts[k];
  }
  int64_t e = n / period;
  if (lo < e) e = lo;
  if (10 - hi < e) e = 10 - hi;
  const int64_t p = fixed_point_div(fixed_point_create(e), fixed_point_create(10));
  const int64_t slack = fixed_point_div(fixed_point_div(fixed_point_create(98), fixed_point_create(100)),
                                        fixed_point_sqrt(fixed_point_create(10 * static_cast<int64_t>(period))));
  return credit(n, p, slack);
}

VRT_API uint32_t random_calc_randomness(const uint8_t* data, uint64_t length, uint32_t period) {
  // A pool holds 128 bytes; longer input is refused, not truncated.
  if (data == nullptr || length == 0 || length > 128) return kFailed;
  random_pool_t pool;
  std::memset(&pool, 0, sizeof pool);
  std::memcpy(pool.data, data, length);
  pool.bits = static_cast<uint32_t>(8 * length);
  return random_estimate_pool(&pool, period);
}

}  // extern "C"
