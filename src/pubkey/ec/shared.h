// Process-wide constants and fixed-base tables of the curves, shared by
// every signer: built once on first use (threads that race wait for the one
// that builds), read-only afterwards, released by vrtCleanup. Sets that name
// the same curve share one entry.
#pragma once

#include "pubkey/ec/ct_mul.h"
#include "pubkey/ec/edwards.h"
#include "vrt.h"

namespace vrt::ec {

// The set whose entry a set shares: the lowest value with the same curve
// and base point.
Parameter canonical_set(Parameter set);

// The constants of a set's curve (N bits): built on first use; null only
// when memory ran out. Valid until release_shared_curves.
template <int N>
const ctm::Curve<N>* shared_curve(Parameter set);

// Fills c with the constants of a set's curve (public numbers; used when
// the shared entry cannot be had). false for a set of another size.
template <int N>
bool init_curve(Parameter set, ctm::Curve<N>& c);

// The fixed-base table of a set's curve: built on first use (a few
// milliseconds); null only when memory ran out. Valid until
// release_shared_curves.
template <int N>
const ctm::BaseTable<N>* shared_base_table(Parameter set);

// The same table in the Edwards form, for the curves that have one
// (Curve::edwards): built on first use; null for any other curve or when
// memory ran out. Valid until release_shared_curves.
template <int N>
const ctm::EdBaseTable<N>* shared_edwards_table(Parameter set);

// Frees every entry (vrtCleanup). No signer may be working meanwhile; the
// next use builds them again.
void release_shared_curves();

// Bytes held by the shared tables now.
size_t shared_table_bytes();

}  // namespace vrt::ec
