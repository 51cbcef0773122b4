// PEM armour (RFC 7468) around DER: one block per file, strict Base64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli.h"

namespace vrt::pem {

// Base64 of n bytes, with padding. Each character is computed by mask
// arithmetic, not looked up in a table, so the bytes (a private key) steer
// no memory address.
void Base64Encode(const uint8_t* in, size_t n, cli::SecretBytes* out);
// Decodes Base64 characters: a multiple of 4, '=' only to pad the last
// group, and no set bits left over in a padded group. The characters are
// mapped and checked by mask arithmetic; only the number of '=' (which the
// length of the encoded bytes fixes) and the verdict are branched on.
bool Base64Decode(const uint8_t* in, size_t n, cli::SecretBytes* out);

// Wraps DER as "-----BEGIN label-----", 64-character lines and the END line.
void Encode(const char* label, const uint8_t* der, size_t n, cli::SecretBytes* out);

// True when the text, after any white space, opens with a BEGIN line.
bool LooksLikePem(const uint8_t* p, size_t n);

// Reads the one PEM block of a file: white space may surround it, nothing
// else. Lines end in LF or CR LF; every line but the last has the same
// length, a multiple of 4 of at most 76 characters; headers are refused.
// Line ends and header colons are found by comparing characters: in a
// well-formed file the outcome of each comparison follows from its length. False with *error set.
bool Decode(const uint8_t* p, size_t n, std::string* label, cli::SecretBytes* der, std::string* error);

}  // namespace vrt::pem
