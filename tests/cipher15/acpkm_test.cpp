// CTR-ACPKM and OMAC-ACPKM: the published examples, CTR-ACPKM against the
// plain model at section sizes from one block up, the reversed-IV flag on
// the caller's counter only, and the ACPKM sizes with their refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cipher15/acpkm_model.h"
#include "cipher15/modes_helpers.h"
#include "cipher15/stream_helpers.h"
#include "common/file_test.h"
#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Ctx15;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::NewModeCtx;
using vrt::test::OneShot;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;

const size_t kBlockSizes[] = {16, 8};

// The MAC of msg in one MACSimple call (none for the empty message).
Bytes MacOf(size_t n, uint32_t mode, uint64_t section, uint64_t frame, const genkey_t* key, const Bytes& msg) {
  Ctx15 ctx = NewModeCtx(n, mode, 0, section, frame);
  if (!msg.empty()) {
    EXPECT_EQ(vrtGost15MACSimple(ctx.get(), key, msg.data(), msg.size()), VRT_SUCCESS);
  }
  Bytes mac(n);
  EXPECT_EQ(vrtGost15MACGetValue(ctx.get(), key, mac.data()), VRT_SUCCESS);
  return mac;
}

TEST(Gost15Acpkm, PublishedExamples) {
  vrt::test::FileTestRun("cipher15/acpkm.txt", [](FileTest& t) {
    const size_t n = t.GetText("Cipher") == "kuznyechik" ? 16 : 8;
    const Bytes key = t.GetBytes("Key");
    const uint64_t section = t.GetInt("Section");
    MaskedKey k(key, GOST89_KEY_XOR);
    if (t.GetText("Mode") == "CTR-ACPKM") {
      const Bytes iv = t.GetBytes("IV"), pt = t.GetBytes("Plaintext"), ct = t.GetBytes("Ciphertext");
      EXPECT_EQ(Hex(OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, section, true, k.get(), iv, pt)), Hex(ct));
      EXPECT_EQ(Hex(OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, section, false, k.get(), iv, ct)), Hex(pt));
      EXPECT_EQ(Hex(vrt::test::CtrAcpkm(n, key, vrt::test::HalfIvCounter(n, iv), section, pt)), Hex(ct)) << "model";
      Bytes out(ct.size());
      ASSERT_EQ(gost15_encrypt_example(pt.data(), pt.size(), k.get(), iv.data(), iv.size(), VRT_GOST15_MODE_CTR_ACPKM,
                                       static_cast<uint32_t>(n), section, out.data()),
                VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(ct));
      // Every prefix ends in the final step at another place in a section.
      for (size_t len = 1; len < pt.size(); ++len) {
        const Bytes p(pt.begin(), pt.begin() + len);
        EXPECT_EQ(Hex(OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, section, true, k.get(), iv, p)), Hex(ct.data(), len));
      }
    } else {
      const uint64_t frame = t.GetInt("Frame");
      const Bytes msg = t.GetBytes("Message"), mac = t.GetBytes("MAC");
      EXPECT_EQ(Hex(MacOf(n, VRT_GOST15_MODE_OMAC_ACPKM, section, frame, k.get(), msg)), Hex(mac));
      EXPECT_EQ(Hex(vrt::test::OmacAcpkm(n, key, section, frame, msg)), Hex(mac)) << "model";
      Bytes out(n);
      binstr_t m;
      __binstr_init(&m, const_cast<uint8_t*>(msg.data()), msg.size());
      ASSERT_EQ(gost15_mac_entire_example(&m, k.get(), VRT_GOST15_MODE_OMAC_ACPKM, out.data(), static_cast<uint32_t>(n),
                                          section, frame),
                VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(mac));
    }
  });
}

// Section sizes of one block, a few blocks and several KiB, messages of
// awkward lengths, both directions, against the model; with N = 2n the key
// changes before blocks 3, 5, 7, ...
TEST(Gost15Acpkm, CtrAcpkmMatchesThePlainModel) {
  for (size_t n : kBlockSizes) {
    for (uint64_t section : {n, 2 * n, 3 * n, size_t{1024}, size_t{4096}}) {
      for (size_t len : vrt::test::AwkwardLengths(n)) {
        if (len == 0) continue;
        const Bytes key = RandomBytes(32), iv = RandomBytes(n / 2), msg = RandomBytes(len);
        MaskedKey k(key, GOST89_KEY_ADD);
        SCOPED_TRACE("n=" + std::to_string(n) + " N=" + std::to_string(section) + " len=" + std::to_string(len));
        const Bytes want = vrt::test::CtrAcpkm(n, key, vrt::test::HalfIvCounter(n, iv), section, msg);
        const Bytes ct = OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, section, true, k.get(), iv, msg);
        ASSERT_EQ(Hex(ct), Hex(want));
        ASSERT_EQ(Hex(OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, section, false, k.get(), iv, ct)), Hex(msg));
      }
    }
    // The key of blocks 3 and 4 is the conversion of the first key, that of
    // blocks 5 and 6 its conversion, while the counter runs on.
    const Bytes key = RandomBytes(32), iv = RandomBytes(n / 2), zeros(6 * n, 0);
    MaskedKey k(key, 0);
    const Bytes gamma = OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, 2 * n, true, k.get(), iv, zeros);
    Bytes ctr = vrt::test::HalfIvCounter(n, iv);
    const Bytes k2 = vrt::test::AcpkmConvert(n, key), k3 = vrt::test::AcpkmConvert(n, k2);
    const Bytes* keys[] = {&key, &key, &k2, &k2, &k3, &k3};
    for (size_t b = 0; b < 6; ++b) {
      EXPECT_EQ(Hex(gamma.data() + b * n, n), Hex(vrt::test::Model(n, *keys[b]).E(ctr))) << "block " << b + 1;
      ctr[n - 1] = static_cast<uint8_t>(ctr[n - 1] + 1);
    }
  }
}

// The reversed-IV flag forms the counter from the caller's IV with its
// first 8 bytes reversed, once: a stream and a one-shot call agree, and
// both follow the model from that counter.
TEST(Gost15Acpkm, ReversedIvFlagTouchesOnlyTheCallersCounter) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), iv = RandomBytes(n / 2), msg = RandomBytes(9 * n + 5);
    MaskedKey k(key, 0);
    Bytes ctr = vrt::test::HalfIvCounter(n, iv);
    std::reverse(ctr.begin(), ctr.begin() + 8);
    const Bytes want = vrt::test::CtrAcpkm(n, key, ctr, 2 * n, msg);
    EXPECT_EQ(Hex(OneShot(n, VRT_GOST15_MODE_CTR_ACPKM, 2 * n, true, k.get(), iv, msg, VRT_GOST15_FLAG_IV_REVERSED)),
              Hex(want));
    Ctx15 ctx = NewModeCtx(n, VRT_GOST15_MODE_CTR_ACPKM, VRT_GOST15_FLAG_IV_REVERSED, 2 * n);
    Bytes out(msg.size());
    size_t written = 0;
    for (size_t off = 0; off < msg.size();) {
      const size_t piece = std::min(msg.size() - off, RandomSize(1, 2 * n));
      uint64_t produced = 0;
      ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data() + off, piece, iv.data(), iv.size(), nullptr,
                                       &produced),
                VRT_SUCCESS);
      ASSERT_EQ(vrtGost15EncryptUpdate(ctx.get(), k.get(), msg.data() + off, piece, iv.data(), iv.size(),
                                       out.data() + written, &produced),
                VRT_SUCCESS);
      written += produced;
      off += piece;
      ctx = vrt::test::Restored(n, vrt::test::SaveState(ctx.get()));
    }
    uint64_t cap = out.size() - written;
    ASSERT_EQ(vrtGost15EncryptFinal(ctx.get(), k.get(), out.data() + written, &cap), VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(want)) << n;
  }
}

TEST(Gost15Acpkm, SetParameters) {
  struct Case {
    const char* what;
    size_t n;
    uint32_t mode;
    uint64_t section, frame;
    uint32_t status;
  };
  const Case cases[] = {
      {"CTR-ACPKM", 16, VRT_GOST15_MODE_CTR_ACPKM, 4096, 0, VRT_SUCCESS},
      {"CTR-ACPKM, one block", 8, VRT_GOST15_MODE_CTR_ACPKM, 8, 0, VRT_SUCCESS},
      {"section not whole blocks", 16, VRT_GOST15_MODE_CTR_ACPKM, 24, 0, VRT_ERROR_BAD_PARAMETERS},
      {"section not whole blocks", 8, VRT_GOST15_MODE_OMAC_ACPKM, 12, 80, VRT_ERROR_BAD_PARAMETERS},
      {"no section", 16, VRT_GOST15_MODE_CTR_ACPKM, 0, 0, VRT_ERROR_BAD_PARAMETERS},
      {"frame not whole key packets", 16, VRT_GOST15_MODE_OMAC_ACPKM, 32, 64, VRT_ERROR_BAD_PARAMETERS},
      {"frame not whole key packets", 16, VRT_GOST15_MODE_CTR_ACPKM, 32, 64, VRT_ERROR_BAD_PARAMETERS},
      {"no frame", 8, VRT_GOST15_MODE_OMAC_ACPKM, 16, 0, VRT_ERROR_BAD_PARAMETERS},
      {"no section", 8, VRT_GOST15_MODE_OMAC_ACPKM, 0, 80, VRT_ERROR_BAD_PARAMETERS},
      {"OMAC-ACPKM", 16, VRT_GOST15_MODE_OMAC_ACPKM, 32, 96, VRT_SUCCESS},
      {"ECB", 16, VRT_GOST15_MODE_ECB, 32, 0, VRT_ERROR_FAILED},
      {"CTR", 8, VRT_GOST15_MODE_CTR, 16, 0, VRT_ERROR_FAILED},
      {"MAC", 8, VRT_GOST15_MODE_MAC, 16, 80, VRT_ERROR_FAILED},
  };
  for (const Case& c : cases) {
    Ctx15 ctx = vrt::test::NewCtx15(c.n, c.mode);
    EXPECT_EQ(vrtGost15SetParametersACPKM(ctx.get(), c.section, c.frame), c.status) << c.what << " n=" << c.n;
    if (c.status != VRT_SUCCESS) {
      EXPECT_EQ(ctx->acpkm_section, 0u) << c.what;
      EXPECT_EQ(ctx->acpkm_frame, 0u) << c.what;
    }
  }
  EXPECT_EQ(vrtGost15SetParametersACPKM(nullptr, 32, 0), VRT_ERROR_INVALID_ARGUMENT);

  // Without the sizes no ACPKM request runs: a key never changed, or a
  // section of no blocks, is no ACPKM.
  const Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(40);
  MaskedKey k(key, 0);
  Bytes out(64, 0xa5);
  uint64_t cap = out.size();
  Ctx15 ctr = vrt::test::NewCtx15(16, VRT_GOST15_MODE_CTR_ACPKM);
  EXPECT_EQ(vrtGost15EncryptSimple(ctr.get(), k.get(), msg.data(), out.data(), 40, iv.data(), 8), VRT_ERROR_BAD_PARAMETERS);
  EXPECT_EQ(vrtGost15DecryptSimple(ctr.get(), k.get(), msg.data(), out.data(), 40, iv.data(), 8), VRT_ERROR_BAD_PARAMETERS);
  EXPECT_EQ(vrtGost15EncryptUpdate(ctr.get(), k.get(), msg.data(), 40, iv.data(), 8, out.data(), &cap),
            VRT_ERROR_BAD_PARAMETERS);
  EXPECT_EQ(vrtGost15EncryptFinal(ctr.get(), k.get(), out.data(), &cap), VRT_ERROR_FAILED);  // no stream opened
  EXPECT_EQ(Hex(out), Hex(Bytes(64, 0xa5)));
  Ctx15 omac = vrt::test::NewCtx15(8, VRT_GOST15_MODE_OMAC_ACPKM);
  EXPECT_EQ(vrtGost15MACUpdate(omac.get(), k.get(), msg.data(), 40), VRT_ERROR_BAD_PARAMETERS);
  EXPECT_EQ(vrtGost15MACGetValue(omac.get(), k.get(), out.data()), VRT_ERROR_BAD_PARAMETERS);
  EXPECT_EQ(Hex(out), Hex(Bytes(64, 0xa5)));

  // The sizes stay while a message is under way.
  Ctx15 open = NewModeCtx(16, VRT_GOST15_MODE_CTR_ACPKM, 0, 32);
  ASSERT_EQ(vrtGost15EncryptUpdate(open.get(), k.get(), msg.data(), 40, iv.data(), 8, out.data(), &cap), VRT_SUCCESS);
  EXPECT_EQ(vrtGost15SetParametersACPKM(open.get(), 64, 0), VRT_ERROR_INVALID_ARGUMENT);
  Ctx15 fed = NewModeCtx(8, VRT_GOST15_MODE_OMAC_ACPKM, 0, 16, 80);
  ASSERT_EQ(vrtGost15MACUpdate(fed.get(), k.get(), msg.data(), 5), VRT_SUCCESS);
  EXPECT_EQ(vrtGost15SetParametersACPKM(fed.get(), 32, 80), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(fed->acpkm_section, 16u);
}

}  // namespace
