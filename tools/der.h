// A small, strict DER reader and writer for the key structures the tool
// reads and writes: definite lengths in their shortest form, low tag
// numbers, minimal INTEGERs and OBJECT IDENTIFIERs, and nothing left over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli.h"

namespace vrt::der {

enum Tag : uint8_t {
  kInteger = 0x02,
  kBitString = 0x03,
  kOctetString = 0x04,
  kNull = 0x05,
  kOid = 0x06,
  kSequence = 0x30,
  kContext0 = 0xa0,  // [0], constructed
};

// Reads elements front to back from a byte range it does not own. The first
// failure is kept: every later read fails too, and error() says what was
// wrong. The reader branches on tags and lengths only, never on the
// contents of OCTET STRINGs, so a secret inside one leaks nothing.
class Reader {
 public:
  Reader() = default;
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}

  bool ok() const { return error_.empty(); }
  bool empty() const { return n_ == 0; }
  size_t remaining() const { return n_; }
  const std::string& error() const { return error_; }

  // True when the next element carries this tag (without reading it).
  bool Peek(uint8_t tag) const { return ok() && n_ > 0 && p_[0] == tag; }
  // Reads one element with this tag; *body receives its contents.
  bool Read(uint8_t tag, Reader* body);
  bool Read(uint8_t tag, const uint8_t** body, size_t* len);
  // Reads a non-negative INTEGER that fits in 64 bits.
  bool ReadSmallInteger(uint64_t* value);
  // Reads an OBJECT IDENTIFIER as dotted text ("1.2.643.7.1.1.1.1").
  bool ReadOid(std::string* dotted);
  // Fails with "what" unless every byte was read.
  bool ExpectEnd(const char* what);
  // Records a failure of the caller's own (the first one stays).
  bool Fail(const std::string& why);

 private:
  const uint8_t* p_ = nullptr;
  size_t n_ = 0;
  std::string error_;
};

// Appends one element: tag, length, contents. The output may hold a secret
// (a private key), so it is a wiped buffer.
void Append(cli::SecretBytes* out, uint8_t tag, const uint8_t* body, size_t len);
inline void Append(cli::SecretBytes* out, uint8_t tag, const cli::SecretBytes& body) {
  Append(out, tag, body.data(), body.size());
}
void AppendSmallInteger(cli::SecretBytes* out, uint64_t value);
// Appends the OBJECT IDENTIFIER of dotted text; false for text that is no
// valid identifier.
bool AppendOid(cli::SecretBytes* out, const std::string& dotted);

}  // namespace vrt::der
