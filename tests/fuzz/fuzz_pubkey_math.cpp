// The integer and point layers on numbers from untrusted bytes: division,
// inversion and Montgomery arithmetic agree with their definitions and, on a
// processor with BMI2, the fast path agrees with the portable one bit for
// bit; points that need not lie on any curve multiply without faults and
// alike on both paths.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pubkey/ec/curve.h"
#include "pubkey/ec/point.h"
#include "pubkey/math/int.h"
#include "vrt.h"

namespace {

using vrt::math::Int;
using vrt::math::MontContext;
using vrt::math::MontInt;

void check(bool ok) {
  if (!ok) std::abort();
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  template <int N>
  Int<N> next() {
    uint8_t buf[N / 8] = {};
    size_t n = size_ < sizeof buf ? size_ : sizeof buf;
    std::memcpy(buf, data_, n);
    data_ += n;
    size_ -= n;
    return Int<N>::from_le_bytes(buf, sizeof buf);
  }
  uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

template <int N>
Int<N> ShortenTo(Int<N> v, uint8_t len) {
  v >>= static_cast<uint64_t>(len % N);
  return v;
}

// Everything one path computes, as a digest of its results.
template <int N>
void Run(Reader& in, bool fast, uint8_t* out, size_t& at) {
  auto put = [&](const void* p, size_t n) {
    std::memcpy(out + at, p, n);
    at += n;
  };
  vrt::flags::supported_asm = fast;
  const uint8_t shape = in.byte();
  Int<N> a = ShortenTo(in.next<N>(), in.byte()), d = ShortenTo(in.next<N>(), in.byte());
  Int<2 * N> wide = in.next<2 * N>();

  // x = q*d + r with r < d.
  Int<N> q = a, r;
  q.div(d, r);
  if (!d.is_zero()) {
    check(r < d);
    Int<2 * N> back = q * d;
    back += r.template resize<2 * N>();
    check(back == a.template resize<2 * N>());
  }
  put(q.words, sizeof q.words);
  put(r.words, sizeof r.words);
  Int<2 * N> wq = wide, wr;
  wq.div(d.template resize<2 * N>(), wr);
  put(wq.words, sizeof wq.words);
  put(wr.words, sizeof wr.words);

  // a * a^-1 = 1 (mod d) whenever an inverse is reported.
  Int<N> inv = a.inverse(d);
  if (!inv.is_zero() && d > Int<N>(1)) {
    check(inv < d);
    Int<N> t = a, rem;
    t.div(d, rem);  // a mod d
    if (rem.is_zero() && a < d) rem = a;
    Int<N> prod = rem;
    prod.mod(d) *= inv;
    check(prod.is_one());
  }
  put(inv.words, sizeof inv.words);

  // Montgomery arithmetic modulo an odd d > 1.
  Int<N> m = d;
  m.words[0] |= 1;
  if (m.is_one()) m = Int<N>(3);
  const MontContext<N> ctx(m);
  check(ctx.mont_inverse * m.words[0] == ~uint64_t{0});
  MontInt<N> x(a, &ctx), y(ShortenTo(in.next<N>(), shape), &ctx);
  check(x.value < m);
  MontInt<N> z = x;
  z *= y;
  Int<N> plain = static_cast<Int<N>>(x);
  Int<N> py = static_cast<Int<N>>(y);
  Int<N> want = plain;
  want.mod(m) *= py;
  check(static_cast<Int<N>>(z) == want);
  put(z.value.words, sizeof z.value.words);
}

// A point (x, y) that need not be on the curve, multiplied by k.
template <int N>
void RunPoint(Reader& in, bool fast, uint8_t* out, size_t& at) {
  vrt::flags::supported_asm = fast;
  static vrt::ec::CurveParams<N>* curves[VRT_PARAM_COUNT] = {};
  const Parameter set = static_cast<Parameter>(in.byte() % VRT_PARAM_COUNT);
  if (vrt::ec::parameter_bits(set) != N) return;
  if (curves[set] == nullptr) {
    curves[set] = new vrt::ec::CurveParams<N>();
    curves[set]->init(vrt::ec::parameter_record(set));
  }
  auto p = vrt::ec::Point<N>::from_affine(*curves[set], in.next<N>(), in.next<N>());
  Int<N> k = ShortenTo(in.next<N>(), in.byte());
  k >>= static_cast<uint64_t>(N - 24);  // a short scalar keeps runs fast
  p.mul_point(k);
  Int<N> px = p.get_value_x(), py = p.get_value_y();
  check(px < curves[set]->p && py < curves[set]->p);
  std::memcpy(out + at, p.x.value.words, N / 8);
  at += N / 8;
  std::memcpy(out + at, px.words, N / 8);
  at += N / 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  if (!ready) std::abort();
  const bool bmi2 = (vrtpInstance.cpu_enabled & VRT_CPU_BMI2) != 0;
  const bool saved = vrt::flags::supported_asm;
  static uint8_t out[2][4096];
  size_t at[2] = {0, 0};
  for (int path = 0; path < (bmi2 ? 2 : 1); ++path) {
    Reader in(data, size);
    Run<256>(in, path == 1, out[path], at[path]);
    Run<512>(in, path == 1, out[path], at[path]);
    RunPoint<256>(in, path == 1, out[path], at[path]);
    RunPoint<512>(in, path == 1, out[path], at[path]);
  }
  vrt::flags::supported_asm = saved;
  if (bmi2) check(at[0] == at[1] && std::memcmp(out[0], out[1], at[0]) == 0);
  return 0;
}
