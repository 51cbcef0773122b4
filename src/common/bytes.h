// Former place of frame/bytes.h, still named by the signer sources; new code
// includes frame/bytes.h.
#pragma once

#include "frame/bytes.h"
