// What the other folders may call in the GOST 28147-89 subsystem.
#pragma once

#include <cstdint>

#include "vrt.h"

namespace vrt::gost89 {

// Expansions of S-box sets done in this process, built-in and caller sets
// alike (read by the tests to see that a set is expanded exactly once).
uint64_t sbox_expansions();

// The expanded tables T0..T3 of a set as one array of 1024 words.
inline const uint32_t* sbox_tables(const gost89_sbox_t* sbox) { return &sbox->tables[0][0]; }

// Whether __gost89avx512_encrypt16 may run here; set with the records at
// initialisation.
bool sixteen_blocks();

}  // namespace vrt::gost89
