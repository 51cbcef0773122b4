#include "bench_util.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "vrt.h"

namespace vrt::bench {
namespace {

struct Figure {
  double bytes_per_second = 0;
  double ns_per_op = 0;
};

// Console output as usual, and a copy of every figure for the table.
class PeerTableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      std::string name = r.benchmark_name();
      // <algorithm>/<implementation>/<size>[/...]
      size_t a = name.find('/');
      if (a == std::string::npos) continue;
      size_t b = name.find('/', a + 1);
      std::string algo = name.substr(0, a);
      std::string impl = name.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
      std::string rest = b == std::string::npos ? "" : name.substr(b + 1);
      Figure f;
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) f.bytes_per_second = it->second;
      f.ns_per_op = r.GetAdjustedRealTime();  // in the run's time unit
      if (r.time_unit == benchmark::kMicrosecond) f.ns_per_op *= 1e3;
      if (r.time_unit == benchmark::kMillisecond) f.ns_per_op *= 1e6;
      if (r.time_unit == benchmark::kSecond) f.ns_per_op *= 1e9;
      std::string key = algo + "/" + rest;
      if (!figures_.count(key)) order_.push_back(key);
      figures_[key][impl] = f;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    bool header = false;
    for (const std::string& key : order_) {
      const auto& impls = figures_[key];
      auto ours = impls.find("vrt");
      if (ours == impls.end() || impls.size() < 2) continue;
      if (!header) {
        std::printf("\n%-40s %12s %12s  %s\n", "algorithm/size", "vrt", "best peer", "ratio (peers)");
        header = true;
      }
      // Throughput where there is one, else operations per second.
      auto speed = [](const Figure& f) { return f.bytes_per_second > 0 ? f.bytes_per_second / 1e6 : 1e9 / f.ns_per_op; };
      const char* unit = ours->second.bytes_per_second > 0 ? "MB/s" : "op/s";
      double best = 0;
      std::string peers;
      for (const auto& [impl, f] : impls) {
        if (impl == "vrt") continue;
        best = std::max(best, speed(f));
        char buf[64];
        std::snprintf(buf, sizeof buf, " %s %.1f", impl.c_str(), speed(f));
        peers += buf;
      }
      std::printf("%-40s %10.1f %s %10.1f %s  %.2fx (%s )\n", key.c_str(), speed(ours->second), unit, best,
                  unit, speed(ours->second) / best, peers.c_str());
    }
    if (header) {
      std::ifstream cpu("/proc/cpuinfo");
      std::string line;
      while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) {
          std::printf("CPU: %s\n", line.substr(line.find(':') + 2).c_str());
          break;
        }
    }
  }

 private:
  std::map<std::string, std::map<std::string, Figure>> figures_;
  std::vector<std::string> order_;
};

}  // namespace

std::vector<uint8_t>& Buffer(size_t n) {
  static std::map<size_t, std::vector<uint8_t>> buffers;
  auto& b = buffers[n];
  if (b.size() != n) {
    b.resize(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 131 + 7);
  }
  return b;
}

MaskedKey::MaskedKey(const uint8_t key[32]) {
  genkey_alloc(&g_, 32, GOST89_KEY_ADD);
  uint8_t plain[32], mask[32];
  std::memcpy(plain, key, sizeof plain);
  vrt_memreset_s(mask, sizeof mask);
  binstr_t k, m;
  __binstr_init(&k, plain, 32);
  __binstr_init(&m, mask, 32);
  genkey_load(&g_, &k, &m);
  genkey_mask(&g_);
}

MaskedKey::~MaskedKey() { genkey_free(&g_); }

int Main(int argc, char** argv) {
  if (vrtInit() != VRT_SUCCESS) {
    std::fprintf(stderr, "vrtInit failed\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PeerTableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  vrtCleanup();
  return 0;
}

}  // namespace vrt::bench
