// Shared pieces of the text helpers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrt::text {

// The character sets of the wide-string conversions (wchar_t is UTF-32 in
// host order, and the host is little-endian).
inline constexpr const char kUtf8[] = "UTF-8";
inline constexpr const char kUtf32[] = "UTF-32LE";

// A wide character that names a Unicode scalar value: at most U+10FFFF and
// not a surrogate. Anything else cannot be converted to UTF-8.
inline bool IsScalarValue(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// True when the processor runs AVX2. The text helpers work without library
// initialisation, so they ask the processor themselves (once).
bool HaveAvx2();

// Base64 blocks with AVX2. Encoding: as many 24-byte groups of in as leave 4
// more bytes readable, each to 32 characters at out; returns the bytes used
// (a multiple of 24). Decoding: leading blocks of 32 characters that are all
// in the alphabet, each to 24 bytes at out; returns the characters used (a
// multiple of 32), stopping before the first block with any other character.
size_t base64_encode_blocks_avx2(wchar_t* out, const unsigned char* in, size_t in_len);
size_t base64_decode_blocks_avx2(unsigned char* out, const wchar_t* in, size_t in_len);

// Raises the runtime error of a failed conversion from `from` to `to`.
[[noreturn]] void ThrowConversionFailed(const char* from, const char* to);

}  // namespace vrt::text
