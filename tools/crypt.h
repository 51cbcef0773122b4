// The file format of vrt encrypt and vrt decrypt, and its writer and reader.
//
// A file is a 57-byte header and then the data in chunks:
//
//   offset  size  header field
//        0     8  magic "VRTCRYPT"
//        8     1  format version, 1
//        9     1  key derivation, 1: PBKDF2-HMAC-Streebog-512 to a 32-byte key
//       10     4  iteration count, big-endian, 1000 to 10 000 000
//       14    32  salt
//       46    11  file nonce; the top bit of its first byte is zero
//
// Chunk i (from 0) holds up to 64 KiB of plaintext sealed with
// Kuznyechik-MGM under the derived key: the ciphertext (as long as the
// plaintext) and then the 16-byte tag. Every chunk but the last holds exactly
// 64 KiB; the last holds 1 to 64 KiB, or nothing when the whole input is
// empty (then it is the only chunk). The MGM nonce of chunk i is
//
//   file nonce (11 bytes) || i (4 bytes, big-endian) || 1 for the last chunk, else 0
//
// (MGM ignores the top bit of a nonce, which the header keeps zero). Chunk 0
// takes the whole header as associated data. So a changed header or chunk, a
// wrong password, a chunk dropped, repeated or moved, and a file cut short
// (the chunk that now ends it was not sealed as the last) all fail to
// authenticate. At most 2^32 chunks (256 TiB) make one file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli.h"
#include "vrt.h"

namespace vrt::cli::crypt {

constexpr uint8_t kMagic[8] = {'V', 'R', 'T', 'C', 'R', 'Y', 'P', 'T'};
constexpr uint8_t kVersion = 1;
constexpr uint8_t kKdfPbkdf2Streebog512 = 1;
constexpr size_t kSaltSize = 32;
constexpr size_t kFileNonceSize = 11;
constexpr size_t kHeaderSize = 8 + 1 + 1 + 4 + kSaltSize + kFileNonceSize;
constexpr size_t kChunkSize = 65536;
constexpr size_t kTagSize = 16;
constexpr size_t kSealedChunkSize = kChunkSize + kTagSize;
constexpr size_t kKeySize = 32;
constexpr uint64_t kMaxChunks = uint64_t{1} << 32;
// The iteration counts a header may carry. The ceiling bounds the work a
// hostile file can ask of decrypt (some seconds).
constexpr uint32_t kMinIterations = 1000;
constexpr uint32_t kMaxIterations = 10000000;
constexpr uint32_t kDefaultIterations = 500000;

struct Header {
  uint32_t iterations = 0;
  uint8_t salt[kSaltSize] = {};
  uint8_t nonce[kFileNonceSize] = {};
};

// A header with a fresh salt and file nonce from the library's generator;
// 0 or the generator's status.
uint32_t NewHeader(uint32_t iterations, Header* h);
void EncodeHeader(const Header& h, uint8_t out[kHeaderSize]);

enum class HeaderError { kNone, kShort, kBadMagic, kBadVersion, kBadKdf, kBadIterations, kBadNonce };
// Reads n bytes as a header; kShort when n is below kHeaderSize.
HeaderError DecodeHeader(const uint8_t* p, size_t n, Header* h);
// The reason in words ("not a vrt encrypted file", ...).
std::string Describe(HeaderError e);

// The MGM nonce of chunk i.
void ChunkNonce(const Header& h, uint64_t i, bool last, uint8_t out[16]);

// Cuts text to its first line: the bytes before the first '\n', without a
// '\r' that ends them. The scan has no branch or address on the bytes; only
// the length of the line is made public.
void FirstLine(SecretBytes* text);

// True when a and b hold the same bytes; the time depends on the lengths
// only.
bool SamePassword(const SecretBytes& a, const SecretBytes& b);

// The file key: PBKDF2-HMAC-Streebog-512 of the password over the header's
// salt and iteration count, 32 bytes, into a masked record. 0 or the
// library's status.
uint32_t DeriveKey(const uint8_t* password, size_t password_len, const Header& h, MaskedKey* key);

// A byte stream the format is read from.
class Source {
 public:
  virtual ~Source() = default;
  // Reads up to n bytes into p and sets *got; fewer than n only at the end of
  // the input. False with errno set on a read error.
  virtual bool Read(uint8_t* p, size_t n, size_t* got) = 0;
};

// Where the output goes.
class Sink {
 public:
  virtual ~Sink() = default;
  // False with errno set when the bytes cannot be written.
  virtual bool Write(const uint8_t* p, size_t n) = 0;
};

// Told the input bytes consumed after each chunk.
class Progress {
 public:
  virtual ~Progress() = default;
  virtual void Update(uint64_t bytes_in) = 0;
};

// How a run ended.
struct Result {
  enum Code {
    kOk,
    kReadError,    // err
    kWriteError,   // err
    kLibrary,      // status: a library call failed
    kHeader,       // header: not a file this version reads
    kNoChunks,     // the file ends after the header
    kChunk,        // chunk: it does not authenticate
    kTooLong,      // more than kMaxChunks chunks
  };
  Code code = kOk;
  HeaderError header = HeaderError::kNone;
  uint64_t chunk = 0;
  uint32_t status = 0;
  int err = 0;
  bool ok() const { return code == kOk; }
};

// The message for a failed run over the input named input, the output named
// output ("-" for the standard streams).
std::string Describe(const Result& r, const std::string& input, const std::string& output);

// Writes the header and the sealed chunks of everything in in to out.
Result Encrypt(Source* in, Sink* out, const Header& h, const genkey_t* key, Progress* progress);

// Reads and decodes the header (raw receives its bytes).
Result ReadHeader(Source* in, Header* h, uint8_t raw[kHeaderSize]);
// Reads the chunks after the header raw (decoded as h) and writes the
// plaintext of each chunk to out once it has authenticated; stops at the
// first one that does not. Success means the last chunk authenticated.
Result Decrypt(Source* in, Sink* out, const uint8_t raw[kHeaderSize], const Header& h, const genkey_t* key,
               Progress* progress);

}  // namespace vrt::cli::crypt
