// The GOST 28147-89 cipher context as its set-up, mode and MAC code share
// it: the layout of the work area and the request runner of the modes.
#pragma once

#include <cstdint>

#include "frame/bytes.h"
#include "vrt.h"

namespace vrt::gost89 {

// A lane's expanded key record: key words, mask words and flags.
inline constexpr uint32_t kKeyRecordSize = 68;

// The lanes of the context's block record (1 or 8).
inline uint32_t record_lanes(const Gost89Ctx* ctx) { return static_cast<uint32_t>(ctx->alg->lanes); }

// Whether the context was set up (CtxInit) and may take a request.
inline bool usable(const Gost89Ctx* ctx) { return ctx != nullptr && ctx->alg != nullptr && ctx->area != nullptr; }

// Reverses the bytes of one block (the reversed byte-order flag).
inline void reverse8(uint8_t* b) { vrt::store_le64(b, __builtin_bswap64(vrt::load_le64(b))); }

enum class Request { kEncrypt, kDecrypt, kMac };

// One request of the modes or the MAC: the descriptor scan, the keys of the
// lanes, the mode's steps, and the wipe of the key records on every path.
uint32_t request(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count, Request what);

}  // namespace vrt::gost89
