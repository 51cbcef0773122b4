// Marks a value derived from secrets as public from here on: a rejection
// flag (r = 0, s = 0, a nonce out of range) or a result that is published
// anyway (r of a signature). The constant-time checks run the code with the
// secrets marked undefined (valgrind memcheck) or poisoned (MemorySanitizer)
// and fail on a branch on such data; a declassified value may be branched
// on. Costs nothing outside those tools.
#pragma once

#include <cstddef>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define VRT_HAVE_MEMCHECK_REQUESTS 1
#endif
#endif

#if defined(__has_feature)
#if __has_feature(memory_sanitizer)
#include <sanitizer/msan_interface.h>
#define VRT_HAVE_MSAN 1
#endif
#endif

namespace vrt::ct {

inline void declassify(const void* p, size_t n) {
#if defined(VRT_HAVE_MEMCHECK_REQUESTS)
  (void)VALGRIND_MAKE_MEM_DEFINED(p, n);
#endif
#if defined(VRT_HAVE_MSAN)
  __msan_unpoison(p, n);
#endif
  (void)p;
  (void)n;
}

// The value, declassified.
template <typename T>
inline T public_value(T v) {
  declassify(&v, sizeof v);
  return v;
}

}  // namespace vrt::ct
