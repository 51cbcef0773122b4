// Files of vrt encrypt from untrusted bytes: the header and chunk reader of
// vrt decrypt, fed in uneven pieces, under the password the seed files were
// made with ("fuzz password", 1000 iterations). Nothing crashes or reads out
// of bounds; a refused file names why; output comes only from whole chunks;
// and a file that decrypts is exactly what encrypting its plaintext again
// under the same header writes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli.h"
#include "crypt.h"
#include "vrt.h"

namespace {

namespace crypt = vrt::cli::crypt;

void check(bool ok) {
  if (!ok) std::abort();
}

// Hands out the input in pieces of 1 to 9000 bytes, the sizes taken from the
// input's length so a run is reproducible.
class MemSource : public crypt::Source {
 public:
  MemSource(const uint8_t* p, size_t n) : p_(p), n_(n), step_(1 + n % 9000) {}
  bool Read(uint8_t* p, size_t n, size_t* got) override {
    size_t k = n < step_ ? n : step_;
    if (k > n_ - pos_) k = n_ - pos_;
    if (k > 0) std::memcpy(p, p_ + pos_, k);
    pos_ += k;
    *got = k;
    step_ = 1 + (step_ * 7 + 13) % 9000;
    return true;
  }

 private:
  const uint8_t* p_;
  size_t n_, pos_ = 0, step_;
};

class MemSink : public crypt::Sink {
 public:
  bool Write(const uint8_t* p, size_t n) override {
    bytes.insert(bytes.end(), p, p + n);
    ++writes;
    return true;
  }
  std::vector<uint8_t> bytes;
  size_t writes = 0;
};

class Plain : public crypt::Source {
 public:
  explicit Plain(const std::vector<uint8_t>& v) : v_(v) {}
  bool Read(uint8_t* p, size_t n, size_t* got) override {
    size_t k = n < v_.size() - pos_ ? n : v_.size() - pos_;
    if (k > 0) std::memcpy(p, v_.data() + pos_, k);
    pos_ += k;
    *got = k;
    return true;
  }

 private:
  const std::vector<uint8_t>& v_;
  size_t pos_ = 0;
};

// Derived keys by salt, so a mutated chunk does not cost a derivation.
const std::vector<uint8_t>& KeyFor(const crypt::Header& h) {
  static std::map<std::string, std::vector<uint8_t>> cache;
  std::string salt(reinterpret_cast<const char*>(h.salt), sizeof h.salt);
  auto it = cache.find(salt);
  if (it != cache.end()) return it->second;
  if (cache.size() > 64) cache.clear();
  static const char kPassword[] = "fuzz password";
  vrt::cli::MaskedKey key;
  check(crypt::DeriveKey(reinterpret_cast<const uint8_t*>(kPassword), sizeof kPassword - 1, h, &key) == 0);
  std::vector<uint8_t> plain(crypt::kKeySize);
  genkey_t tmp{};
  __binstr_init(&tmp.key, plain.data(), plain.size());
  genkey_unmask_to(key.get(), &tmp);
  return cache[salt] = plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  check(ready);
  MemSource in(data, size);
  crypt::Header h;
  uint8_t raw[crypt::kHeaderSize];
  crypt::Result r = crypt::ReadHeader(&in, &h, raw);
  if (!r.ok()) {
    check(r.code == crypt::Result::kHeader && r.header != crypt::HeaderError::kNone);
    check(!crypt::Describe(r, "in", "out").empty());
    return 0;
  }
  check(h.iterations >= crypt::kMinIterations && h.iterations <= crypt::kMaxIterations);
  // Other counts are read the same way; deriving them would only slow the
  // run.
  if (h.iterations != crypt::kMinIterations) return 0;
  const std::vector<uint8_t>& plain_key = KeyFor(h);
  vrt::cli::MaskedKey key;
  check(key.Load(plain_key.data(), plain_key.size()) == 0);
  MemSink out;
  r = crypt::Decrypt(&in, &out, raw, h, key.get(), nullptr);
  const size_t body = size - crypt::kHeaderSize;
  // Whole chunks only: every write but the last is a full chunk.
  check(out.bytes.size() <= body);
  check(out.writes == 0 || out.bytes.size() >= (out.writes - 1) * crypt::kChunkSize);
  check(out.bytes.size() <= out.writes * crypt::kChunkSize);
  if (!r.ok()) {
    check(r.code == crypt::Result::kChunk || r.code == crypt::Result::kNoChunks);
    check(r.code != crypt::Result::kChunk || r.chunk == out.writes);
    return 0;
  }
  const size_t chunks = out.writes;
  check(chunks >= 1 && out.bytes.size() + chunks * crypt::kTagSize == body);
  Plain again(out.bytes);
  MemSink sealed;
  check(crypt::Encrypt(&again, &sealed, h, key.get(), nullptr).ok());
  check(sealed.bytes.size() == size && std::memcmp(sealed.bytes.data(), data, size) == 0);
  return 0;
}
