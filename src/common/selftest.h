// Former place of frame/selftest.h, still named by the signer sources; new code
// includes frame/selftest.h.
#pragma once

#include "frame/selftest.h"
