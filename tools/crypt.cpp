#include "crypt.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace vrt::cli::crypt {
namespace {

void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

uint32_t GetBe32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Reads until n bytes or the end of the input.
bool ReadFull(Source* in, uint8_t* p, size_t n, size_t* got) {
  *got = 0;
  while (*got < n) {
    size_t k = 0;
    if (!in->Read(p + *got, n - *got, &k)) return false;
    if (k == 0) break;
    *got += k;
  }
  return true;
}

Result Fail(Result::Code code, int err = 0) {
  Result r;
  r.code = code;
  r.err = err;
  return r;
}

Result LibraryFail(uint32_t status) {
  Result r;
  r.code = Result::kLibrary;
  r.status = status;
  return r;
}

Result ChunkFail(uint64_t i) {
  Result r;
  r.code = Result::kChunk;
  r.chunk = i;
  return r;
}

// One MGM context for a whole file; each chunk starts it afresh.
class Mgm {
 public:
  Mgm() = default;
  ~Mgm() { vrtAEADCtxFree(ctx_); }
  Mgm(const Mgm&) = delete;
  Mgm& operator=(const Mgm&) = delete;
  uint32_t Open() { return vrtAEADCtxAllocInitialized(&ctx_, 1, 16); }
  // Starts the message of chunk i.
  uint32_t Start(const Header& h, uint64_t i, bool last) {
    uint8_t nonce[16];
    ChunkNonce(h, i, last, nonce);
    uint32_t st = vrtAEADCtxInit(ctx_, 1);
    return st != VRT_SUCCESS ? st : vrtAEADSetNonce(ctx_, nonce);
  }
  AeadCtx* get() { return ctx_; }

 private:
  AeadCtx* ctx_ = nullptr;
};

}  // namespace

uint32_t NewHeader(uint32_t iterations, Header* h) {
  h->iterations = iterations;
  uint32_t st = RandomBytes(h->salt, sizeof h->salt);
  if (st == VRT_SUCCESS) st = RandomBytes(h->nonce, sizeof h->nonce);
  h->nonce[0] &= 0x7f;
  return st;
}

void EncodeHeader(const Header& h, uint8_t out[kHeaderSize]) {
  std::memcpy(out, kMagic, sizeof kMagic);
  out[8] = kVersion;
  out[9] = kKdfPbkdf2Streebog512;
  PutBe32(out + 10, h.iterations);
  std::memcpy(out + 14, h.salt, kSaltSize);
  std::memcpy(out + 14 + kSaltSize, h.nonce, kFileNonceSize);
}

HeaderError DecodeHeader(const uint8_t* p, size_t n, Header* h) {
  // An unknown magic says more than a short read, so it is checked first.
  if (std::memcmp(p, kMagic, n < sizeof kMagic ? n : sizeof kMagic) != 0) return HeaderError::kBadMagic;
  if (n < kHeaderSize) return HeaderError::kShort;
  if (p[8] != kVersion) return HeaderError::kBadVersion;
  if (p[9] != kKdfPbkdf2Streebog512) return HeaderError::kBadKdf;
  h->iterations = GetBe32(p + 10);
  if (h->iterations < kMinIterations || h->iterations > kMaxIterations) return HeaderError::kBadIterations;
  std::memcpy(h->salt, p + 14, kSaltSize);
  std::memcpy(h->nonce, p + 14 + kSaltSize, kFileNonceSize);
  if (h->nonce[0] & 0x80) return HeaderError::kBadNonce;
  return HeaderError::kNone;
}

std::string Describe(HeaderError e) {
  switch (e) {
    case HeaderError::kNone: return "a valid header";
    case HeaderError::kShort: return "the file is too short for its header";
    case HeaderError::kBadMagic: return "not a file of vrt encrypt";
    case HeaderError::kBadVersion: return "a format version this vrt does not read";
    case HeaderError::kBadKdf: return "an unknown key derivation";
    case HeaderError::kBadIterations:
      return "an iteration count outside " + std::to_string(kMinIterations) + " to " +
             std::to_string(kMaxIterations);
    case HeaderError::kBadNonce: return "a malformed header (file nonce)";
  }
  return "a malformed header";
}

void ChunkNonce(const Header& h, uint64_t i, bool last, uint8_t out[16]) {
  std::memcpy(out, h.nonce, kFileNonceSize);
  PutBe32(out + kFileNonceSize, static_cast<uint32_t>(i));
  out[15] = last ? 1 : 0;
}

void FirstLine(SecretBytes* text) {
  uint32_t seen = 0;  // all-ones from the first '\n' on
  size_t len = 0;
  for (size_t i = 0; i < text->size(); ++i) {
    seen |= CtRangeMask((*text)[i], '\n', '\n');
    len += 1 & ~seen;
  }
  VRT_DECLASSIFY(&len, sizeof len);
  if (len > 0) {
    uint32_t cr = CtRangeMask((*text)[len - 1], '\r', '\r') & 1;
    VRT_DECLASSIFY(&cr, sizeof cr);
    len -= cr;
  }
  text->resize(len);
}

bool SamePassword(const SecretBytes& a, const SecretBytes& b) {
  if (a.size() != b.size()) return false;
  uint32_t diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<uint32_t>(a[i] ^ b[i]);
  diff = CtBarrier(diff);
  VRT_DECLASSIFY(&diff, sizeof diff);
  return diff == 0;
}

uint32_t DeriveKey(const uint8_t* password, size_t password_len, const Header& h, MaskedKey* key) {
  // The record gets its random mask first; the derivation writes the key
  // bytes and masks them there, so the plain key never leaves the call.
  uint32_t st = key->Prepare(kKeySize);
  if (st != VRT_SUCCESS) return st;
  binstr_t pass, salt;
  __binstr_init(&pass, const_cast<uint8_t*>(password), password_len);
  __binstr_init(&salt, const_cast<uint8_t*>(h.salt), kSaltSize);
  pkcs5_params_t params{};
  params.kdf = VRT_ALG_PBKDF2;
  params.prf = VRT_ALG_HMAC2012_512;
  params.iterations = h.iterations;
  params.password = &pass;
  params.salt = &salt;
  return vrtPKCS5DeriveKey(&params, key->get());
}

std::string Describe(const Result& r, const std::string& input, const std::string& output) {
  const std::string in = input == "-" ? "standard input" : input;
  const std::string out = output == "-" ? "standard output" : output;
  switch (r.code) {
    case Result::kOk: return "done";
    case Result::kReadError: return in + ": " + std::strerror(r.err ? r.err : EIO);
    case Result::kWriteError: return out + ": " + std::strerror(r.err ? r.err : EIO);
    case Result::kLibrary: return "library status " + std::to_string(r.status);
    case Result::kHeader: return in + ": " + Describe(r.header);
    case Result::kNoChunks: return in + ": truncated: no data after the header";
    case Result::kChunk:
      if (r.chunk == 0) return in + ": wrong password, or the file was changed";
      return in + ": chunk " + std::to_string(r.chunk) +
             " does not authenticate: the file was changed or cut short";
    case Result::kTooLong: return in + ": more than 2^32 chunks (256 TiB), the most one file holds";
  }
  return "failed";
}

Result Encrypt(Source* in, Sink* out, const Header& h, const genkey_t* key, Progress* progress) {
  uint8_t header[kHeaderSize];
  EncodeHeader(h, header);
  if (!out->Write(header, sizeof header)) return Fail(Result::kWriteError, errno);
  Mgm mgm;
  uint32_t st = mgm.Open();
  if (st != VRT_SUCCESS) return LibraryFail(st);
  // The chunk being sealed and the next one: a full chunk is the last one
  // only when nothing follows it.
  SecretBytes cur(kChunkSize), next(kChunkSize);
  std::vector<uint8_t> sealed(kSealedChunkSize);
  size_t n = 0, m = 0;
  uint64_t consumed = 0;
  if (!ReadFull(in, cur.data(), kChunkSize, &n)) return Fail(Result::kReadError, errno);
  for (uint64_t i = 0;; ++i) {
    bool last = true;
    if (n == kChunkSize) {
      if (!ReadFull(in, next.data(), kChunkSize, &m)) return Fail(Result::kReadError, errno);
      last = m == 0;
    }
    if (i >= kMaxChunks) return Fail(Result::kTooLong);
    st = mgm.Start(h, i, last);
    if (st == VRT_SUCCESS)
      st = vrtAEADEncryptSimple(mgm.get(), key, cur.data(), sealed.data(), n, i == 0 ? header : nullptr,
                                i == 0 ? sizeof header : 0);
    if (st == VRT_SUCCESS) st = vrtAEADImitGetValue(mgm.get(), sealed.data() + n, kTagSize);
    if (st != VRT_SUCCESS) return LibraryFail(st);
    if (!out->Write(sealed.data(), n + kTagSize)) return Fail(Result::kWriteError, errno);
    consumed += n;
    if (progress != nullptr) progress->Update(consumed);
    if (last) break;
    std::swap(cur, next);
    n = m;
  }
  return Result{};
}

Result ReadHeader(Source* in, Header* h, uint8_t raw[kHeaderSize]) {
  size_t n = 0;
  if (!ReadFull(in, raw, kHeaderSize, &n)) return Fail(Result::kReadError, errno);
  Result r;
  r.header = DecodeHeader(raw, n, h);
  if (r.header != HeaderError::kNone) r.code = Result::kHeader;
  return r;
}

Result Decrypt(Source* in, Sink* out, const uint8_t raw[kHeaderSize], const Header& h, const genkey_t* key,
               Progress* progress) {
  Mgm mgm;
  uint32_t st = mgm.Open();
  if (st != VRT_SUCCESS) return LibraryFail(st);
  std::vector<uint8_t> cur(kSealedChunkSize), next(kSealedChunkSize);
  SecretBytes plain(kChunkSize);
  size_t n = 0, m = 0;
  uint64_t consumed = kHeaderSize;
  if (!ReadFull(in, cur.data(), kSealedChunkSize, &n)) return Fail(Result::kReadError, errno);
  if (n == 0) return Fail(Result::kNoChunks);
  for (uint64_t i = 0;; ++i) {
    bool last = true;
    if (n == kSealedChunkSize) {
      if (!ReadFull(in, next.data(), kSealedChunkSize, &m)) return Fail(Result::kReadError, errno);
      last = m == 0;
    }
    if (i >= kMaxChunks) return Fail(Result::kTooLong);
    // A chunk too short for its tag, or an empty chunk after the first, was
    // never written.
    if (n < kTagSize || (i > 0 && n == kTagSize)) return ChunkFail(i);
    const size_t len = n - kTagSize;
    st = mgm.Start(h, i, last);
    if (st == VRT_SUCCESS) st = vrtAEADImitSetValue(mgm.get(), cur.data() + len, kTagSize);
    if (st == VRT_SUCCESS)
      st = vrtAEADDecryptSimple(mgm.get(), key, cur.data(), plain.data(), len, i == 0 ? raw : nullptr,
                                i == 0 ? kHeaderSize : 0);
    if (st == VRT_ERROR_FAILED) return ChunkFail(i);
    if (st != VRT_SUCCESS) return LibraryFail(st);
    if (!out->Write(plain.data(), len)) return Fail(Result::kWriteError, errno);
    consumed += n;
    if (progress != nullptr) progress->Update(consumed);
    if (last) break;
    std::swap(cur, next);
    n = m;
  }
  return Result{};
}

}  // namespace vrt::cli::crypt
