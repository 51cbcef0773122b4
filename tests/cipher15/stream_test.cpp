// Streams over the cipher context: messages cut anywhere and carried
// between contexts by their saved states give the one-shot result in every
// mode; the hold-back rule and the size queries; refused calls and blobs
// with their statuses, losing nothing; key hygiene after stream calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cipher15/acpkm_model.h"
#include "cipher15/internal.h"
#include "cipher15/modes_helpers.h"
#include "cipher15/stream_helpers.h"
#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Ctx15;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::NewModeCtx;
using vrt::test::OneShot;
using vrt::test::OutputLength;
using vrt::test::RandomBytes;
using vrt::test::RandomPieces;
using vrt::test::RandomSize;
using vrt::test::Restored;
using vrt::test::SaveState;

const size_t kBlockSizes[] = {16, 8};

// Bytes an Update writes when the stream holds held bytes and gets len
// more: all but the last 1..n.
uint64_t Produced(uint64_t held, uint64_t len, uint64_t n) {
  const uint64_t total = held + len;
  if (total == 0) return 0;
  return total % n != 0 ? total - total % n : total - n;
}

struct Piecewise {
  Bytes out;
  uint32_t status = VRT_SUCCESS;
};

// msg through Update calls of the given lengths (the last piece takes the
// rest) and a Final; with move, every piece and the Final run in a fresh
// context restored from the state the previous call left.
Piecewise Stream(size_t n, uint32_t mode, uint32_t flags, uint64_t section, bool encrypt, const genkey_t* key,
                 const Bytes& iv, const Bytes& msg, const std::vector<size_t>& pieces, bool move) {
  Piecewise r;
  Ctx15 ctx = NewModeCtx(n, mode, flags, section);
  auto update = encrypt ? vrtGost15EncryptUpdate : vrtGost15DecryptUpdate;
  auto final_call = encrypt ? vrtGost15EncryptFinal : vrtGost15DecryptFinal;
  size_t off = 0;
  for (size_t p = 0; p <= pieces.size(); ++p) {
    const size_t len = p < pieces.size() ? std::min(pieces[p], msg.size() - off) : msg.size() - off;
    const uint64_t want = Produced(ctx->tail_len, len, n);
    uint64_t produced = 12345;
    EXPECT_EQ(update(ctx.get(), nullptr, nullptr, len, nullptr, 0, nullptr, &produced), VRT_SUCCESS);
    EXPECT_EQ(produced, want) << "size query, piece " << p;
    Bytes chunk(produced + 1, 0xa5);
    const uint8_t dummy = 0;
    const uint32_t st = update(ctx.get(), key, len == 0 ? &dummy : msg.data() + off, len, iv.empty() ? nullptr : iv.data(),
                               iv.size(), chunk.data(), &produced);
    if (st != VRT_SUCCESS) {
      r.status = st;
      return r;
    }
    EXPECT_EQ(chunk.back(), 0xa5) << "wrote past the count, piece " << p;
    r.out.insert(r.out.end(), chunk.begin(), chunk.end() - 1);
    off += len;
    if (move) ctx = Restored(n, SaveState(ctx.get()));
  }
  uint64_t rest = 0;
  EXPECT_EQ(final_call(ctx.get(), nullptr, nullptr, &rest), VRT_SUCCESS);
  Bytes tail(rest + 1, 0xa5);
  r.status = final_call(ctx.get(), key, tail.data(), &rest);
  EXPECT_EQ(tail.back(), 0xa5);
  r.out.insert(r.out.end(), tail.begin(), tail.end() - 1);
  return r;
}

// Every mode, both ciphers and directions, with and without the
// reversed-IV flag: a message cut at random points, carried into a fresh
// context by SaveState/RestoreState between any two calls (or kept in one
// context), gives the one-shot output.
TEST(Gost15Stream, PiecesMovedBetweenContextsEqualOneShot) {
  for (size_t n : kBlockSizes) {
    for (const auto& m : vrt::test::kStreamModes) {
      for (bool encrypt : {true, false}) {
        for (uint32_t flags : {0u, VRT_GOST15_FLAG_IV_REVERSED}) {
          if (flags != 0 && !vrt::test::CounterMode(m.mode)) continue;
          for (int round = 0; round < 3; ++round) {
            // CTR-ACPKM with sections of one block and of a few: the key
            // changes inside pieces and at their edges.
            const uint64_t section = m.mode == VRT_GOST15_MODE_CTR_ACPKM ? n * RandomSize(1, 4) : 0;
            size_t len = RandomSize(1, 14 * n);
            if (vrt::test::Padded(m.mode) && !encrypt) len = (len + n - 1) / n * n;
            const Bytes key = RandomBytes(32), iv = RandomBytes(vrt::test::StreamIvLength(m.mode, n)),
                        msg = RandomBytes(len);
            MaskedKey k(key, GOST89_KEY_ADD);
            const Bytes want = OneShot(n, m.mode, section, encrypt, k.get(), iv, msg, flags);
            const std::vector<size_t> pieces = RandomPieces(len, n);
            SCOPED_TRACE(std::string(m.name) + (encrypt ? " enc" : " dec") + " n=" + std::to_string(n) +
                         " flags=" + std::to_string(flags) + " len=" + std::to_string(len) +
                         " section=" + std::to_string(section) + " pieces=" + std::to_string(pieces.size()));
            for (bool move : {false, true}) {
              const Piecewise got = Stream(n, m.mode, flags, section, encrypt, k.get(), iv, msg, pieces, move);
              ASSERT_EQ(got.status, VRT_SUCCESS) << (move ? "moved" : "one context");
              EXPECT_EQ(Hex(got.out), Hex(want)) << (move ? "moved" : "one context");
            }
          }
        }
      }
    }
  }
}

// The hold-back rule: a piece that ends on a block boundary keeps its last
// block; Final writes a whole block in ECB and CBC, the bytes held in the
// other modes.
TEST(Gost15Stream, HoldBackAndFinalSizes) {
  struct Case {
    size_t n;
    uint32_t mode;
    std::vector<size_t> pieces;
    std::vector<uint64_t> produced;
    uint64_t final_size;
  };
  const Case cases[] = {
      {16, VRT_GOST15_MODE_ECB, {16}, {0}, 16},
      {16, VRT_GOST15_MODE_ECB, {17}, {16}, 16},
      {16, VRT_GOST15_MODE_ECB, {5, 11, 1}, {0, 0, 16}, 16},
      {8, VRT_GOST15_MODE_CBC, {8, 8, 8}, {0, 8, 8}, 8},
      {8, VRT_GOST15_MODE_CTR, {3}, {0}, 3},
      {16, VRT_GOST15_MODE_CFB, {15, 2, 15}, {0, 16, 0}, 16},
      {16, VRT_GOST15_MODE_OFB, {40, 0, 24}, {32, 0, 16}, 16},
      {8, VRT_GOST15_MODE_CTR_ACPKM, {9, 7}, {8, 0}, 8},
  };
  for (const Case& c : cases) {
    const Bytes key = RandomBytes(32), iv = RandomBytes(vrt::test::StreamIvLength(c.mode, c.n));
    MaskedKey k(key, 0);
    Ctx15 ctx = NewModeCtx(c.n, c.mode, 0, 2 * c.n);
    Bytes all;
    for (size_t i = 0; i < c.pieces.size(); ++i) {
      const Bytes piece = RandomBytes(c.pieces[i]);
      all.insert(all.end(), piece.begin(), piece.end());
      Bytes out(64);
      uint64_t cap = out.size(), q = 0;
      ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), piece.data(), piece.size(), nullptr, 0, nullptr, &q), VRT_SUCCESS);
      EXPECT_EQ(q, c.produced[i]) << vrt::test::NameOf(c.mode) << " piece " << i;
      ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), piece.data(), piece.size(), iv.empty() ? nullptr : iv.data(),
                                       iv.size(), out.data(), &cap),
                VRT_SUCCESS);
    }
    uint64_t size = 0;
    ASSERT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), nullptr, &size), VRT_SUCCESS);
    EXPECT_EQ(size, c.final_size) << vrt::test::NameOf(c.mode);
    Bytes out(size);
    EXPECT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), out.data(), &size), VRT_SUCCESS);
    // The stream is closed: another Final finds none.
    EXPECT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), out.data(), &size), VRT_ERROR_FAILED);
  }
}

// A piece that arrives in the middle of a stream is refused with its status
// and leaves the stream as it was: the message goes on to the one-shot
// result afterwards.
TEST(Gost15Stream, RefusedCallsLoseNothing) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), iv = RandomBytes(n), msg = RandomBytes(5 * n + 3);
    MaskedKey k(key, GOST89_KEY_XOR), short_key(RandomBytes(16), 0);
    genkey_t empty{};
    const Bytes want = OneShot(n, VRT_GOST15_MODE_CBC, 0, true, k.get(), iv, msg);
    Ctx15 ctx = NewModeCtx(n, VRT_GOST15_MODE_CBC);
    Bytes out(msg.size() + n, 0xa5);
    uint64_t cap = out.size();
    const size_t first = 2 * n + 1;
    ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data(), first, iv.data(), n, out.data(), &cap), VRT_SUCCESS);
    const Bytes before = SaveState(ctx.get());
    uint8_t* next = out.data() + 2 * n;
    const uint8_t* in = msg.data() + first;
    const size_t len = msg.size() - first;
    const uint64_t need = Produced(1, len, n);
    uint64_t small = need - 1, enough = need, q = 0;
    struct Refusal {
      const char* what;
      uint32_t status;
      uint32_t got;
    };
    const Refusal refusals[] = {
        {"capacity short", VRT_ERROR_NO_MEMORY,
         vrtGost15EncryptUpdate(ctx.get(), k.get(), in, len, nullptr, 0, next, &small)},
        {"null context", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptUpdate(nullptr, k.get(), in, len, nullptr, 0, next, &enough)},
        {"null size", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptUpdate(ctx.get(), k.get(), in, len, nullptr, 0, next, nullptr)},
        {"null key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptUpdate(ctx.get(), nullptr, in, len, nullptr, 0, next, &enough)},
        {"no key data", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptUpdate(ctx.get(), &empty, in, len, nullptr, 0, next, &enough)},
        {"short key", VRT_ERROR_INVALID_ARGUMENT,
         vrtGost15EncryptUpdate(ctx.get(), short_key.get(), in, len, nullptr, 0, next, &enough)},
        {"null input", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptUpdate(ctx.get(), k.get(), nullptr, len, nullptr, 0, next, &enough)},
        {"other direction", VRT_ERROR_INVALID_ARGUMENT,
         vrtGost15DecryptUpdate(ctx.get(), k.get(), in, len, iv.data(), n, next, &enough)},
        {"final of the other direction", VRT_ERROR_FAILED, vrtGost15DecryptFinal(ctx.get(), k.get(), next, &enough)},
        {"final, capacity short", VRT_ERROR_NO_MEMORY, vrtGost15EncryptFinal(ctx.get(), k.get(), next, &(q = n - 1))},
        {"final, null key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptFinal(ctx.get(), nullptr, next, &enough)},
        {"final, short key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptFinal(ctx.get(), short_key.get(), next, &enough)},
        {"final, null size", VRT_ERROR_INVALID_ARGUMENT, vrtGost15EncryptFinal(ctx.get(), k.get(), next, nullptr)},
        {"empty piece", VRT_SUCCESS, vrtGost15EncryptUpdate(ctx.get(), k.get(), in, 0, nullptr, 0, next, &enough)},
    };
    for (const Refusal& r : refusals) {
      EXPECT_EQ(r.got, r.status) << r.what << " n=" << n;
      EXPECT_EQ(Hex(SaveState(ctx.get())), Hex(before)) << r.what;
    }
    EXPECT_EQ(Hex(next, out.size() - 2 * n), Hex(Bytes(out.size() - 2 * n, 0xa5))) << "nothing written";
    cap = need;
    ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), in, len, nullptr, 0, next, &cap), VRT_SUCCESS);
    cap = n;
    ASSERT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), next + need, &cap), VRT_SUCCESS);
    EXPECT_EQ(Hex(out.data(), want.size()), Hex(want));
  }
}

TEST(Gost15Stream, OpeningAndClosing) {
  const Bytes key = RandomBytes(32), iv = RandomBytes(16), msg = RandomBytes(40);
  MaskedKey k(key, 0);
  Bytes out(64);
  uint64_t cap = out.size();
  // Final without a stream.
  for (uint32_t mode : {VRT_GOST15_MODE_ECB, VRT_GOST15_MODE_CTR, VRT_GOST15_MODE_CTR_ACPKM}) {
    Ctx15 ctx = NewModeCtx(16, mode, 0, 32);
    EXPECT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), out.data(), &cap), VRT_ERROR_FAILED);
    EXPECT_EQ(vrtGost15DecryptFinal(ctx.get(), k.get(), out.data(), &cap), VRT_ERROR_FAILED);
  }
  // A first piece that is refused opens nothing.
  Ctx15 cbc = NewModeCtx(16, VRT_GOST15_MODE_CBC);
  EXPECT_EQ(vrtGost15EncryptUpdate(cbc.get(), k.get(), msg.data(), 20, iv.data(), 15, out.data(), &cap), VRT_ERROR_LENGTH);
  EXPECT_EQ(vrtGost15EncryptUpdate(cbc.get(), k.get(), msg.data(), 20, nullptr, 0, out.data(), &cap),
            VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15EncryptFinal(cbc.get(), k.get(), out.data(), &cap), VRT_ERROR_FAILED);
  // An empty piece opens nothing either.
  EXPECT_EQ(vrtGost15EncryptUpdate(cbc.get(), k.get(), msg.data(), 0, iv.data(), 16, out.data(), &cap), VRT_SUCCESS);
  EXPECT_EQ(vrtGost15EncryptFinal(cbc.get(), k.get(), out.data(), &cap), VRT_ERROR_FAILED);
  uint64_t q = 99;
  EXPECT_EQ(vrtGost15EncryptUpdate(cbc.get(), nullptr, nullptr, 0, nullptr, 0, nullptr, &q), VRT_SUCCESS);
  EXPECT_EQ(q, 0u);
  // The MAC modes stream through the MAC calls.
  Ctx15 mac = NewModeCtx(16, VRT_GOST15_MODE_MAC);
  EXPECT_EQ(vrtGost15EncryptUpdate(mac.get(), k.get(), msg.data(), 20, iv.data(), 16, out.data(), &cap),
            VRT_ERROR_UNSUPPORTED);
  EXPECT_EQ(vrtGost15EncryptFinal(mac.get(), k.get(), out.data(), &cap), VRT_ERROR_UNSUPPORTED);
  EXPECT_EQ(vrtGost15EncryptFinal(mac.get(), k.get(), nullptr, &cap), VRT_ERROR_UNSUPPORTED);

  // ECB and CBC decryption end on whole blocks: a ragged stream stays open
  // and takes the rest of its block.
  for (uint32_t mode : {VRT_GOST15_MODE_ECB, VRT_GOST15_MODE_CBC}) {
    const Bytes ct = OneShot(16, mode, 0, true, k.get(), iv, msg);  // 48 bytes
    Ctx15 ctx = NewModeCtx(16, mode);
    Bytes pt(48);
    cap = pt.size();
    ASSERT_EQ(vrtGost15DecryptUpdate(ctx.get(), k.get(), ct.data(), 40, iv.data(), 16, pt.data(), &cap), VRT_SUCCESS);
    cap = 16;
    EXPECT_EQ(vrtGost15DecryptFinal(ctx.get(), k.get(), pt.data() + 32, &cap), VRT_ERROR_LENGTH);
    cap = 16;
    ASSERT_EQ(vrtGost15DecryptUpdate(ctx.get(), k.get(), ct.data() + 40, 8, nullptr, 0, pt.data() + 32, &cap), VRT_SUCCESS);
    ASSERT_EQ(vrtGost15DecryptFinal(ctx.get(), k.get(), pt.data() + 32, &cap), VRT_SUCCESS);
    Bytes padded = msg;
    padded.resize(48, 0);
    EXPECT_EQ(Hex(pt), Hex(padded)) << vrt::test::NameOf(mode);
  }
}

// The blob layout, field by field, for a counter stream and a CFB stream.
TEST(Gost15Stream, StateBlobLayout) {
  const Bytes key = RandomBytes(32), msg = RandomBytes(45);
  MaskedKey k(key, 0);
  Bytes out(64);
  uint64_t cap = out.size();
  {
    const Bytes iv = RandomBytes(8);
    Ctx15 ctx = NewModeCtx(16, VRT_GOST15_MODE_CTR_ACPKM, 0, 32);
    ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data(), 45, iv.data(), 8, out.data(), &cap), VRT_SUCCESS);
    const Bytes blob = SaveState(ctx.get());
    ASSERT_EQ(blob.size(), 42u + 16 + 16);
    EXPECT_EQ(vrt::load_le64(blob.data()), blob.size());
    EXPECT_EQ(vrt::load_le32(blob.data() + 8), VRT_GOST15_MODE_CTR_ACPKM);
    EXPECT_EQ(vrt::load_le32(blob.data() + 12), VRT_GOST15_FLAG_ENCRYPT_STREAM);
    EXPECT_EQ(blob[16], 13);
    EXPECT_EQ(Hex(blob.data() + 17, 13), Hex(msg.data() + 32, 13));
    EXPECT_EQ(blob[33], 16);
    EXPECT_EQ(vrt::load_le64(blob.data() + 34), 32u);  // N
    EXPECT_EQ(vrt::load_le64(blob.data() + 42), 0u);   // the two blocks ran under the first key
    EXPECT_EQ(vrt::load_le64(blob.data() + 50), 0u);   // and used up the section
    Bytes ctr = vrt::test::HalfIvCounter(16, iv);
    ctr[15] = 2;
    EXPECT_EQ(Hex(blob.data() + 58, 16), Hex(ctr));
  }
  {
    // CFB with m = 20 on 8-byte blocks: after two blocks R is the last 4 IV
    // bytes and the 16 bytes of ciphertext, oldest first.
    const Bytes iv = RandomBytes(20);
    Ctx15 ctx = NewModeCtx(8, VRT_GOST15_MODE_CFB);
    cap = out.size();
    ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data(), 17, iv.data(), 20, out.data(), &cap), VRT_SUCCESS);
    const Bytes blob = SaveState(ctx.get());
    ASSERT_EQ(blob.size(), 42u + 8 + 20);
    EXPECT_EQ(blob[16], 1);
    EXPECT_EQ(blob[25], 20);
    Bytes r(iv.begin() + 16, iv.end());
    r.insert(r.end(), out.begin(), out.begin() + 16);
    EXPECT_EQ(Hex(blob.data() + 50, 20), Hex(r));
  }
}

// Blobs that are not the state of a stream: a wrong size is refused with
// 12, content no stream can have with 3, and the context keeps its own
// state either way.
TEST(Gost15Stream, RefusedBlobsLeaveTheContext) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), msg = RandomBytes(3 * n + 2);
    MaskedKey k(key, 0);
    struct Source {
      uint32_t mode;
      size_t iv_len;
    };
    for (const Source& s : {Source{VRT_GOST15_MODE_CTR_ACPKM, n / 2}, Source{VRT_GOST15_MODE_OFB, 2 * n},
                            Source{VRT_GOST15_MODE_ECB, 0}}) {
      const Bytes iv = RandomBytes(s.iv_len);
      Ctx15 src = NewModeCtx(n, s.mode, 0, n);
      Bytes out(msg.size());
      uint64_t cap = out.size();
      ASSERT_EQ(vrtGost15EncryptUpdate(src.get(), k.get(), msg.data(), msg.size(), iv.empty() ? nullptr : iv.data(),
                                       iv.size(), out.data(), &cap),
                VRT_SUCCESS);
      const Bytes good = SaveState(src.get());
      const size_t m_at = 17 + n;
      auto with = [&](size_t at, uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
      };
      auto with64 = [&](size_t at, uint64_t v) {
        Bytes b = good;
        vrt::store_le64(b.data() + at, v);
        return b;
      };
      struct Bad {
        const char* what;
        Bytes blob;
        uint64_t size;
        uint32_t status;
      };
      Bytes grown = good;
      grown.push_back(0);
      std::vector<Bad> bad = {
          {"size one short", good, good.size() - 1, VRT_ERROR_LENGTH},
          {"size one over", grown, grown.size(), VRT_ERROR_LENGTH},
          {"stored total differs", with64(0, good.size() + 1), good.size(), VRT_ERROR_LENGTH},
          {"below the header", good, 7, VRT_ERROR_LENGTH},
          {"register length differs", with(m_at, static_cast<uint8_t>(good[m_at] + 1)), good.size(), VRT_ERROR_LENGTH},
          {"unknown mode", with(8, 0x09), good.size(), VRT_ERROR_INVALID_ARGUMENT},
          {"a MAC mode", with(8, 0x01), good.size(), VRT_ERROR_INVALID_ARGUMENT},
          {"unknown flag", with(12, 0x0a), good.size(), VRT_ERROR_INVALID_ARGUMENT},
          {"both streams", with(12, 0x06), good.size(), VRT_ERROR_INVALID_ARGUMENT},
          {"no stream but bytes held", with(12, 0x00), good.size(), VRT_ERROR_INVALID_ARGUMENT},
          {"more held than a block", with(16, static_cast<uint8_t>(n + 1)), good.size(), VRT_ERROR_INVALID_ARGUMENT},
          {"stream holding nothing", with(16, 0), good.size(), VRT_ERROR_INVALID_ARGUMENT},
      };
      if (s.mode == VRT_GOST15_MODE_CTR_ACPKM) {
        bad.push_back({"no section", with64(18 + n, 0), good.size(), VRT_ERROR_INVALID_ARGUMENT});
        bad.push_back({"ragged section", with64(18 + n, n + 1), good.size(), VRT_ERROR_INVALID_ARGUMENT});
        bad.push_back({"more left than a section", with64(34 + n, 2 * n), good.size(), VRT_ERROR_INVALID_ARGUMENT});
        bad.push_back({"ragged position", with64(34 + n, 1), good.size(), VRT_ERROR_INVALID_ARGUMENT});
      } else {
        bad.push_back({"ACPKM counters elsewhere", with64(26 + n, 3), good.size(), VRT_ERROR_INVALID_ARGUMENT});
      }
      if (s.mode == VRT_GOST15_MODE_OFB) {
        Bytes b = good;
        b[m_at] = static_cast<uint8_t>(2 * n - 1);
        b.resize(b.size() - 1);
        vrt::store_le64(b.data(), b.size());
        bad.push_back({"register of the wrong length for the mode", b, b.size(), VRT_ERROR_INVALID_ARGUMENT});
      }
      for (const Bad& b : bad) {
        Ctx15 target = NewModeCtx(n, VRT_GOST15_MODE_CTR);
        uint64_t tcap = 16;
        const Bytes tiv = RandomBytes(n / 2);
        ASSERT_EQ(vrtGost15EncryptUpdate(target.get(), k.get(), msg.data(), 5, tiv.data(), n / 2, out.data(), &tcap),
                  VRT_SUCCESS);
        const Bytes before = SaveState(target.get());
        EXPECT_EQ(vrtGost15RestoreState(target.get(), b.blob.data(), b.size), b.status)
            << b.what << " n=" << n << " " << vrt::test::NameOf(s.mode);
        EXPECT_EQ(Hex(SaveState(target.get())), Hex(before)) << b.what;
      }
      // The good one restores and saves back to itself.
      EXPECT_EQ(Hex(SaveState(Restored(n, good).get())), Hex(good));
    }
  }
  Ctx15 ctx = NewModeCtx(16, VRT_GOST15_MODE_CTR);
  uint64_t size = 0;
  uint8_t blob[80];
  EXPECT_EQ(vrtGost15SaveState(nullptr, blob, &size), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15SaveState(ctx.get(), blob, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  ASSERT_EQ(vrtGost15SaveState(ctx.get(), nullptr, &size), VRT_SUCCESS);
  EXPECT_EQ(size, 42u + 16);
  size += 1;
  EXPECT_EQ(vrtGost15SaveState(ctx.get(), blob, &size), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15RestoreState(nullptr, blob, 58), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15RestoreState(ctx.get(), nullptr, 58), VRT_ERROR_INVALID_ARGUMENT);
  Ctx15 mac = NewModeCtx(16, VRT_GOST15_MODE_MAC);
  EXPECT_EQ(vrtGost15SaveState(mac.get(), nullptr, &size), VRT_ERROR_UNSUPPORTED);
}

// A long CTR-ACPKM stream continues under the section key the context
// holds (masked between calls), not by converting the caller's key once
// per section done: after the first sections the later pieces run even
// with another key passed, and give the one-shot output of the first.
// Every call leaves a fresh mask on the held key.
TEST(Gost15Stream, AcpkmStreamHoldsItsSectionKey) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), other = RandomBytes(32), iv = RandomBytes(n / 2), msg = RandomBytes(40 * n + 3);
    MaskedKey k(key, GOST89_KEY_XOR), wrong(other, GOST89_KEY_XOR);
    const uint64_t section = 2 * n;
    Ctx15 ctx = NewModeCtx(n, VRT_GOST15_MODE_CTR_ACPKM, 0, section);
    Bytes out(msg.size() + n), stream;
    Bytes last_mask;
    size_t off = 0;
    for (size_t piece : {5 * n + 1, 3 * n, 7 * n + 2, size_t{1}, 25 * n - 1}) {
      uint64_t cap = out.size();
      const uint64_t produced = Produced(ctx->tail_len, piece, n);
      ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), off == 0 ? k.get() : wrong.get(), msg.data() + off, piece, iv.data(),
                                       iv.size(), out.data(), &cap),
                VRT_SUCCESS);
      stream.insert(stream.end(), out.begin(), out.begin() + static_cast<long>(produced));
      off += piece;
      ASSERT_NE(ctx->acpkm_key.mask.data, nullptr) << "no section key held, n=" << n;
      const Bytes mask(ctx->acpkm_key.mask.data, ctx->acpkm_key.mask.data + 32);
      EXPECT_NE(Hex(mask), Hex(last_mask)) << "the held key keeps its mask";
      last_mask = mask;
    }
    uint64_t cap = out.size();
    ASSERT_EQ(vrtGost15EncryptFinal(ctx.get(), wrong.get(), out.data(), &cap), VRT_SUCCESS);
    stream.insert(stream.end(), out.begin(), out.begin() + static_cast<long>(msg.size() - stream.size()));
    EXPECT_EQ(Hex(stream), Hex(OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, section, true, k.get(), iv, msg))) << "n=" << n;
    // The message is done: the next one starts from the key passed.
    EXPECT_EQ(ctx->acpkm_key_sections, 0u);
  }
}

// A CTR-ACPKM blob must stand where its own counter says the stream is: a
// section count the blocks counted cannot have reached, a section entered
// without a block run in it, or more key changes than a restore may make
// (each costs a conversion on the next call) is refused with 3, before
// any call could stall on it. A stream's own blob at any point restores.
TEST(Gost15Stream, AcpkmBlobCountersMatchTheCounter) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), iv = RandomBytes(n / 2), msg = RandomBytes(9 * n + 1);
    MaskedKey k(key, 0);
    Ctx15 src = NewModeCtx(n, VRT_GOST15_MODE_CTR_ACPKM, 0, n);
    Bytes out(msg.size());
    uint64_t cap = out.size();
    ASSERT_EQ(vrtGost15EncryptUpdate(src.get(), k.get(), msg.data(), msg.size(), iv.data(), iv.size(), out.data(), &cap),
              VRT_SUCCESS);
    const Bytes good = SaveState(src.get());
    ASSERT_EQ(vrt::load_le64(good.data() + 26 + n), 8u);  // nine blocks, one section each
    ASSERT_EQ(vrt::load_le64(good.data() + 34 + n), 0u);
    auto with64 = [&](Bytes b, size_t at, uint64_t v) {
      vrt::store_le64(b.data() + at, v);
      return b;
    };
    struct Case {
      const char* what;
      Bytes blob;
      uint32_t status;
    };
    Bytes far_counter = good;  // a counter that has counted 2^40 blocks
    vrt::store_be64(far_counter.data() + 42 + n + (n == 16 ? 8 : 0), uint64_t{1} << 40);
    const std::vector<Case> cases = {
        {"own blob", good, VRT_SUCCESS},
        {"2^40 sections", with64(good, 26 + n, uint64_t{1} << 40), VRT_ERROR_INVALID_ARGUMENT},
        // Magma's counter holds the IV in its high half: only Kuznyechik's
        // low half counts the blocks alone.
        {"one section more than counted", with64(good, 26 + n, 9), n == 16 ? VRT_ERROR_INVALID_ARGUMENT : VRT_SUCCESS},
        {"all sections ever", with64(good, 26 + n, UINT64_MAX), VRT_ERROR_INVALID_ARGUMENT},
        {"a section entered and nothing run", with64(good, 34 + n, n), VRT_ERROR_INVALID_ARGUMENT},
        {"2^40 sections under a counter that far", with64(far_counter, 26 + n, (uint64_t{1} << 40) - 1),
         VRT_ERROR_INVALID_ARGUMENT},
        {"fewer sections than counted", with64(good, 26 + n, 7), VRT_SUCCESS},
    };
    for (const Case& c : cases) {
      Ctx15 target = NewModeCtx(n, VRT_GOST15_MODE_CTR);
      EXPECT_EQ(vrtGost15RestoreState(target.get(), c.blob.data(), c.blob.size()), c.status) << c.what << " n=" << n;
    }
    // The most sections a restore takes, under a counter that has run them,
    // restores and continues in one call.
    Bytes most = with64(far_counter, 26 + n, vrt::cipher15::kMaxRestoredSections);
    Ctx15 ctx = Restored(n, most);
    cap = out.size();
    const Bytes more = RandomBytes(3 * n);
    EXPECT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), more.data(), more.size(), nullptr, 0, out.data(), &cap),
              VRT_SUCCESS);
  }
}

// An OMAC-ACPKM blob whose generator position agrees with its packet count
// but lies past the key changes a restore may redo is refused with 3; one
// at the bound restores and takes more data.
TEST(Gost15Stream, OmacAcpkmBlobBoundsTheGeneratorWork) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), msg = RandomBytes(5 * n + 3);
    MaskedKey k(key, 0);
    const uint64_t section = n, frame = n + 32;  // a key packet per section, a generator section per packet
    Ctx15 src = NewModeCtx(n, VRT_GOST15_MODE_OMAC_ACPKM, 0, section, frame);
    ASSERT_EQ(vrtGost15MACUpdate(src.get(), k.get(), msg.data(), msg.size()), VRT_SUCCESS);
    const Bytes good = vrt::test::SaveMacState(src.get());
    const size_t p = 5 + 2 * n;
    ASSERT_EQ(vrt::load_le64(good.data() + p + 8), frame);
    // The generator position after count packets, as a context keeps it.
    auto with_count = [&](uint64_t count) {
      Bytes b = good;
      const uint64_t per_packet = (n + 32) / n, per = frame / n, j = count * per_packet - 1;
      vrt::store_le64(b.data() + p + 16, (j - 1) / per);
      vrt::store_le64(b.data() + p + 24, frame - ((j - 1) % per + 1) * n);
      vrt::store_le64(b.data() + p + 32, count);
      return b;
    };
    Ctx15 target = NewModeCtx(n, VRT_GOST15_MODE_MAC);
    for (uint64_t count : {uint64_t{1} << 40, (vrt::cipher15::kMaxRestoredSections + 2) * 1}) {
      const Bytes b = with_count(count);
      EXPECT_EQ(vrtGost15MACRestoreState(target.get(), b.data(), b.size()), VRT_ERROR_INVALID_ARGUMENT)
          << "count " << count << " n=" << n;
    }
    if (n != 16) continue;  // (Magma's million key changes add seconds, and nothing new)
    const Bytes most = with_count(vrt::cipher15::kMaxRestoredSections);
    ASSERT_EQ(vrtGost15MACRestoreState(target.get(), most.data(), most.size()), VRT_SUCCESS) << "n=" << n;
    uint8_t mac[16];
    EXPECT_EQ(vrtGost15MACUpdate(target.get(), k.get(), msg.data(), 2 * n), VRT_SUCCESS);
    EXPECT_EQ(vrtGost15MACGetValue(target.get(), k.get(), mac), VRT_SUCCESS);
  }
}

// After every stream call, no form of the key, and for CTR-ACPKM of any of
// its section keys, is left in the context.
TEST(Gost15Stream, NoKeyMaterialAfterStreamCalls) {
  for (size_t n : kBlockSizes) {
    for (const auto& m : vrt::test::kStreamModes) {
      for (bool encrypt : {true, false}) {
        const uint64_t section = 2 * n;
        const Bytes key = RandomBytes(32), iv = RandomBytes(vrt::test::StreamIvLength(m.mode, n)),
                    msg = RandomBytes(20 * n);
        MaskedKey k(key, GOST89_KEY_XOR);
        vrt::test::KeyForms forms;
        vrt::test::AddKeyForms(forms, n, key);
        forms.words.emplace_back(k.get()->key.data, k.get()->key.data + 32);
        forms.words.emplace_back(k.get()->mask.data, k.get()->mask.data + 32);
        if (m.mode == VRT_GOST15_MODE_CTR_ACPKM) {
          Bytes sk = key;
          for (int i = 0; i < 12; ++i) vrt::test::AddKeyForms(forms, n, sk = vrt::test::AcpkmConvert(n, sk));
        }
        Ctx15 ctx = NewModeCtx(n, m.mode, 0, section);
        Bytes out(msg.size() + n);
        uint64_t cap = out.size();
        SCOPED_TRACE(std::string(m.name) + " n=" + std::to_string(n) + (encrypt ? " enc" : " dec"));
        auto update = encrypt ? vrtGost15EncryptUpdate : vrtGost15DecryptUpdate;
        ASSERT_EQ(update(ctx.get(), k.get(), msg.data(), 9 * n + 1, iv.empty() ? nullptr : iv.data(), iv.size(),
                         out.data(), &cap),
                  VRT_SUCCESS);
        vrt::test::ExpectNoKeyIn(ctx.get(), forms, "after the first piece");
        cap = out.size();
        ASSERT_EQ(update(ctx.get(), k.get(), msg.data() + 9 * n + 1, 11 * n - 1, nullptr, 0, out.data(), &cap),
                  VRT_SUCCESS);
        vrt::test::ExpectNoKeyIn(ctx.get(), forms, "after the second piece");
        cap = out.size();
        ASSERT_EQ((encrypt ? vrtGost15EncryptFinal : vrtGost15DecryptFinal)(ctx.get(), k.get(), out.data(), &cap),
                  VRT_SUCCESS);
        vrt::test::ExpectNoKeyIn(ctx.get(), forms, "after the final");
      }
    }
  }
}

}  // namespace
