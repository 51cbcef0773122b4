// The public functions that only forward to their vrtp twins.
#pragma once

#include "vrt.h"

// VRT_FORWARD(Name) defines the exported vrtName as an alias of vrtpName,
// which the same file defines: one function under two names, so the public
// call costs nothing over the twin. The public declaration in vrt.h and the
// twin's must agree, which the alias's type (the twin's) makes the compiler
// check.
#define VRT_FORWARD(name) \
  extern "C" VRT_API decltype(vrtp##name) vrt##name __attribute__((alias("vrtp" #name)))
