// OMAC and OMAC-ACPKM through the MAC calls: the published values, messages
// fed in pieces and carried between contexts by their saved states, the
// subkey edges against a plain model, a context used for one message after
// another, refused calls and blobs that lose nothing, and key hygiene.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cipher15/acpkm_model.h"
#include "cipher15/internal.h"
#include "cipher15/modes_helpers.h"
#include "cipher15/stream_helpers.h"
#include "common/file_test.h"
#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Ctx15;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::RandomBytes;
using vrt::test::RandomPieces;
using vrt::test::RandomSize;
using vrt::test::Restored;
using vrt::test::SaveMacState;
using vrt::test::XorBytes;

struct MacSetup {
  size_t n;
  uint32_t mode;
  uint64_t section, frame;  // OMAC-ACPKM: N and T*
};

bool Acpkm(const MacSetup& s) { return s.mode == VRT_GOST15_MODE_OMAC_ACPKM; }

std::string Name(const MacSetup& s) {
  std::string r = (Acpkm(s) ? "OMAC-ACPKM n=" : "OMAC n=") + std::to_string(s.n);
  if (Acpkm(s)) r += " N=" + std::to_string(s.section) + " T*=" + std::to_string(s.frame);
  return r;
}

// OMAC for both ciphers; OMAC-ACPKM with the sizes of the published examples,
// sections of one block and of three, and generator frames of one, three and
// five key packets.
const MacSetup kOmac16{16, VRT_GOST15_MODE_MAC, 0, 0};
const MacSetup kOmac8{8, VRT_GOST15_MODE_MAC, 0, 0};
const MacSetup kAcpkm16{16, VRT_GOST15_MODE_OMAC_ACPKM, 32, 96};
const MacSetup kAcpkm8{8, VRT_GOST15_MODE_OMAC_ACPKM, 16, 80};
const MacSetup kSetups[] = {kOmac16,
                            kOmac8,
                            kAcpkm16,
                            kAcpkm8,
                            {16, VRT_GOST15_MODE_OMAC_ACPKM, 16, 48},
                            {8, VRT_GOST15_MODE_OMAC_ACPKM, 8, 40},
                            {16, VRT_GOST15_MODE_OMAC_ACPKM, 48, 144},
                            {8, VRT_GOST15_MODE_OMAC_ACPKM, 24, 200}};

Ctx15 NewMacCtx(const MacSetup& s) { return vrt::test::NewModeCtx(s.n, s.mode, 0, s.section, s.frame); }

// The plain model of acpkm_model.h.
Bytes Expected(const MacSetup& s, const Bytes& key, const Bytes& msg) {
  return Acpkm(s) ? vrt::test::OmacAcpkm(s.n, key, s.section, s.frame, msg) : vrt::test::Omac(s.n, key, msg);
}

Bytes GetValue(Gost15Ctx* ctx, const genkey_t* key) {
  Bytes mac(ctx->block_size + 1, 0xa5);
  EXPECT_EQ(vrtGost15MACGetValue(ctx, key, mac.data()), VRT_SUCCESS);
  EXPECT_EQ(mac.back(), 0xa5) << "wrote past the MAC value";
  mac.pop_back();
  return mac;
}

// One MACSimple call (none for the empty message), then GetValue.
Bytes MacOneCall(const MacSetup& s, const genkey_t* key, const Bytes& msg) {
  Ctx15 ctx = NewMacCtx(s);
  if (!msg.empty()) {
    EXPECT_EQ(vrtGost15MACSimple(ctx.get(), key, msg.data(), msg.size()), VRT_SUCCESS);
  }
  return GetValue(ctx.get(), key);
}

Bytes MacEntire(const MacSetup& s, const genkey_t* key, const Bytes& msg) {
  binstr_t m;
  __binstr_init(&m, msg.empty() ? nullptr : const_cast<uint8_t*>(msg.data()), msg.size());
  Bytes mac(s.n);
  EXPECT_EQ(gost15_mac_entire_example(&m, key, s.mode, mac.data(), static_cast<uint32_t>(s.n), s.section, s.frame),
            VRT_SUCCESS);
  return mac;
}

// The MAC value of the message held in a saved state.
Bytes CloseSavedState(size_t n, const genkey_t* key, const Bytes& blob) {
  binstr_t state;
  __binstr_init(&state, const_cast<uint8_t*>(blob.data()), blob.size());
  Bytes mac(n);
  EXPECT_EQ(gost15_mac_stream_final_example(key, static_cast<uint32_t>(n), mac.data(), &state), VRT_SUCCESS);
  return mac;
}

enum class Close { kGetValue, kSavedState };

// msg through MACUpdate calls of the given lengths (the last takes the
// rest; an empty piece is refused with 9 and changes nothing). With move,
// every piece runs in a fresh context restored from the state the previous
// one left. Closed by GetValue, or by gost15_mac_stream_final_example on
// the state after the last piece.
Bytes MacInPieces(const MacSetup& s, const genkey_t* key, const Bytes& msg, const std::vector<size_t>& pieces,
                  bool move, Close close) {
  Ctx15 ctx = NewMacCtx(s);
  size_t off = 0;
  for (size_t p = 0; p <= pieces.size(); ++p) {
    const size_t len = p < pieces.size() ? std::min(pieces[p], msg.size() - off) : msg.size() - off;
    const uint8_t dummy = 0;
    EXPECT_EQ(vrtGost15MACUpdate(ctx.get(), key, len == 0 ? &dummy : msg.data() + off, len),
              len == 0 ? VRT_ERROR_NO_DATA : VRT_SUCCESS)
        << "piece " << p << " of " << len << " bytes";
    off += len;
    if (move) ctx = Restored(s.n, SaveMacState(ctx.get()), true);
  }
  return close == Close::kGetValue ? GetValue(ctx.get(), key) : CloseSavedState(s.n, key, SaveMacState(ctx.get()));
}

// The MAC examples of GOST R 34.13-2015 and the whole MAC values of the key
// export examples: the leftmost bytes printed, in one call, through
// gost15_mac_entire_example, in pieces through saved states, and by the
// model.
TEST(Gost15Mac, PublishedValues) {
  vrt::test::FileTestRun("cipher15/omac.txt", [](FileTest& t) {
    const MacSetup s = t.GetText("Cipher") == "kuznyechik" ? kOmac16 : kOmac8;
    const Bytes key = t.GetBytes("Key"), msg = t.GetBytes("Message"), want = t.GetBytes("MAC");
    ASSERT_LE(want.size(), s.n);
    MaskedKey k(key, GOST89_KEY_XOR);
    EXPECT_EQ(Hex(MacOneCall(s, k.get(), msg).data(), want.size()), Hex(want));
    EXPECT_EQ(Hex(MacEntire(s, k.get(), msg).data(), want.size()), Hex(want));
    EXPECT_EQ(Hex(vrt::test::Omac(s.n, key, msg).data(), want.size()), Hex(want)) << "model";
    for (int round = 0; round < 4; ++round) {
      const Close close = round % 2 == 0 ? Close::kGetValue : Close::kSavedState;
      EXPECT_EQ(Hex(MacInPieces(s, k.get(), msg, RandomPieces(msg.size(), s.n), true, close).data(), want.size()),
                Hex(want))
          << "in pieces, round " << round;
    }
  });
}

// Messages of the published sizes and others, cut at random points: one
// context, or a fresh one restored from the saved state before every
// piece, closed by GetValue or by a restored state, all give the MAC of one
// piece, which is the model's.
TEST(Gost15Mac, PiecesMovedBetweenContextsEqualOnePiece) {
  for (const MacSetup& s : kSetups) {
    const size_t n = s.n;
    std::vector<size_t> lengths = {1, n - 1, n, n + 1, 2 * n, 12, 24, 32, 36, 40, 64, 5 * n + 3, 300};
    if (Acpkm(s)) {
      for (size_t len : {s.section - 1, s.section, s.section + 1, 2 * s.section + n}) lengths.push_back(len);
    }
    lengths.push_back(RandomSize(1, 40 * n));
    for (size_t len : lengths) {
      const Bytes key = RandomBytes(32), msg = RandomBytes(len);
      MaskedKey k(key, GOST89_KEY_ADD);
      SCOPED_TRACE(Name(s) + " len=" + std::to_string(len));
      const Bytes want = Expected(s, key, msg);
      ASSERT_EQ(Hex(MacOneCall(s, k.get(), msg)), Hex(want));
      ASSERT_EQ(Hex(MacEntire(s, k.get(), msg)), Hex(want));
      const std::vector<size_t> pieces = RandomPieces(len, n);
      EXPECT_EQ(Hex(MacInPieces(s, k.get(), msg, pieces, false, Close::kGetValue)), Hex(want)) << "one context";
      EXPECT_EQ(Hex(MacInPieces(s, k.get(), msg, pieces, true, Close::kGetValue)), Hex(want)) << "moved";
      EXPECT_EQ(Hex(MacInPieces(s, k.get(), msg, pieces, true, Close::kSavedState)), Hex(want))
          << "moved, closed from the saved state";
    }
  }
}

// The last block of OMAC, written out over the block cipher: whole with K1,
// padded with K2, and the empty message as the padded block 80 00 .. with
// K2 as in CMAC (with K1 it would have the MAC of the one-block message
// 80 00 .. 00). OMAC-ACPKM takes the subkey from the K1 of the last block's
// own key packet, also when that block opens a new section.
TEST(Gost15Mac, SubkeyEdges) {
  for (const MacSetup& s : {kOmac16, kOmac8}) {
    const size_t n = s.n;
    const Bytes key = RandomBytes(32), msg = RandomBytes(n + 1);
    MaskedKey k(key, GOST89_KEY_XOR);
    const vrt::test::Model m(n, key);
    const Bytes k1 = vrt::test::Double(m.E(Bytes(n, 0))), k2 = vrt::test::Double(k1);
    Bytes pad(n, 0);
    pad[0] = 0x80;
    const Bytes block(msg.begin(), msg.begin() + n);
    Bytes last(n, 0);
    last[0] = msg[n];
    last[1] = 0x80;
    struct Edge {
      const char* what;
      Bytes msg, mac;
    };
    const Edge edges[] = {
        {"one block, K1", block, m.E(XorBytes(block, k1))},
        {"one byte more, K2 on the padded block", msg, m.E(XorBytes(XorBytes(m.E(block), last), k2))},
        {"empty, the padded block with K2", {}, m.E(XorBytes(pad, k2))},
        {"one byte, K2", Bytes(1, msg[n]), m.E(XorBytes(last, k2))},
    };
    for (const Edge& e : edges) {
      SCOPED_TRACE(Name(s) + ": " + e.what);
      EXPECT_EQ(Hex(MacOneCall(s, k.get(), e.msg)), Hex(e.mac));
      EXPECT_EQ(Hex(MacEntire(s, k.get(), e.msg)), Hex(e.mac));
      EXPECT_EQ(Hex(Expected(s, key, e.msg)), Hex(e.mac)) << "model";
    }
    EXPECT_NE(Hex(MacOneCall(s, k.get(), {})), Hex(MacOneCall(s, k.get(), pad))) << "the empty message and 80 00 .. 00";
  }
  for (const MacSetup& s : {kAcpkm16, kAcpkm8}) {
    const size_t n = s.n;
    const Bytes key = RandomBytes(32);
    MaskedKey k(key, GOST89_KEY_ADD);
    const std::vector<vrt::test::KeyPacket> p = vrt::test::MasterPackets(n, key, s.frame, 2);
    Bytes pad(n, 0);
    pad[0] = 0x80;
    const Bytes one = RandomBytes(n);
    // The empty message and one block under the first packet.
    EXPECT_EQ(Hex(MacOneCall(s, k.get(), {})),
              Hex(vrt::test::Model(n, p[0].key).E(XorBytes(pad, vrt::test::Double(p[0].k1)))))
        << Name(s) << " empty";
    EXPECT_EQ(Hex(MacOneCall(s, k.get(), one)), Hex(vrt::test::Model(n, p[0].key).E(XorBytes(one, p[0].k1))))
        << Name(s) << " one block";
    // Around the section edge: the last block closes the first section, or
    // opens the second with the second packet's key and K1.
    for (size_t len : {size_t{0}, n - 1, n, n + 1, s.section - 1, s.section, s.section + 1, s.section + n,
                       2 * s.section, 2 * s.section + 1}) {
      const Bytes msg = RandomBytes(len);
      SCOPED_TRACE(Name(s) + " len=" + std::to_string(len));
      const Bytes want = Expected(s, key, msg);
      EXPECT_EQ(Hex(MacOneCall(s, k.get(), msg)), Hex(want));
      EXPECT_EQ(Hex(MacEntire(s, k.get(), msg)), Hex(want));
    }
    const Bytes two = RandomBytes(s.section + n);
    const vrt::test::Model first(n, p[0].key), second(n, p[1].key);
    Bytes c(n, 0);
    for (size_t b = 0; b < s.section / n; ++b)
      c = first.E(XorBytes(c, Bytes(two.begin() + b * n, two.begin() + (b + 1) * n)));
    const Bytes tail(two.end() - n, two.end());
    EXPECT_EQ(Hex(MacOneCall(s, k.get(), two)), Hex(second.E(XorBytes(XorBytes(c, tail), p[1].k1))))
        << Name(s) << " a last block that opens a section";
  }
}

// GetValue ends the message: the context is back in its fresh state, takes
// the next message in the same mode and sizes, and a GetValue with nothing
// fed gives the MAC of the empty message.
TEST(Gost15Mac, GetValueStartsTheNextMessage) {
  for (const MacSetup& s : kSetups) {
    const Bytes key = RandomBytes(32);
    MaskedKey k(key, GOST89_KEY_XOR);
    Ctx15 ctx = NewMacCtx(s);
    const Bytes fresh = SaveMacState(ctx.get());
    SCOPED_TRACE(Name(s));
    for (int round = 0; round < 3; ++round) {
      const Bytes msg = RandomBytes(RandomSize(1, 6 * s.n));
      const size_t cut = RandomSize(0, msg.size() - 1);
      if (cut != 0) {
        ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data(), cut), VRT_SUCCESS);
      }
      ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data() + cut, msg.size() - cut), VRT_SUCCESS);
      EXPECT_EQ(Hex(GetValue(ctx.get(), k.get())), Hex(Expected(s, key, msg))) << "message " << round;
      EXPECT_EQ(Hex(SaveMacState(ctx.get())), Hex(fresh)) << "state after message " << round;
    }
    EXPECT_EQ(Hex(GetValue(ctx.get(), k.get())), Hex(Expected(s, key, {}))) << "nothing fed";
    EXPECT_EQ(Hex(GetValue(ctx.get(), k.get())), Hex(Expected(s, key, {}))) << "nothing fed, again";
  }
}

// The vector call: out, when given, receives the chain value after the
// blocks processed and is not advanced; skipped lanes and empty requests
// are nothing to do.
TEST(Gost15Mac, VectorCall) {
  for (const MacSetup& s : {kOmac16, kOmac8}) {
    const size_t n = s.n;
    const Bytes key = RandomBytes(32), msg = RandomBytes(3 * n + 2);
    MaskedKey k(key, 0);
    const vrt::test::Model m(n, key);
    Bytes chain(n, 0);
    for (size_t b = 0; b < 3; ++b) chain = m.E(XorBytes(chain, Bytes(msg.begin() + b * n, msg.begin() + (b + 1) * n)));
    Ctx15 ctx = NewMacCtx(s);
    Bytes out(n + 1, 0xa5);
    Gost15Vec v = vrt::test::Vec(msg.size(), msg.data(), out.data(), k.get(), nullptr, 0);
    Gost15Vec skip = v;
    skip.status = VRT_VEC_SKIP;
    EXPECT_EQ(vrtGost15MAC(ctx.get(), &skip, 1), VRT_ERROR_NO_DATA);
    EXPECT_EQ(vrtGost15MAC(ctx.get(), &v, 0), VRT_ERROR_NO_DATA);
    EXPECT_EQ(Hex(out), Hex(Bytes(n + 1, 0xa5)));
    ASSERT_EQ(vrtGost15MAC(ctx.get(), &v, 1), VRT_SUCCESS);
    EXPECT_EQ(Hex(out.data(), n), Hex(chain)) << Name(s);
    EXPECT_EQ(out[n], 0xa5);
    EXPECT_EQ(v.out, out.data()) << "out is not advanced";
    EXPECT_EQ(v.len, 0u);
    EXPECT_EQ(v.in, msg.data() + msg.size());
    EXPECT_EQ(Hex(GetValue(ctx.get(), k.get())), Hex(Expected(s, key, msg)));
  }
}

// Calls refused in the middle of a message: each returns its status and
// leaves the state as it was, nothing is written, and the message goes on
// to the right MAC afterwards.
TEST(Gost15Mac, RefusedCallsLoseNothing) {
  for (const MacSetup& s : {kOmac16, kOmac8, kAcpkm16, kAcpkm8}) {
    const size_t n = s.n;
    const Bytes key = RandomBytes(32), msg = RandomBytes(5 * n + 3), iv = RandomBytes(n);
    MaskedKey k(key, GOST89_KEY_XOR), short_key(RandomBytes(16), GOST89_KEY_XOR), long_key(RandomBytes(64), 0);
    genkey_t empty{};
    Ctx15 ctx = NewMacCtx(s);
    const size_t first = 2 * n + 3;
    ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data(), first), VRT_SUCCESS);
    const Bytes before = SaveMacState(ctx.get());
    const uint8_t* in = msg.data() + first;
    const size_t len = msg.size() - first;
    Bytes out(msg.size() + n, 0xa5);
    uint64_t cap = out.size();
    Gost15Vec v = vrt::test::Vec(len, in, nullptr, k.get(), nullptr, 0);
    Gost15Vec two[2] = {v, v};
    Gost15Vec cipher_vec = vrt::test::Vec(len, in, out.data(), k.get(), iv.data(), iv.size());
    struct Refusal {
      const char* what;
      uint32_t status;
      uint32_t got;
    };
    const Refusal refusals[] = {
        {"null context", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACUpdate(nullptr, k.get(), in, len)},
        {"null key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACUpdate(ctx.get(), nullptr, in, len)},
        {"no key data", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACUpdate(ctx.get(), &empty, in, len)},
        {"16-byte key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACUpdate(ctx.get(), short_key.get(), in, len)},
        {"64-byte key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACSimple(ctx.get(), long_key.get(), in, len)},
        {"null data", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACSimple(ctx.get(), k.get(), nullptr, len)},
        {"empty piece", VRT_ERROR_NO_DATA, vrtGost15MACUpdate(ctx.get(), k.get(), in, 0)},
        {"null descriptors", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MAC(ctx.get(), nullptr, 1)},
        {"more descriptors than lanes", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MAC(ctx.get(), two, 2)},
        {"value, null context", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACGetValue(nullptr, k.get(), out.data())},
        {"value, null key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACGetValue(ctx.get(), nullptr, out.data())},
        {"value, no key data", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACGetValue(ctx.get(), &empty, out.data())},
        {"value, 16-byte key", VRT_ERROR_INVALID_ARGUMENT,
         vrtGost15MACGetValue(ctx.get(), short_key.get(), out.data())},
        {"value, 64-byte key", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACGetValue(ctx.get(), long_key.get(), out.data())},
        {"value, null output", VRT_ERROR_INVALID_ARGUMENT, vrtGost15MACGetValue(ctx.get(), k.get(), nullptr)},
        // The cipher calls serve no MAC mode.
        {"encrypt", VRT_ERROR_UNSUPPORTED,
         vrtGost15EncryptSimple(ctx.get(), k.get(), in, out.data(), len, iv.data(), iv.size())},
        {"decrypt", VRT_ERROR_UNSUPPORTED,
         vrtGost15DecryptSimple(ctx.get(), k.get(), in, out.data(), len, iv.data(), iv.size())},
        {"encrypt, vector call", VRT_ERROR_UNSUPPORTED, vrtGost15Encrypt(ctx.get(), &cipher_vec, 1)},
        {"encrypt update", VRT_ERROR_UNSUPPORTED,
         vrtGost15EncryptUpdate(ctx.get(), k.get(), in, len, iv.data(), iv.size(), out.data(), &cap)},
        {"decrypt update", VRT_ERROR_UNSUPPORTED,
         vrtGost15DecryptUpdate(ctx.get(), k.get(), in, len, iv.data(), iv.size(), out.data(), &cap)},
        {"encrypt final", VRT_ERROR_UNSUPPORTED, vrtGost15EncryptFinal(ctx.get(), k.get(), out.data(), &cap)},
        {"decrypt final", VRT_ERROR_UNSUPPORTED, vrtGost15DecryptFinal(ctx.get(), k.get(), out.data(), &cap)},
        {"cipher state", VRT_ERROR_UNSUPPORTED, vrtGost15SaveState(ctx.get(), nullptr, &cap)},
    };
    for (const Refusal& r : refusals) {
      EXPECT_EQ(r.got, r.status) << r.what << ", " << Name(s);
      EXPECT_EQ(Hex(SaveMacState(ctx.get())), Hex(before)) << r.what << ", " << Name(s);
    }
    EXPECT_EQ(Hex(out), Hex(Bytes(out.size(), 0xa5))) << "nothing written, " << Name(s);
    ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), in, len), VRT_SUCCESS);
    EXPECT_EQ(Hex(GetValue(ctx.get(), k.get())), Hex(Expected(s, key, msg))) << Name(s);
  }
}

// The MAC calls on a context in a cipher mode, or on one never
// initialised: refused, and an open cipher stream goes on unharmed.
TEST(Gost15Mac, MacCallsOnOtherContexts) {
  const Bytes key = RandomBytes(32), msg = RandomBytes(45);
  MaskedKey k(key, 0);
  for (size_t n : {size_t{16}, size_t{8}}) {
    for (const auto& m : vrt::test::kStreamModes) {
      const Bytes iv = RandomBytes(vrt::test::StreamIvLength(m.mode, n));
      const uint8_t* ivp = iv.empty() ? nullptr : iv.data();
      Ctx15 ctx = vrt::test::NewModeCtx(n, m.mode, 0, 2 * n);
      Bytes out(64, 0);
      uint64_t cap = out.size();
      ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data(), 20, ivp, iv.size(), out.data(), &cap),
                VRT_SUCCESS);
      const Bytes before = vrt::test::SaveState(ctx.get());
      Gost15Vec v = vrt::test::Vec(25, msg.data() + 20, nullptr, k.get(), nullptr, 0);
      Bytes mac(n, 0xa5), blob(2 * n + 53, 0xa5);
      uint64_t size = blob.size();
      SCOPED_TRACE(std::string(m.name) + " n=" + std::to_string(n));
      EXPECT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data() + 20, 25), VRT_ERROR_UNSUPPORTED);
      EXPECT_EQ(vrtGost15MACSimple(ctx.get(), k.get(), msg.data() + 20, 25), VRT_ERROR_UNSUPPORTED);
      EXPECT_EQ(vrtGost15MAC(ctx.get(), &v, 1), VRT_ERROR_UNSUPPORTED);
      EXPECT_EQ(vrtGost15MACGetValue(ctx.get(), k.get(), mac.data()), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtGost15MACSaveState(ctx.get(), nullptr, &size), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtGost15MACSaveState(ctx.get(), blob.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(size, blob.size());
      EXPECT_EQ(Hex(mac), Hex(Bytes(n, 0xa5)));
      EXPECT_EQ(Hex(blob), Hex(Bytes(blob.size(), 0xa5)));
      EXPECT_EQ(Hex(vrt::test::SaveState(ctx.get())), Hex(before));
      // The stream goes on to the one-shot result.
      const uint64_t held = ctx->tail_len;
      cap = out.size() - (20 - held);
      ASSERT_EQ(
          vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data() + 20, 25, nullptr, 0, out.data() + 20 - held, &cap),
          VRT_SUCCESS);
      const size_t done = 45 - ctx->tail_len;
      cap = out.size() - done;
      ASSERT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), out.data() + done, &cap), VRT_SUCCESS);
      const Bytes want = vrt::test::OneShot(n, m.mode, 2 * n, true, k.get(), iv, msg);
      EXPECT_EQ(Hex(out.data(), want.size()), Hex(want));
    }
    // Allocated, never initialised: no cipher chosen, nothing runs; a MAC
    // state restores into it all the same.
    Gost15Ctx* raw = nullptr;
    ASSERT_EQ(vrtGost15CtxAlloc(&raw, 1, static_cast<uint32_t>(n)), VRT_SUCCESS);
    Ctx15 bare(raw);
    Bytes mac(n);
    uint64_t size = 0;
    EXPECT_EQ(vrtGost15MACUpdate(bare.get(), k.get(), msg.data(), 20), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtGost15MACGetValue(bare.get(), k.get(), mac.data()), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtGost15MACSaveState(bare.get(), nullptr, &size), VRT_ERROR_INVALID_ARGUMENT);
    const MacSetup s = n == 16 ? kAcpkm16 : kAcpkm8;
    Ctx15 src = NewMacCtx(s);
    ASSERT_EQ(vrtGost15MACUpdate(src.get(), k.get(), msg.data(), 20), VRT_SUCCESS);
    const Bytes blob = SaveMacState(src.get());
    ASSERT_EQ(vrtGost15MACRestoreState(bare.get(), blob.data(), blob.size()), VRT_SUCCESS);
    ASSERT_EQ(vrtGost15MACUpdate(bare.get(), k.get(), msg.data() + 20, 25), VRT_SUCCESS);
    EXPECT_EQ(Hex(GetValue(bare.get(), k.get())), Hex(Expected(s, key, msg))) << "restored into a bare context";
  }
}

// The blob: its size and the size checks, and its fields for a message
// under way in each MAC mode.
TEST(Gost15Mac, StateBlobLayout) {
  for (const MacSetup& s : {kOmac16, kOmac8, kAcpkm16, kAcpkm8}) {
    const size_t n = s.n;
    SCOPED_TRACE(Name(s));
    Ctx15 ctx = NewMacCtx(s);
    uint64_t size = 0;
    ASSERT_EQ(vrtGost15MACSaveState(ctx.get(), nullptr, &size), VRT_SUCCESS);
    EXPECT_EQ(size, 2 * n + 53);
    Bytes blob(size + 1, 0xa5);
    EXPECT_EQ(vrtGost15MACSaveState(nullptr, blob.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtGost15MACSaveState(ctx.get(), blob.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
    for (uint64_t wrong : {size - 1, size + 1, uint64_t{0}}) {
      uint64_t w = wrong;
      EXPECT_EQ(vrtGost15MACSaveState(ctx.get(), blob.data(), &w), VRT_ERROR_INVALID_ARGUMENT) << wrong;
      EXPECT_EQ(w, wrong);
    }
    EXPECT_EQ(Hex(blob), Hex(Bytes(blob.size(), 0xa5))) << "nothing written";

    // Five blocks run, three bytes held.
    const Bytes key = RandomBytes(32), msg = RandomBytes(5 * n + 3);
    MaskedKey k(key, 0);
    ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data(), msg.size()), VRT_SUCCESS);
    ASSERT_EQ(vrtGost15MACSaveState(ctx.get(), blob.data(), &size), VRT_SUCCESS);
    EXPECT_EQ(blob[size], 0xa5) << "wrote past the blob";
    EXPECT_EQ(vrt::load_le32(blob.data()), s.mode);
    EXPECT_EQ(blob[4], 3);
    EXPECT_EQ(Hex(blob.data() + 5, 3), Hex(msg.data() + 5 * n, 3));
    Bytes chain(n, 0);
    const std::vector<vrt::test::KeyPacket> packets =
        vrt::test::MasterPackets(n, key, s.frame == 0 ? n + 32 : s.frame, 3);
    for (size_t b = 0; b < 5; ++b) {
      // OMAC-ACPKM with two blocks a section: packets 1, 1, 2, 2, 3.
      const Bytes& bk = Acpkm(s) ? packets[b / 2].key : key;
      chain = vrt::test::Model(n, bk).E(XorBytes(chain, Bytes(msg.begin() + b * n, msg.begin() + (b + 1) * n)));
    }
    EXPECT_EQ(Hex(blob.data() + 5 + n, n), Hex(chain)) << "the chain value";
    const uint8_t* p = blob.data() + 5 + 2 * n;
    EXPECT_EQ(vrt::load_le64(p), s.section);
    EXPECT_EQ(vrt::load_le64(p + 8), s.frame);
    if (Acpkm(s)) {
      // Three packets taken: the generator ran 3 (n + 32) / n blocks and
      // holds the last of them (the third packet's K1) back.
      const uint64_t per_frame = s.frame / n, run = 3 * (n + 32) / n - 1;
      EXPECT_EQ(vrt::load_le64(p + 16), (run - 1) / per_frame) << "generator key changes";
      EXPECT_EQ(vrt::load_le64(p + 24), s.frame - ((run - 1) % per_frame + 1) * n) << "generator bytes left";
      EXPECT_EQ(vrt::load_le64(p + 32), 3u) << "packets taken";
      EXPECT_EQ(vrt::load_le64(p + 40), 1u) << "blocks left for the third key";
    } else {
      for (int i = 2; i < 6; ++i) EXPECT_EQ(vrt::load_le64(p + 8 * i), 0u) << "field " << i;
    }
  }
}

// Blobs that are no state of a message: a wrong size is refused with 12,
// content no message can have with 3; the target keeps its own message
// either way, which then ends with its right MAC.
TEST(Gost15Mac, RefusedBlobsLeaveTheContext) {
  for (const MacSetup& s : {kOmac16, kOmac8, kAcpkm16, kAcpkm8}) {
    const size_t n = s.n;
    const Bytes key = RandomBytes(32), msg = RandomBytes(5 * n + 3);
    MaskedKey k(key, 0);
    Ctx15 src = NewMacCtx(s);
    ASSERT_EQ(vrtGost15MACUpdate(src.get(), k.get(), msg.data(), msg.size()), VRT_SUCCESS);
    const Bytes good = SaveMacState(src.get());
    const size_t fields = 5 + 2 * n;
    auto with = [&](size_t at, uint8_t v) {
      Bytes b = good;
      b[at] = v;
      return b;
    };
    auto with64 = [&](size_t field, uint64_t v) {
      Bytes b = good;
      vrt::store_le64(b.data() + fields + 8 * field, v);
      return b;
    };
    auto field = [&](size_t f) { return vrt::load_le64(good.data() + fields + 8 * f); };
    struct Bad {
      const char* what;
      Bytes blob;
      uint32_t status;
    };
    Bytes grown = good, shrunk = good;
    grown.push_back(0);
    shrunk.pop_back();
    // A fresh state with a chain value: no block has run, so there is none.
    Bytes chain_only = good;
    chain_only[4] = 0;
    std::vector<Bad> bad = {
        {"one byte short", shrunk, VRT_ERROR_LENGTH},
        {"one byte over", grown, VRT_ERROR_LENGTH},
        {"the size of the other cipher", Bytes(2 * (24 - n) + 53, 0), VRT_ERROR_LENGTH},
        {"no mode", with(0, 0), VRT_ERROR_INVALID_ARGUMENT},
        {"a cipher mode", with(0, 0x02), VRT_ERROR_INVALID_ARGUMENT},
        {"an unknown mode", with(0, 0x09), VRT_ERROR_INVALID_ARGUMENT},
        {"more held than a block", with(4, static_cast<uint8_t>(n + 1)), VRT_ERROR_INVALID_ARGUMENT},
        {"255 held", with(4, 255), VRT_ERROR_INVALID_ARGUMENT},
        {"nothing held but a chain value", chain_only, VRT_ERROR_INVALID_ARGUMENT},
    };
    if (!Acpkm(s)) {
      bad.push_back({"a section size", with64(0, 32), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"a frame size", with64(1, 96), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"packets taken", with64(4, 1), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"blocks left for a key", with64(5, 1), VRT_ERROR_INVALID_ARGUMENT});
    } else {
      bad.push_back({"no section", with64(0, 0), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"ragged section", with64(0, s.section + 1), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"no frame", with64(1, 0), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"ragged frame", with64(1, s.frame + n), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"generator key changes", with64(2, field(2) + 1), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"generator bytes left", with64(3, field(3) + n), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"one packet more", with64(4, field(4) + 1), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"more blocks left than a section", with64(5, s.section / s.n), VRT_ERROR_INVALID_ARGUMENT});
      bad.push_back({"a packet count past every counter", with64(4, UINT64_MAX), VRT_ERROR_INVALID_ARGUMENT});
      // Blocks have run (there is a chain value) but no key packet was taken.
      Bytes no_packet = good;
      for (size_t f = 2; f < 6; ++f) vrt::store_le64(no_packet.data() + fields + 8 * f, 0);
      bad.push_back({"a chain value without a packet", no_packet, VRT_ERROR_INVALID_ARGUMENT});
    }
    for (const Bad& b : bad) {
      SCOPED_TRACE(Name(s) + ": " + b.what);
      // The target holds a message of its own, under another key.
      const Bytes tkey = RandomBytes(32), tmsg = RandomBytes(4 * n + 1);
      MaskedKey tk(tkey, GOST89_KEY_XOR);
      Ctx15 target = NewMacCtx(s);
      ASSERT_EQ(vrtGost15MACUpdate(target.get(), tk.get(), tmsg.data(), 2 * n + 1), VRT_SUCCESS);
      const Bytes before = SaveMacState(target.get());
      EXPECT_EQ(vrtGost15MACRestoreState(target.get(), b.blob.data(), b.blob.size()), b.status);
      EXPECT_EQ(Hex(SaveMacState(target.get())), Hex(before));
      ASSERT_EQ(vrtGost15MACUpdate(target.get(), tk.get(), tmsg.data() + 2 * n + 1, 2 * n), VRT_SUCCESS);
      EXPECT_EQ(Hex(GetValue(target.get(), tk.get())), Hex(Expected(s, tkey, tmsg))) << "the target's message";
    }
    // The good blob restores, saves back to itself and ends the message.
    Ctx15 back = Restored(n, good, true);
    EXPECT_EQ(Hex(SaveMacState(back.get())), Hex(good)) << Name(s);
    EXPECT_EQ(Hex(GetValue(back.get(), k.get())), Hex(Expected(s, key, msg))) << Name(s);
    EXPECT_EQ(vrtGost15MACRestoreState(nullptr, good.data(), good.size()), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtGost15MACRestoreState(back.get(), nullptr, good.size()), VRT_ERROR_INVALID_ARGUMENT);
  }
}

// After every MAC call no form of the key is left in the context: not the
// key or its masked halves, not its schedule, not the OMAC subkeys, and for
// OMAC-ACPKM none of the section keys, their K1 material or the
// generator's keys.
TEST(Gost15Mac, NoKeyMaterialAfterMacCalls) {
  for (const MacSetup& s : {kOmac16, kOmac8, kAcpkm16, kAcpkm8}) {
    const size_t n = s.n;
    const Bytes key = RandomBytes(32), msg = RandomBytes(20 * n + 4);
    MaskedKey k(key, GOST89_KEY_XOR);
    vrt::test::KeyForms forms;
    vrt::test::AddKeyForms(forms, n, key);
    forms.words.emplace_back(k.get()->key.data, k.get()->key.data + 32);
    forms.words.emplace_back(k.get()->mask.data, k.get()->mask.data + 32);
    if (Acpkm(s)) {
      const size_t count = (msg.size() / n) / (s.section / n) + 1;
      for (const vrt::test::KeyPacket& p : vrt::test::MasterPackets(n, key, s.frame, count)) {
        vrt::test::AddKeyForms(forms, n, p.key);
        forms.words.push_back(p.k1);
        forms.words.push_back(vrt::test::Double(p.k1));
      }
      Bytes gk = key;
      for (size_t i = 0; i < count * (n + 32) / s.frame + 1; ++i)
        vrt::test::AddKeyForms(forms, n, gk = vrt::test::AcpkmConvert(n, gk));
    } else {
      const Bytes r = vrt::test::Model(n, key).E(Bytes(n, 0)), k1 = vrt::test::Double(r);
      forms.words.insert(forms.words.end(), {r, k1, vrt::test::Double(k1)});
    }
    SCOPED_TRACE(Name(s));
    Ctx15 ctx = NewMacCtx(s);
    ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data(), 9 * n + 1), VRT_SUCCESS);
    vrt::test::ExpectNoKeyIn(ctx.get(), forms, "after the first piece");
    ASSERT_EQ(vrtGost15MACUpdate(ctx.get(), k.get(), msg.data() + 9 * n + 1, 11 * n - 1), VRT_SUCCESS);
    vrt::test::ExpectNoKeyIn(ctx.get(), forms, "after the second piece");
    Ctx15 moved = Restored(n, SaveMacState(ctx.get()), true);
    ASSERT_EQ(vrtGost15MACUpdate(moved.get(), k.get(), msg.data() + 20 * n, 4), VRT_SUCCESS);
    vrt::test::ExpectNoKeyIn(moved.get(), forms, "after a piece in a restored context");
    Bytes mac(n);
    ASSERT_EQ(vrtGost15MACGetValue(moved.get(), k.get(), mac.data()), VRT_SUCCESS);
    EXPECT_EQ(Hex(mac), Hex(Expected(s, key, msg)));
    vrt::test::ExpectNoKeyIn(moved.get(), forms, "after GetValue");
  }
}

}  // namespace
