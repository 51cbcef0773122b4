// MGM on bad input: every refusal has its status and loses nothing; a
// rejected message releases no plaintext; saved states of the wrong size or
// with inconsistent content are refused; and no call leaves the unmasked key
// or a round key in the context.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "cipher15/mgm.h"
#include "cipher15/mgm_test_util.h"
#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;
using namespace vrt::test::mgm;

constexpr uint64_t kSizes[] = {16, 8};

TEST(MgmErrors, AllocationAndInitialisation) {
  AeadCtx* ctx = reinterpret_cast<AeadCtx*>(uintptr_t{1});
  for (auto [lanes, n] : {std::pair<uint32_t, uint64_t>{0, 16}, {2, 16}, {8, 8}, {1, 0}, {1, 12}, {1, 32}}) {
    EXPECT_EQ(vrtAEADCtxAlloc(&ctx, lanes, n), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(vrtAEADCtxAllocInitialized(&ctx, lanes, n), VRT_ERROR_INVALID_ARGUMENT);
  }
  EXPECT_EQ(vrtAEADCtxAlloc(nullptr, 1, 16), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtAEADCtxInit(nullptr, 1), VRT_ERROR_INVALID_ARGUMENT);
  vrtAEADCtxFree(nullptr);

  // A context whose initialisation failed refuses everything.
  ASSERT_EQ(vrtAEADCtxAlloc(&ctx, 1, 16), VRT_SUCCESS);
  Key key(RandomBytes(32));
  const Bytes nonce = RandomBytes(16), data = RandomBytes(20);
  Bytes out(20);
  uint64_t size = 0;
  for (int round = 0; round < 2; ++round) {  // never initialised, then initialised with 2 lanes
    EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptSimple(ctx, &key.g, data.data(), out.data(), 20, nullptr, 0), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, data.data(), 20, VRT_AEAD_KIND_AAD, nullptr, nullptr),
              VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADSaveState(ctx, nullptr, &size), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADImitSetValue(ctx, data.data(), 4), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADCtxInit(ctx, 2), VRT_ERROR_INVALID_ARGUMENT);
  }
  EXPECT_EQ(vrtAEADCtxInit(ctx, 1), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADSetNonce(ctx, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  vrtAEADCtxFree(ctx);
}

// One-call requests: a table of bad descriptors, each refused before any
// byte of output is written.
TEST(MgmErrors, OneCallRequests) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    genkey_t short_key{};
    ASSERT_EQ(genkey_alloc(&short_key, 16, 0), VRT_SUCCESS);
    const Bytes nonce = RandomBytes(n), data = RandomBytes(40), aad = RandomBytes(10);
    Ctx ctx(n);
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    const uint64_t limit = n == 8 ? (uint64_t{1} << 29) - 1 : (uint64_t{1} << 61) - 1;
    Bytes out(40, 0xee);
    struct Case {
      const char* what;
      AeadVec text, ad;
      uint64_t count;
      bool null_text;
      uint32_t want;
    };
    const genkey_t* k = &key.g;
    const Case cases[] = {
        {"count 0", {k, 0, 0, 40, data.data(), out.data()}, {}, 0, false, VRT_ERROR_NO_DATA},
        {"count 2", {k, 0, 0, 40, data.data(), out.data()}, {}, 2, false, VRT_ERROR_INVALID_ARGUMENT},
        {"no text descriptor", {}, {}, 1, true, VRT_ERROR_INVALID_ARGUMENT},
        {"empty message", {k, 0, 0, 0, data.data(), out.data()}, {nullptr, 0, 0, 0, aad.data(), nullptr}, 1, false,
         VRT_ERROR_INVALID_ARGUMENT},
        {"no key", {nullptr, 0, 0, 40, data.data(), out.data()}, {}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
        {"16-byte key", {&short_key, 0, 0, 40, data.data(), out.data()}, {}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
        {"no input", {k, 0, 0, 40, nullptr, out.data()}, {}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
        {"no output", {k, 0, 0, 40, data.data(), nullptr}, {}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
        {"no associated data", {k, 0, 0, 40, data.data(), out.data()}, {nullptr, 0, 0, 10, nullptr, nullptr}, 1,
         false, VRT_ERROR_INVALID_ARGUMENT},
        {"skipped lane", {k, VRT_VEC_SKIP, 0, 40, data.data(), out.data()}, {}, 1, false, VRT_ERROR_NO_DATA},
        // Lengths past the mode's limit are refused before the data is read.
        {"text too long", {k, 0, 0, limit + 1, data.data(), out.data()}, {}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
        {"both too long together", {k, 0, 0, limit / 2 + 1, data.data(), out.data()},
         {nullptr, 0, 0, limit / 2 + 1, aad.data(), nullptr}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
        {"length overflow", {k, 0, 0, UINT64_MAX, data.data(), out.data()},
         {nullptr, 0, 0, 2, aad.data(), nullptr}, 1, false, VRT_ERROR_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
      for (bool decrypt : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.what << (decrypt ? " decrypt" : " encrypt"));
        AeadVec text = c.text, ad = c.ad;
        if (decrypt) {
          ASSERT_EQ(vrtAEADImitSetValue(ctx, data.data(), n), VRT_SUCCESS);
        }
        const uint32_t st = decrypt ? vrtAEADDecrypt(ctx, c.null_text ? nullptr : &text, &ad, c.count)
                                    : vrtAEADEncrypt(ctx, c.null_text ? nullptr : &text, &ad, c.count);
        EXPECT_EQ(st, c.want);
        EXPECT_EQ(Hex(out), Hex(Bytes(40, 0xee)));
      }
    }
    EXPECT_EQ(vrtAEADEncrypt(nullptr, nullptr, nullptr, 1), VRT_ERROR_INVALID_ARGUMENT);
    // The context is still good for a real message, and a null
    // associated-data descriptor means none.
    AeadVec text{k, 0, 0, 40, data.data(), out.data()};
    EXPECT_EQ(vrtAEADEncrypt(ctx, &text, nullptr, 1), VRT_SUCCESS);
    EXPECT_EQ(text.status & 0xff, VRT_VEC_FINISHED | VRT_VEC_ACTIVE);
    EXPECT_EQ(Hex(out), Hex(Seal(n, k, nonce, {}, data).text));
    genkey_free(&short_key);
  }
}

// A tag that does not match, in any bit of the tag, the ciphertext or the
// associated data: status 1, the output untouched, in one call and as a
// stream; no expected tag at all fails the same way.
TEST(MgmErrors, RejectedMessagesReleaseNothing) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(2 * n + 3), pt = RandomBytes(3 * n + 5);
    const Sealed good = Seal(n, &key.g, nonce, aad, pt);
    struct Variant {
      const char* what;
      Bytes aad, ct, tag;
    };
    std::vector<Variant> variants;
    for (size_t bit : {size_t{0}, 8 * n - 1, size_t{37}}) {
      Variant v{"tag bit", aad, good.text, good.tag};
      v.tag[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
      variants.push_back(v);
    }
    for (size_t byte : {size_t{0}, n, pt.size() - 1}) {
      Variant v{"ciphertext bit", aad, good.text, good.tag};
      v.ct[byte] ^= 0x10;
      variants.push_back(v);
    }
    Variant a{"associated-data bit", aad, good.text, good.tag};
    a.aad[1] ^= 1;
    variants.push_back(a);
    Variant shorter{"a byte less of ciphertext", aad, Bytes(good.text.begin(), good.text.end() - 1), good.tag};
    variants.push_back(shorter);
    for (const Variant& v : variants) {
      SCOPED_TRACE(v.what);
      const Bytes sentinel(v.ct.size(), 0xee);
      Bytes out = sentinel;
      Ctx ctx(n);
      ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
      ASSERT_EQ(vrtAEADImitSetValue(ctx, v.tag.data(), n), VRT_SUCCESS);
      EXPECT_EQ(vrtAEADDecryptSimple(ctx, &key.g, v.ct.data(), out.data(), v.ct.size(), v.aad.data(), v.aad.size()),
                VRT_ERROR_FAILED);
      EXPECT_EQ(Hex(out), Hex(sentinel));
      // The valid tag of the rejected message is not left to read back.
      Bytes tag(n, 0xaa);
      ASSERT_EQ(vrtAEADImitGetValue(ctx, tag.data(), n), VRT_SUCCESS);
      EXPECT_EQ(Hex(tag), Hex(Bytes(n, 0)));

      ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, v.aad.data(), v.aad.size(), VRT_AEAD_KIND_AAD), VRT_SUCCESS);
      ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, v.ct.data(), v.ct.size(), VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
      uint64_t size = out.size();
      EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_ERROR_FAILED);
      EXPECT_EQ(Hex(out), Hex(sentinel));
      EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_ERROR_UNSUPPORTED);  // the stream ended
    }
    // Without an expected tag: 1 and nothing written; a stream stays open
    // until the tag is given.
    Ctx ctx(n);
    Bytes out(pt.size(), 0xee);
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADDecryptSimple(ctx, &key.g, good.text.data(), out.data(), pt.size(), aad.data(), aad.size()),
              VRT_ERROR_FAILED);
    EXPECT_EQ(Hex(out), Hex(Bytes(pt.size(), 0xee)));
    ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, good.text.data(), pt.size(), VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
    uint64_t size = out.size();
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_ERROR_FAILED);
    EXPECT_EQ(Hex(out), Hex(Bytes(pt.size(), 0xee)));
    ASSERT_EQ(vrtAEADImitSetValue(ctx, good.tag.data(), n), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(pt));
  }
}

// Tag lengths above the block size (or 0 for the expected tag) are refused
// rather than read or written past the tag buffers.
TEST(MgmErrors, TagLengths) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), pt = RandomBytes(2 * n + 1);
    Ctx ctx(n);
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    Bytes buf(32, 0x55), out(pt.size());
    for (uint64_t len : {n + 1, uint64_t{17}, uint64_t{1} << 40}) {
      EXPECT_EQ(vrtAEADImitGetValue(ctx, buf.data(), len), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtAEADImitSetValue(ctx, buf.data(), len), VRT_ERROR_INVALID_ARGUMENT);
    }
    EXPECT_EQ(vrtAEADImitSetValue(ctx, buf.data(), 0), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADImitSetValue(ctx, nullptr, 4), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADImitGetValue(ctx, nullptr, 4), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Hex(buf), Hex(Bytes(32, 0x55)));

    // A refused Final leaves the stream as it was.
    uint64_t cap = out.size();
    ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, out.data(), &cap),
              VRT_SUCCESS);
    cap = 1;
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data() + 2 * n, &cap, buf.data(), n + 1),
              VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data() + 2 * n, &cap, nullptr, 4), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Hex(buf), Hex(Bytes(32, 0x55)));
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data() + 2 * n, &cap, buf.data(), n), VRT_SUCCESS);
    const Sealed want = Seal(n, &key.g, nonce, {}, pt);
    EXPECT_EQ(Hex(out), Hex(want.text));
    EXPECT_EQ(Hex(buf.data(), n), Hex(want.tag));
    EXPECT_EQ(Hex(buf.data() + n, 32 - n), Hex(Bytes(32 - n, 0x55)));
  }
}

// Streams: order of pieces, kinds, directions, capacities and size queries.
TEST(MgmErrors, Streams) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(5), pt = RandomBytes(3 * n);
    Ctx ctx(n);
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    Bytes out(pt.size() + n);
    uint64_t size = 0;

    // Nothing open: Final has nothing to finish.
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data(), &size, nullptr, 0), VRT_ERROR_UNSUPPORTED);
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_ERROR_UNSUPPORTED);
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, nullptr, &size, nullptr, 0), VRT_ERROR_UNSUPPORTED);
    EXPECT_EQ(vrtAEADEncryptFinal(nullptr, &key.g, out.data(), &size, nullptr, 0), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADDecryptFinal(nullptr, &key.g, out.data(), &size), VRT_ERROR_INVALID_ARGUMENT);

    for (uint32_t kind : {0u, 3u, 0xffffffffu}) {
      EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), 5, kind, out.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), 5, kind), VRT_ERROR_INVALID_ARGUMENT);
    }
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, nullptr, aad.data(), 5, VRT_AEAD_KIND_AAD, nullptr, nullptr),
              VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, nullptr, 5, VRT_AEAD_KIND_AAD, nullptr, nullptr),
              VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, nullptr, 5, VRT_AEAD_KIND_TEXT), VRT_ERROR_INVALID_ARGUMENT);

    // An encryption stream: associated data, then text.
    ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), 5, VRT_AEAD_KIND_AAD, nullptr, nullptr), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_ERROR_INVALID_ARGUMENT);       // a stream is open
    EXPECT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), 5, VRT_AEAD_KIND_AAD), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptSimple(ctx, &key.g, pt.data(), out.data(), pt.size(), nullptr, 0),
              VRT_ERROR_INVALID_ARGUMENT);
    // Size query: three whole blocks of text hold back the last one.
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, nullptr, &size), VRT_SUCCESS);
    EXPECT_EQ(size, 2 * n);
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, nullptr, nullptr),
              VRT_ERROR_INVALID_ARGUMENT);
    size = 2 * n - 1;
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, out.data(), &size),
              VRT_ERROR_NO_MEMORY);
    size = 2 * n;
    ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, out.data(), &size),
              VRT_SUCCESS);
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), 5, VRT_AEAD_KIND_AAD, nullptr, nullptr),
              VRT_ERROR_INVALID_ARGUMENT);  // associated data after text
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, nullptr, &size, nullptr, 0), VRT_SUCCESS);
    EXPECT_EQ(size, n);
    size = n - 1;
    Bytes tag(n);
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data() + 2 * n, &size, tag.data(), n), VRT_ERROR_NO_MEMORY);
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, nullptr, out.data() + 2 * n, &size, tag.data(), n), VRT_ERROR_NO_MEMORY);
    size = n;
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, nullptr, out.data() + 2 * n, &size, tag.data(), n), VRT_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data() + 2 * n, &size, tag.data(), n), VRT_SUCCESS);
    const Sealed want = Seal(n, &key.g, nonce, aad, pt);
    EXPECT_EQ(Hex(out.data(), pt.size()), Hex(want.text));  // the refusals lost nothing
    EXPECT_EQ(Hex(tag), Hex(want.tag));
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data(), &size, tag.data(), n), VRT_ERROR_UNSUPPORTED);

    // A decryption stream: associated data after text, and the other
    // direction, are refused.
    ASSERT_EQ(vrtAEADImitSetValue(ctx, want.tag.data(), n), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), 5, VRT_AEAD_KIND_AAD), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, want.text.data(), n + 1, VRT_AEAD_KIND_TEXT), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), 5, VRT_AEAD_KIND_AAD), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), 4, VRT_AEAD_KIND_TEXT, out.data(), &size),
              VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data(), &size, tag.data(), n), VRT_ERROR_UNSUPPORTED);
    ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, want.text.data() + n + 1, pt.size() - n - 1, VRT_AEAD_KIND_TEXT),
              VRT_SUCCESS);
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, nullptr, &size), VRT_SUCCESS);
    EXPECT_EQ(size, pt.size());
    size = pt.size() - 1;
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_ERROR_NO_MEMORY);
    size = pt.size();
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, nullptr, out.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(vrtAEADDecryptFinal(ctx, &key.g, out.data(), &size), VRT_SUCCESS);
    EXPECT_EQ(Hex(out.data(), pt.size()), Hex(pt));

    // An empty stream has no tag.
    ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), 0, VRT_AEAD_KIND_AAD, nullptr, nullptr), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, out.data(), &size, tag.data(), n), VRT_ERROR_INVALID_ARGUMENT);
  }
}

// Associated data only gives a tag and no ciphertext; a Magma stream past
// its length limit is refused.
TEST(MgmErrors, AssociatedDataOnlyAndLimits) {
  for (const uint64_t n : kSizes) {
    Key key(RandomBytes(32));
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(3 * n + 1);
    const Sealed want = Seal(n, &key.g, nonce, aad, {});
    Ctx ctx(n);
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD, nullptr, nullptr),
              VRT_SUCCESS);
    uint64_t size = 99;
    EXPECT_EQ(vrtAEADEncryptFinal(ctx, &key.g, nullptr, &size, nullptr, 0), VRT_SUCCESS);
    EXPECT_EQ(size, 0u);
    uint8_t none = 0;
    Bytes tag(n);
    ASSERT_EQ(vrtAEADEncryptFinal(ctx, &key.g, &none, &size, tag.data(), n), VRT_SUCCESS);
    EXPECT_EQ(Hex(tag), Hex(want.tag));
    Bytes out;
    EXPECT_EQ(Open(n, &key.g, nonce, aad, {}, want.tag, out), VRT_SUCCESS);

    ASSERT_EQ(vrtAEADImitSetValue(ctx, want.tag.data(), n), VRT_SUCCESS);
    ASSERT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADDecryptFinal(ctx, &key.g, &none, &size), VRT_SUCCESS);
  }
  Key key(RandomBytes(32));
  Ctx ctx(8);
  const Bytes nonce = RandomBytes(8), data = RandomBytes(16);
  ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  ASSERT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, data.data(), 16, VRT_AEAD_KIND_AAD, nullptr, nullptr), VRT_SUCCESS);
  uint64_t size = 0;
  EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, data.data(), (uint64_t{1} << 29) - 16, VRT_AEAD_KIND_AAD, nullptr,
                                 nullptr),
            VRT_ERROR_INVALID_ARGUMENT);
  size = UINT64_MAX;
  EXPECT_EQ(vrtAEADEncryptUpdate(ctx, &key.g, data.data(), (uint64_t{1} << 29) - 16, VRT_AEAD_KIND_TEXT,
                                 reinterpret_cast<uint8_t*>(1), &size),
            VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtAEADDecryptUpdate(ctx, &key.g, data.data(), 16, VRT_AEAD_KIND_TEXT), VRT_ERROR_INVALID_ARGUMENT);
}

// ---- saved states ----

// A saved state of each kind: encryption with associated data open,
// encryption with text open, decryption with each, and a finished context.
std::vector<Bytes> SampleBlobs(uint64_t n, const genkey_t* key) {
  std::vector<Bytes> blobs;
  const Bytes nonce = RandomBytes(n), data = RandomBytes(3 * n + 2);
  Bytes out(data.size());
  uint64_t cap = out.size();
  {
    Ctx c(n);
    vrtAEADSetNonce(c, nonce.data());
    vrtAEADEncryptUpdate(c, key, data.data(), n + 1, VRT_AEAD_KIND_AAD, nullptr, nullptr);
    blobs.push_back(Save(c));
    vrtAEADEncryptUpdate(c, key, data.data(), data.size(), VRT_AEAD_KIND_TEXT, out.data(), &cap);
    blobs.push_back(Save(c));
  }
  {
    Ctx c(n);
    vrtAEADSetNonce(c, nonce.data());
    vrtAEADImitSetValue(c, data.data(), n - 3);
    EXPECT_EQ(VRT_SUCCESS, vrtAEADDecryptUpdate(c, key, data.data(), 3, VRT_AEAD_KIND_AAD));
    blobs.push_back(Save(c));
    EXPECT_EQ(VRT_SUCCESS, vrtAEADDecryptUpdate(c, key, data.data(), data.size(), VRT_AEAD_KIND_TEXT));
    blobs.push_back(Save(c));
    vrtAEADCtxInit(c, 1);
    vrtAEADSetNonce(c, nonce.data());
    vrtAEADEncryptSimple(c, key, data.data(), out.data(), data.size(), nullptr, 0);
    blobs.push_back(Save(c));
  }
  return blobs;
}

constexpr uint32_t kAnyFailure = 0xFFFF0000;

// Restoring into ctx must fail with want (kAnyFailure: any nonzero status)
// and leave ctx's own open stream as it was.
void ExpectRefused(uint64_t n, const genkey_t* key, const Bytes& blob, uint32_t want) {
  Ctx ctx(n);
  const Bytes nonce(n, 7), aad(11, 1);
  ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  ASSERT_EQ(vrtAEADEncryptUpdate(ctx, key, aad.data(), aad.size(), VRT_AEAD_KIND_AAD, nullptr, nullptr), VRT_SUCCESS);
  const Bytes before = Save(ctx);
  const uint8_t none = 0;  // an empty blob still has an address
  const uint32_t st = vrtAEADRestoreState(ctx, blob.empty() ? &none : blob.data(), blob.size());
  if (want == kAnyFailure)
    EXPECT_NE(st, VRT_SUCCESS);
  else
    EXPECT_EQ(st, want);
  EXPECT_EQ(Hex(Save(ctx)), Hex(before));
}

TEST(MgmState, SizesAndTotals) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    const std::vector<Bytes> blobs = SampleBlobs(n, &key.g);
    ASSERT_EQ(blobs.size(), 5u);
    const uint64_t base = 6 * n + 33;
    EXPECT_EQ(blobs[0].size(), base);
    EXPECT_EQ(blobs[1].size(), base);
    EXPECT_EQ(blobs[2].size(), base + 1 + (n - 3));
    EXPECT_EQ(blobs[3].size(), base + 1 + (n - 3) + 8 + 3 * n + 2);
    EXPECT_EQ(blobs[4].size(), base);
    for (size_t index = 0; index < blobs.size(); ++index) {
      const Bytes& blob = blobs[index];
      SCOPED_TRACE(index);
      EXPECT_EQ(vrt::load_le64(blob.data()), blob.size());
      // Restored and saved again: the same bytes.
      Ctx c(n);
      ASSERT_EQ(vrtAEADRestoreState(c, blob.data(), blob.size()), VRT_SUCCESS);
      EXPECT_EQ(Hex(Save(c)), Hex(blob));
      // Save with a wrong size is refused.
      Bytes out(blob.size() + 1, 0x33);
      for (uint64_t size : {blob.size() - 1, blob.size() + 1, uint64_t{0}}) {
        EXPECT_EQ(vrtAEADSaveState(c, out.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(Hex(out), Hex(Bytes(blob.size() + 1, 0x33)));
      }
      EXPECT_EQ(vrtAEADSaveState(c, out.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtAEADSaveState(nullptr, out.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
      // Every shorter size, the stored total kept or made to match: 12.
      for (size_t len = 0; len < blob.size(); ++len) {
        SCOPED_TRACE(len);
        Bytes cut(blob.begin(), blob.begin() + static_cast<ptrdiff_t>(len));
        ExpectRefused(n, &key.g, cut, VRT_ERROR_LENGTH);
        if (len >= 8) {
          vrt::store_le64(cut.data(), len);
          ExpectRefused(n, &key.g, cut, VRT_ERROR_LENGTH);
        }
      }
      Bytes longer = blob;
      longer.push_back(0);
      ExpectRefused(n, &key.g, longer, VRT_ERROR_LENGTH);
      vrt::store_le64(longer.data(), longer.size());
      ExpectRefused(n, &key.g, longer, VRT_ERROR_LENGTH);
      // A state of the other block size does not fit.
      ExpectRefused(n == 16 ? 8 : 16, &key.g, blob, blob.size() == base ? VRT_ERROR_LENGTH : kAnyFailure);
    }
    Ctx c(n);
    EXPECT_EQ(vrtAEADRestoreState(c, nullptr, 8), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtAEADRestoreState(nullptr, blobs[0].data(), blobs[0].size()), VRT_ERROR_INVALID_ARGUMENT);
  }
}

// Blobs of the right size whose content cannot be a state of a stream.
TEST(MgmState, InconsistentContent) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    Key key(RandomBytes(32));
    const std::vector<Bytes> blobs = SampleBlobs(n, &key.g);
    const size_t base = 6 * n + 33;
    struct Case {
      const char* what;
      size_t blob;  // index into SampleBlobs
      std::function<void(Bytes&)> edit;
      uint32_t want;
    };
    const Case cases[] = {
        {"a start bit", 0, [](Bytes& b) { vrt::store_le32(b.data() + 8, 4 | 2); }, VRT_ERROR_INVALID_ARGUMENT},
        {"two open bits", 1, [](Bytes& b) { vrt::store_le32(b.data() + 8, 4 | 16); }, VRT_ERROR_INVALID_ARGUMENT},
        {"unknown bit", 4, [](Bytes& b) { vrt::store_le32(b.data() + 8, 1); }, VRT_ERROR_INVALID_ARGUMENT},
        {"phase", 0, [](Bytes& b) { vrt::store_le32(b.data() + 12, 2); }, VRT_ERROR_INVALID_ARGUMENT},
        {"phase of a finished one", 4, [](Bytes& b) { vrt::store_le32(b.data() + 12, 1); },
         VRT_ERROR_INVALID_ARGUMENT},
        {"held-back count", 1, [](Bytes& b) { b[32] = static_cast<uint8_t>(b[32] - 1); },
         VRT_ERROR_INVALID_ARGUMENT},
        {"held-back count past a block", 0, [n](Bytes& b) { b[32] = static_cast<uint8_t>(n + 1); },
         VRT_ERROR_INVALID_ARGUMENT},
        {"text count", 1, [](Bytes& b) { vrt::store_le64(b.data() + 16, vrt::load_le64(b.data() + 16) + 1); },
         VRT_ERROR_INVALID_ARGUMENT},
        {"associated-data count past the limit", 1, [](Bytes& b) { vrt::store_le64(b.data() + 24, UINT64_MAX); },
         VRT_ERROR_INVALID_ARGUMENT},
        {"top bit of 0 || ICN", 1, [n](Bytes& b) { b[33 + 4 * n] |= 0x80; }, VRT_ERROR_INVALID_ARGUMENT},
        {"top bit of 1 || ICN", 1, [n](Bytes& b) { b[33 + 5 * n] &= 0x7f; }, VRT_ERROR_INVALID_ARGUMENT},
        {"nonce copies differ", 3, [n](Bytes& b) { b[33 + 5 * n + n - 1] ^= 1; }, VRT_ERROR_INVALID_ARGUMENT},
        {"expected tag longer than a block", 2,
         [base, n](Bytes& b) {
           b[base] = static_cast<uint8_t>(n + 1);
           b.resize(b.size() + 4);  // from n - 3 bytes to n + 1
           vrt::store_le64(b.data(), b.size());
         },
         VRT_ERROR_INVALID_ARGUMENT},
        {"expected tag length", 2, [base](Bytes& b) { b[base] = static_cast<uint8_t>(b[base] + 1); },
         VRT_ERROR_LENGTH},
        {"kept ciphertext length", 3,
         [base, n](Bytes& b) {
           uint8_t* c = b.data() + base + 1 + (n - 3);
           vrt::store_le64(c, vrt::load_le64(c) - 1);
         },
         VRT_ERROR_LENGTH},
        {"kept ciphertext and text count differ", 3,
         [n](Bytes& b) { vrt::store_le64(b.data() + 16, vrt::load_le64(b.data() + 16) + n); },
         VRT_ERROR_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      Bytes blob = blobs[c.blob];
      c.edit(blob);
      ExpectRefused(n, &key.g, blob, c.want);
    }
  }
}

// ---- key hygiene ----

bool Contains(const uint8_t* hay, size_t hay_len, const uint8_t* needle, size_t len) {
  for (size_t i = 0; i + len <= hay_len; ++i)
    if (std::memcmp(hay + i, needle, len) == 0) return true;
  return false;
}

// After every kind of call the context memory holds neither the key, nor
// either half of it, nor any Kuznyechik round key.
TEST(MgmKeys, NoKeyMaterialLeftInTheContext) {
  for (const uint64_t n : kSizes) {
    SCOPED_TRACE(n);
    const Bytes raw = RandomBytes(32);
    Key key(raw);
    uint8_t rk[160];
    kuznechik_arch_schedule_encrypt(rk, raw.data());
    std::vector<std::pair<const uint8_t*, size_t>> secrets = {{raw.data(), 32}, {raw.data(), 16}, {raw.data() + 16, 16}};
    for (int i = 0; i < 10; ++i) secrets.emplace_back(rk + 16 * i, 16);
    const Bytes nonce = RandomBytes(n), aad = RandomBytes(n + 3), pt = RandomBytes(5 * n + 1);
    const Sealed s = Seal(n, &key.g, nonce, aad, pt);
    Ctx ctx(n);
    Bytes out(pt.size() + n);
    uint64_t cap = out.size();
    ASSERT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
    const std::pair<const char*, std::function<uint32_t()>> calls[] = {
        {"one-call encryption",
         [&] { return vrtAEADEncryptSimple(ctx, &key.g, pt.data(), out.data(), pt.size(), aad.data(), aad.size()); }},
        {"expected tag", [&] { return vrtAEADImitSetValue(ctx, s.tag.data(), n); }},
        {"one-call decryption",
         [&] { return vrtAEADDecryptSimple(ctx, &key.g, s.text.data(), out.data(), pt.size(), aad.data(), aad.size()); }},
        {"rejected decryption",
         [&] { return vrtAEADDecryptSimple(ctx, &key.g, pt.data(), out.data(), pt.size(), aad.data(), aad.size()) == 1 ? 0u : 1u; }},
        {"associated data", [&] { return vrtAEADEncryptUpdate(ctx, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD, nullptr, nullptr); }},
        {"text", [&] { return vrtAEADEncryptUpdate(ctx, &key.g, pt.data(), pt.size(), VRT_AEAD_KIND_TEXT, out.data(), &cap); }},
        {"final", [&] { return vrtAEADEncryptFinal(ctx, &key.g, out.data() + 5 * n, &cap, out.data(), n); }},
        {"decryption associated data",
         [&] { return vrtAEADDecryptUpdate(ctx, &key.g, aad.data(), aad.size(), VRT_AEAD_KIND_AAD); }},
        {"ciphertext", [&] { return vrtAEADDecryptUpdate(ctx, &key.g, s.text.data(), pt.size(), VRT_AEAD_KIND_TEXT); }},
        {"decryption final", [&] { return vrtAEADDecryptFinal(ctx, &key.g, out.data(), &cap); }},
    };
    for (const auto& [what, call] : calls) {
      SCOPED_TRACE(what);
      cap = out.size();
      ASSERT_EQ(call(), VRT_SUCCESS);
      const auto* mem = reinterpret_cast<const uint8_t*>(ctx.c);
      const size_t bytes = vrt::cipher15::aead_ctx_bytes(n);
      for (const auto& [p, len] : secrets) EXPECT_FALSE(Contains(mem, bytes, p, len)) << len << "-byte secret";
      // The key buffer and the round-key area were cleared.
      EXPECT_EQ(Hex(ctx.c->key_buf, 32), Hex(Bytes(32, 0)));
      if (n == 16) {
        EXPECT_EQ(Hex(ctx.c->round_keys, 160), Hex(Bytes(160, 0)));
      }
    }
  }
}

}  // namespace
