// The shared curve constants and fixed-base tables.
#include "pubkey/ec/shared.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "pubkey/ec/curve.h"
#include "pubkey/ec/edwards.h"
#include "pubkey/ec/quarter.h"

namespace vrt::ec {

namespace {

constexpr int kSets = VRT_PARAM_COUNT;

std::mutex g_build;
std::atomic<void*> g_curves[kSets];
std::atomic<void*> g_tables[kSets];
std::atomic<void*> g_ed_tables[kSets];
std::atomic<size_t> g_table_bytes{0};

bool same_curve(const sign2012_par_t* a, const sign2012_par_t* b) {
  return a->bits == b->bits && std::memcmp(a->p, b->p, 64) == 0 && std::memcmp(a->a, b->a, 64) == 0 &&
         std::memcmp(a->q, b->q, 64) == 0 && std::memcmp(a->x, b->x, 64) == 0 && std::memcmp(a->y, b->y, 64) == 0;
}

template <int N>
ctm::Curve<N>* make_curve(Parameter set) {
  auto* c = new (std::nothrow) ctm::Curve<N>();
  if (c != nullptr) init_curve<N>(set, *c);
  return c;
}

}  // namespace

template <int N>
bool init_curve(Parameter set, ctm::Curve<N>& cv) {
  const sign2012_par_t* rec = parameter_record(set);
  if (rec == nullptr || rec->bits != static_cast<uint32_t>(N)) return false;
  ctm::Curve<N>* c = &cv;
  const Int<N> p = record_number<N>(rec->p), q = record_number<N>(rec->q), a = record_number<N>(rec->a);
  c->fp.init(p);
  c->fq.init(q);
  c->fp.to_mont(c->a, a);
  Int<N> minus3 = p;
  minus3 -= Int<N>(3);
  c->a_minus3 = a == minus3;
  c->q_bits = q.bit_length();
  c->fp.to_mont(c->gx, record_number<N>(rec->x));
  c->fp.to_mont(c->gy, record_number<N>(rec->y));
  // m = 4q: find what the group test of quarter.h needs (b from G).
  Int<2 * N> m = Int<2 * N>::from_le_bytes(rec->m, 64), rem;
  m.div(q.template resize<2 * N>(), rem);
  if (rem.is_zero() && m == Int<2 * N>(4)) {
    Int<N> b, t;
    c->fp.sqr(t, c->gx);
    c->fp.add(t, t, c->a);
    c->fp.mul(t, t, c->gx);
    c->fp.sqr(b, c->gy);
    c->fp.sub(b, b, t);  // y^2 - x^3 - a x
    ctm::quarter_setup<N>(*c, q, b);
    ctm::edwards_setup<N>(*c, b);
  }
  return true;
}

Parameter canonical_set(Parameter set) {
  const sign2012_par_t* rec = parameter_record(set);
  if (rec == nullptr) return set;
  for (Parameter s = 0; s < set; ++s)
    if (same_curve(parameter_record(s), rec)) return s;
  return set;
}

template <int N>
const ctm::Curve<N>* shared_curve(Parameter set) {
  const Parameter c = canonical_set(set);
  if (c >= kSets || parameter_bits(c) != static_cast<uint32_t>(N)) return nullptr;
  void* p = g_curves[c].load(std::memory_order_acquire);
  if (p != nullptr) return static_cast<const ctm::Curve<N>*>(p);
  std::lock_guard<std::mutex> lock(g_build);
  p = g_curves[c].load(std::memory_order_relaxed);
  if (p == nullptr) {
    p = make_curve<N>(c);
    g_curves[c].store(p, std::memory_order_release);
  }
  return static_cast<const ctm::Curve<N>*>(p);
}

template <int N>
const ctm::BaseTable<N>* shared_base_table(Parameter set) {
  const Parameter c = canonical_set(set);
  if (c >= kSets || parameter_bits(c) != static_cast<uint32_t>(N)) return nullptr;
  void* p = g_tables[c].load(std::memory_order_acquire);
  if (p != nullptr) return static_cast<const ctm::BaseTable<N>*>(p);
  const ctm::Curve<N>* curve = shared_curve<N>(c);
  if (curve == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(g_build);
  p = g_tables[c].load(std::memory_order_relaxed);
  if (p == nullptr) {
    auto* t = static_cast<ctm::BaseTable<N>*>(std::aligned_alloc(64, sizeof(ctm::BaseTable<N>)));
    if (t == nullptr) return nullptr;
    ctm::build_base_table<N>(*curve, ctm::Aff<N>{curve->gx, curve->gy}, *t);
    g_table_bytes.fetch_add(sizeof(ctm::BaseTable<N>), std::memory_order_relaxed);
    p = t;
    g_tables[c].store(p, std::memory_order_release);
  }
  return static_cast<const ctm::BaseTable<N>*>(p);
}

template <int N>
const ctm::EdBaseTable<N>* shared_edwards_table(Parameter set) {
  const Parameter c = canonical_set(set);
  if (c >= kSets || parameter_bits(c) != static_cast<uint32_t>(N)) return nullptr;
  void* p = g_ed_tables[c].load(std::memory_order_acquire);
  if (p != nullptr) return static_cast<const ctm::EdBaseTable<N>*>(p);
  const ctm::Curve<N>* curve = shared_curve<N>(c);
  if (curve == nullptr || !curve->edwards) return nullptr;
  const ctm::BaseTable<N>* base = shared_base_table<N>(c);
  if (base == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(g_build);
  p = g_ed_tables[c].load(std::memory_order_relaxed);
  if (p == nullptr) {
    auto* t = static_cast<ctm::EdBaseTable<N>*>(std::aligned_alloc(64, sizeof(ctm::EdBaseTable<N>)));
    if (t == nullptr) return nullptr;
    ctm::build_ed_base_table<N>(*curve, *base, *t);
    g_table_bytes.fetch_add(sizeof(ctm::EdBaseTable<N>), std::memory_order_relaxed);
    p = t;
    g_ed_tables[c].store(p, std::memory_order_release);
  }
  return static_cast<const ctm::EdBaseTable<N>*>(p);
}

void release_shared_curves() {
  std::lock_guard<std::mutex> lock(g_build);
  for (int i = 0; i < kSets; ++i) {
    std::free(g_ed_tables[i].exchange(nullptr, std::memory_order_acq_rel));
    void* t = g_tables[i].exchange(nullptr, std::memory_order_acq_rel);
    std::free(t);
    void* c = g_curves[i].exchange(nullptr, std::memory_order_acq_rel);
    if (c != nullptr) {
      if (parameter_bits(static_cast<Parameter>(i)) == 256)
        delete static_cast<ctm::Curve<256>*>(c);
      else
        delete static_cast<ctm::Curve<512>*>(c);
    }
  }
  g_table_bytes.store(0, std::memory_order_relaxed);
}

size_t shared_table_bytes() { return g_table_bytes.load(std::memory_order_relaxed); }

template bool init_curve<256>(Parameter, ctm::Curve<256>&);
template bool init_curve<512>(Parameter, ctm::Curve<512>&);
template const ctm::Curve<256>* shared_curve<256>(Parameter);
template const ctm::Curve<512>* shared_curve<512>(Parameter);
template const ctm::BaseTable<256>* shared_base_table<256>(Parameter);
template const ctm::BaseTable<512>* shared_base_table<512>(Parameter);
template const ctm::EdBaseTable<256>* shared_edwards_table<256>(Parameter);
template const ctm::EdBaseTable<512>* shared_edwards_table<512>(Parameter);

}  // namespace vrt::ec
