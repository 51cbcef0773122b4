// Entropy estimation and the statistical tests of the generator: everything
// in 64-bit fixed point with 20 fraction bits, so every processor computes
// the same estimates.
#include <cstring>

#include "keys/internal.h"
#include "vrt.h"

namespace {

constexpr int64_t kOne = VRT_FIXED_ONE;
constexpr uint32_t kFailed = 0xFFFFFFFFu;
constexpr int64_t kLn2 = 726817;  // ln 2 * 2^20, rounded

inline uint32_t bit_at(const uint8_t* data, uint64_t j) { return (data[j / 8] >> (j % 8)) & 1u; }

// Set bits of a word, without assuming the POPCNT instruction.
inline uint32_t ones64(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555u);
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<uint32_t>((x * 0x0101010101010101u) >> 56);
}

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

// A 256-bit value in four words, bit j at bit j % 64 of word j / 64.
struct W256 {
  uint64_t a, b, c, d;
};

// x >> S across the words, 0 < S < 64.
template <unsigned S>
inline W256 shr(const W256& x) {
  return {(x.a >> S) | (x.b << (64 - S)), (x.b >> S) | (x.c << (64 - S)), (x.c >> S) | (x.d << (64 - S)),
          x.d >> S};
}

inline W256 operator&(const W256& x, const W256& y) { return {x.a & y.a, x.b & y.b, x.c & y.c, x.d & y.d}; }
inline bool any(const W256& x) { return (x.a | x.b | x.c | x.d) != 0; }

// The longest runs of the per-block test only need bounds: a run of 5 ones
// must exist and one of 26 must not. With R(k) the positions where k ones
// start, R(a + b) = R(a) & (R(b) >> a).
inline bool run_bounds_ok(const W256& x) {
  const W256 r2 = x & shr<1>(x);
  const W256 r4 = r2 & shr<2>(r2);
  const W256 r5 = r4 & shr<4>(x);
  const W256 r8 = r4 & shr<4>(r4);
  const W256 r16 = r8 & shr<8>(r8);
  const W256 r24 = r16 & shr<16>(r8);
  const W256 r26 = r24 & shr<24>(r2);
  return any(r5) && !any(r26);
}

int64_t saturate(__int128 v) {
  if (v > INT64_MAX) return INT64_MAX;
  if (v < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(v);
}

}  // namespace

extern "C" {

// The arithmetic is exact in 128 bits and saturates to the int64_t range:
// no input, however large, overflows.
VRT_API int64_t fixed_point_create(int64_t n) { return saturate(static_cast<__int128>(n) * kOne); }
VRT_API int64_t fixed_point_get(int64_t x) { return (x >> 20) + ((x >> 19) & 1); }
VRT_API int64_t fixed_point_add(int64_t a, int64_t b) { return saturate(static_cast<__int128>(a) + b); }
VRT_API int64_t fixed_point_sub(int64_t a, int64_t b) { return saturate(static_cast<__int128>(a) - b); }
VRT_API int64_t fixed_point_neg(int64_t a) { return saturate(-static_cast<__int128>(a)); }
VRT_API int64_t fixed_point_mul(int64_t a, int64_t b) { return saturate((static_cast<__int128>(a) * b) >> 20); }
VRT_API int64_t fixed_point_div(int64_t a, int64_t b) {
  return b != 0 ? saturate((static_cast<__int128>(a) * kOne) / b) : 0;
}
VRT_API int fixed_point_less(int64_t a, int64_t b) { return a < b; }
// Against n itself, not a saturated n * 2^20.
VRT_API int fixed_point_less_num(int64_t a, int64_t n) { return a < static_cast<__int128>(n) * kOne; }
VRT_API int fixed_point_equals_num(int64_t a, int64_t n) { return a == static_cast<__int128>(n) * kOne; }

VRT_API int64_t fixed_point_sqrt(int64_t x) {
  if (x <= 0) return 0;
  // The root lies between x and 1.0, whichever is smaller and larger; the
  // square is compared unrounded and unsaturated.
  int64_t lo = x < kOne ? x : kOne;
  int64_t hi = x < kOne ? kOne : x;
  while (lo < hi) {
    int64_t mid = lo + (hi - lo + 1) / 2;
    if (((static_cast<__int128>(mid) * mid) >> 20) <= x)
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
  uint64_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    count += ones64(w);
  }
  for (; i < bytes; ++i) count += ones64(data[i]);
  if (autocorrelation || longest_ones || longest_zeros) {
    uint32_t prev = 2;
    for (uint64_t j = 0; j < n; ++j) {
      const uint32_t b = bit_at(data, j);
      if (j + lag < n) differ += b ^ bit_at(data, j + lag);
      run = b == prev ? run + 1 : 1;
      prev = b;
      if (run > best[b]) best[b] = run;
    }
  }
  if (ones) *ones = count;
  if (autocorrelation) *autocorrelation = differ;
  if (longest_ones) *longest_ones = best[1];
  if (longest_zeros) *longest_zeros = best[0];
  return VRT_SUCCESS;
}

// The per-block test on 64-bit words (bit j of the block is bit j % 64 of
// little-endian word j / 64), with the same counts as random_stat_collect.
VRT_API uint32_t random_dynamic_test(const uint8_t block[32]) {
  if (block == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  uint64_t w[4];
  std::memcpy(w, block, sizeof w);
  uint32_t ones = 0, auto1 = 0;
  for (int i = 0; i < 4; ++i) {
    ones += static_cast<uint32_t>(ones64(w[i]));
    // bit j against bit j + 1, the last word without its top position
    const uint64_t next = i < 3 ? w[i + 1] << 63 : 0;
    uint64_t d = w[i] ^ ((w[i] >> 1) | next);
    if (i == 3) d &= ~(uint64_t{1} << 63);
    auto1 += static_cast<uint32_t>(ones64(d));
  }
  // The longest runs only need bounds: a run of 5 must exist and one of 26
  // must not. With R(k) the positions where k ones start, R(a + b) =
  // R(a) & (R(b) >> a), shifts running across the four words.
  const bool runs_ok = run_bounds_ok({w[0], w[1], w[2], w[3]}) && run_bounds_ok({~w[0], ~w[1], ~w[2], ~w[3]});
  const bool pass = ones >= 101 && ones <= 155 && auto1 >= 101 && auto1 <= 154 && runs_ok;
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

// ---- entropy intake: pools, history, seeding ----

namespace {

using vrt::keys::Locked;

constexpr uint32_t kPoolBits = 1024;
constexpr uint32_t kTargetBits = 259;

void set_bit(uint8_t* data, uint64_t j, uint32_t v) {
  if (v)
    data[j / 8] |= static_cast<uint8_t>(1u << (j % 8));
  else
    data[j / 8] &= static_cast<uint8_t>(~(1u << (j % 8)));
}

// Empties everything the pools fed: readiness, pools, history. The key and
// the seed chain stay, so a seeded generator goes on producing output that
// no one can predict.
void reset(random_ctx_t* c) {
  c->ready = 0;
  c->credited = 0;
  std::memset(c->pools, 0, sizeof c->pools);
  std::memset(c->history, 0, sizeof c->history);
  c->history_count = 0;
  std::memset(c->block, 0, sizeof c->block);
  c->rekey_time = 0;
  c->output_count = 0;
}

// The failure exit: everything reset; more than three estimator failures put
// the generator in the failed state.
uint32_t failure_exit(random_ctx_t* c) {
  reset(c);
  if (c->estimator_failures > 3) {
    vrt::keys::enter_failed(c, false);
    return VRT_ERROR_FAILED;
  }
  return VRT_SUCCESS;
}

uint32_t seeding_failure(random_ctx_t* c) {
  ++c->seeding_failures;
  reset(c);
  if (c->seeding_failures > 3) {
    vrt::keys::enter_failed(c, false);
    return VRT_ERROR_FAILED;
  }
  return VRT_SUCCESS;
}

uint32_t total_bits(const random_ctx_t* c) {
  uint32_t n = 0;
  for (const auto& p : c->pools) n += p.bits;
  return n;
}

uint32_t readiness(uint64_t credited) {
  const uint64_t r = 100 * credited / kTargetBits;
  return r > 100 ? 100 : static_cast<uint32_t>(r);
}

// The six pools' bits one after another, in source order.
uint32_t combine(const random_ctx_t* c, uint8_t out[128]) {
  std::memset(out, 0, 128);
  uint32_t n = 0;
  for (const auto& p : c->pools)
    for (uint32_t j = 0; j < p.bits; ++j) set_bit(out, n++, bit_at(p.data, j));
  return n;
}

// Appends bits to a pool; false when they would overflow it.
bool append(random_pool_t& pool, const uint8_t* data, uint32_t bits) {
  if (pool.bits + bits > kPoolBits) return false;
  for (uint32_t j = 0; j < bits; ++j) set_bit(pool.data, pool.bits + j, bit_at(data, j));
  pool.bits += bits;
  return true;
}

// Rates every non-empty pool; false on a failed estimate.
bool estimate_pools(const random_ctx_t* c, uint64_t* sum) {
  *sum = 0;
  for (int s = 0; s < VRT_RANDOM_SOURCES; ++s) {
    if (c->pools[s].bits == 0) continue;
    const uint32_t e = random_estimate_pool(&c->pools[s], c->period[s]);
    if (e == kFailed) return false;
    *sum += e;
  }
  return true;
}

// Seeds from the combined pools and runs the periodic test.
uint32_t seed_and_test(random_ctx_t* c, random_seed_t* seed_out) {
  uint8_t combined[128];
  const uint32_t n = combine(c, combined);
  if (n < 8) return seeding_failure(c);
  uint32_t st = vrt::keys::seed_from_entropy(c, combined, n / 8, seed_out);
  vrt_memset_s(combined, sizeof combined, 0, sizeof combined);
  if (st != VRT_SUCCESS) return seeding_failure(c);
  c->ready = 100;
  return vrt::keys::periodic_test(c);
}

uint32_t* open_history(random_ctx_t* c) {
  if (c->history_count == VRT_RANDOM_HISTORY) {
    std::memmove(c->history[0], c->history[1], sizeof c->history[0] * (VRT_RANDOM_HISTORY - 1));
    --c->history_count;
  }
  uint32_t* entry = c->history[c->history_count++];
  std::memset(entry, 0, sizeof c->history[0]);
  return entry;
}

// One sample of a six-sample call: classes whose count of ones lies outside
// 3..7 are dropped one by one, the later classes moving down; the rest is
// rated and pooled. Returns the credit, 0 for a dropped sample, kFailed.
uint32_t take_sample(random_ctx_t* c, const random_entropy_t& r, uint32_t* entry, bool* overflow) {
  const int src = r.source;
  const uint32_t bits = static_cast<uint32_t>(r.bits);
  if (c->period[src] == 1) {
    if (!append(c->pools[src], r.data, bits)) {
      *overflow = true;
      return 0;
    }
    entry[src] += bits;
    return 10;
  }
  uint8_t cur[kPoolBits];  // one bit per byte while classes are removed
  uint32_t n = bits;
  for (uint32_t j = 0; j < n; ++j) cur[j] = static_cast<uint8_t>(bit_at(r.data, j));
  uint32_t d0 = c->period[src], period = d0, removed = 0;
  uint32_t counts[8];
  class_counts(r.data, bits, d0, counts);
  for (uint32_t k = 0; k < d0; ++k) {
    if (counts[k] >= 3 && counts[k] <= 7) continue;
    const uint32_t pos = k - removed;
    uint32_t w = 0;
    for (uint32_t j = 0; j < n; ++j)
      if (j % period != pos) cur[w++] = cur[j];
    n = w;
    --period;
    ++removed;
    if (period == 1) return 0;  // dropped: no credit, nothing pooled
  }
  random_pool_t sample{};
  sample.bits = n;
  for (uint32_t j = 0; j < n; ++j) set_bit(sample.data, j, cur[j]);
  const uint32_t credit = calculate_entropy_portion(&sample, period);
  if (credit == kFailed) return kFailed;
  if (!append(c->pools[src], sample.data, n)) {
    *overflow = true;
    return 0;
  }
  entry[src] += n;
  return credit;
}

// The statistics of the combined pools must lie strictly inside their
// intervals before they seed.
bool combined_looks_random(const random_ctx_t* c) {
  uint8_t combined[128];
  const uint32_t n = combine(c, combined);
  if (n < 8) return false;
  uint32_t ones = 0, a1 = 0, a4 = 0, a8 = 0;
  random_stat_collect(combined, n / 8, &ones, 1, &a1, nullptr, nullptr);
  random_stat_collect(combined, n / 8, nullptr, 4, &a4, nullptr, nullptr);
  random_stat_collect(combined, n / 8, nullptr, 8, &a8, nullptr, nullptr);
  vrt_memset_s(combined, sizeof combined, 0, sizeof combined);
  const uint32_t m = 8 * (n / 8);
  const struct {
    uint32_t value, lag;
  } stats[] = {{ones, 0}, {a1, 1}, {a4, 4}, {a8, 8}};
  for (const auto& s : stats) {
    int64_t lo, hi;
    random_stat_interval(m, s.lag, &lo, &hi);
    if (!(static_cast<int64_t>(s.value) > lo && static_cast<int64_t>(s.value) < hi)) return false;
  }
  return true;
}

uint32_t add_six(random_ctx_t* c, const random_entropy_t* records, uint32_t* entry, random_seed_t* seed_out) {
  uint64_t credits = 0;
  for (uint32_t i = 0; i < 6; ++i) {
    bool overflow = false;
    const uint32_t e = take_sample(c, records[i], entry, &overflow);
    if (overflow) {
      reset(c);
      return VRT_ERROR_BUFFER_TOO_SMALL;
    }
    if (e == kFailed) {
      ++c->estimator_failures;
      return failure_exit(c);
    }
    credits += e;
  }
  c->credited += static_cast<uint32_t>(credits);
  c->ready = readiness(c->credited);
  if (c->ready < 100) return VRT_SUCCESS;
  if (!combined_looks_random(c)) return seeding_failure(c);
  return seed_and_test(c, seed_out);
}

}  // namespace

extern "C" {

VRT_API uint32_t random_add_entropy(random_ctx_t* ctx, const random_entropy_t* records, uint32_t count,
                                    random_seed_t* seed_out) {
  if (records == nullptr && count != 0) return VRT_ERROR_INVALID_ARGUMENT;
  Locked g(ctx);
  random_ctx_t* c = g.ctx;
  if (c->failed) return VRT_ERROR_FAILED;
  for (uint32_t i = 0; i < count; ++i) {
    const random_entropy_t& r = records[i];
    if (r.source < 0 || r.source >= VRT_RANDOM_SOURCES || r.bits < 0 || r.bits > static_cast<int32_t>(kPoolBits) ||
        (r.bits > 0 && r.data == nullptr))
      return VRT_ERROR_INVALID_ARGUMENT;
  }
  uint32_t* entry = open_history(c);
  if (count == 6) return add_six(c, records, entry, seed_out);
  for (uint32_t i = 0; i < count; ++i) {
    if (!append(c->pools[records[i].source], records[i].data, static_cast<uint32_t>(records[i].bits))) {
      reset(c);
      return VRT_ERROR_BUFFER_TOO_SMALL;
    }
    entry[records[i].source] += static_cast<uint32_t>(records[i].bits);
  }
  c->estimator_failures = 0;
  uint64_t sum;
  if (!estimate_pools(c, &sum)) {
    ++c->estimator_failures;
    return failure_exit(c);
  }
  c->ready = readiness(sum);
  if (c->ready < 100) return VRT_SUCCESS;
  if (total_bits(c) % 8 != 0) {
    c->ready = 99;
    return VRT_SUCCESS;
  }
  return seed_and_test(c, seed_out);
}

VRT_API uint32_t random_revoke_last_entropy(random_ctx_t* ctx) {
  Locked g(ctx);
  random_ctx_t* c = g.ctx;
  if (c->failed) return VRT_ERROR_FAILED;
  if (c->history_count == 0) return VRT_SUCCESS;
  const uint32_t* entry = c->history[c->history_count - 1];
  for (int s = 0; s < VRT_RANDOM_SOURCES; ++s) {
    random_pool_t& p = c->pools[s];
    if (entry[s] > p.bits) {
      std::memset(&p, 0, sizeof p);
      continue;
    }
    p.bits -= entry[s];
    // Clear the dropped bits: whole bytes beyond the new count, and the
    // high bits of a partial last byte.
    const uint32_t keep = (p.bits + 7) / 8;
    std::memset(p.data + keep, 0, sizeof p.data - keep);
    if (p.bits % 8) p.data[p.bits / 8] &= static_cast<uint8_t>((1u << (p.bits % 8)) - 1);
  }
  --c->history_count;
  std::memset(c->history[c->history_count], 0, sizeof c->history[0]);
  uint64_t sum;
  if (!estimate_pools(c, &sum)) {
    reset(c);
    return VRT_SUCCESS;
  }
  c->ready = readiness(sum);
  return VRT_SUCCESS;
}

VRT_API uint32_t random_revoke_all_entropy(random_ctx_t* ctx) {
  Locked g(ctx);
  reset(g.ctx);
  return VRT_SUCCESS;
}

}  // extern "C"
