// CTR-ACPKM over a 1 GiB stream: the whole stream in one call ("one-call")
// against the same stream fed to EncryptUpdate in 64 KiB pieces ("vrt"),
// with 4 KiB and 1 KiB sections, Kuznyechik and Magma. The ratio printed is
// streamed over one-call throughput: a stream must not slow down with its
// length (each piece continues under the section key the context holds,
// instead of converting the caller's key once per section done). Both read
// one 1 GiB buffer and write another, with a fresh context per stream.
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "vrt.h"

namespace {

constexpr size_t kStream = size_t{1} << 30;
constexpr size_t kPiece = size_t{64} << 10;
const uint8_t kKey[32] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00, 0x11, 0x22,
                          0x33, 0x44, 0x55, 0x66, 0x77, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54,
                          0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const uint8_t kIv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xab, 0xce, 0xf0};

std::vector<uint8_t>& Data() {
  static std::vector<uint8_t> d(kStream, 0x5a);
  return d;
}
std::vector<uint8_t>& Out() {
  static std::vector<uint8_t> d(kStream + 16, 0);
  return d;
}

void Stream(benchmark::State& state, uint32_t block_size, uint64_t section, bool pieces) {
  auto& data = Data();
  auto& out = Out();
  vrt::bench::MaskedKey key(kKey);
  for (auto _ : state) {
    Gost15Ctx* ctx = nullptr;
    bool ok = vrtGost15CtxAllocInitialized(&ctx, 1, block_size) == VRT_SUCCESS &&
              vrtGost15SetMode(ctx, VRT_GOST15_MODE_CTR_ACPKM, 0) == VRT_SUCCESS &&
              vrtGost15SetParametersACPKM(ctx, section, 0) == VRT_SUCCESS;
    if (ok && !pieces) {
      ok = vrtGost15EncryptSimple(ctx, key.get(), data.data(), out.data(), kStream, kIv, block_size / 2) == VRT_SUCCESS;
    } else if (ok) {
      // Each Update writes all but the bytes held back: its output starts
      // where the held bytes began.
      size_t written = 0;
      for (size_t off = 0; ok && off < kStream; off += kPiece) {
        uint64_t cap = kStream - written;
        uint64_t produced = 0;
        ok = vrtGost15EncryptUpdate(ctx, key.get(), data.data() + off, kPiece, kIv, block_size / 2, nullptr,
                                    &produced) == VRT_SUCCESS &&
             vrtGost15EncryptUpdate(ctx, key.get(), data.data() + off, kPiece, kIv, block_size / 2,
                                    out.data() + written, &cap) == VRT_SUCCESS;
        written += produced;
      }
      uint64_t cap = kStream - written;
      ok = ok && vrtGost15EncryptFinal(ctx, key.get(), out.data() + written, &cap) == VRT_SUCCESS;
    }
    vrtGost15CtxFree(ctx);
    if (!ok) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kStream));
}

void Register() {
  struct Case {
    const char* algorithm;
    uint32_t block_size;
    uint64_t section;
  };
  static const Case kCases[] = {
      {"kuznyechik_ctr_acpkm_4k_1gib_64k_pieces", 16, 4096},
      {"kuznyechik_ctr_acpkm_1k_1gib_64k_pieces", 16, 1024},
      {"magma_ctr_acpkm_4k_1gib_64k_pieces", 8, 4096},
  };
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string(c.algorithm) + "/vrt").c_str(),
                                 [c](benchmark::State& s) { Stream(s, c.block_size, c.section, true); })
        ->Arg(static_cast<int64_t>(kStream))
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(c.algorithm) + "/one-call").c_str(),
                                 [c](benchmark::State& s) { Stream(s, c.block_size, c.section, false); })
        ->Arg(static_cast<int64_t>(kStream))
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
  }
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
