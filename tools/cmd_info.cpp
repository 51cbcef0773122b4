// vrt selftest and vrt version.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

constexpr const char* kSelftestHelp =
    "usage: vrt selftest\n"
    "\n"
    "Runs the library's known-answer self-tests and prints the outcome.\n"
    "Exit status: 0 passed, 1 a test failed.\n";

constexpr const char* kVersionHelp =
    "usage: vrt version\n"
    "\n"
    "Prints the tool's and the library's version.\n";

int RunSelftest(const std::vector<std::string>& args) {
  if (args.size() == 1 && IsHelp(args[0])) {
    std::fputs(kSelftestHelp, stdout);
    return 0;
  }
  if (!args.empty()) return Usage("selftest takes no arguments");
  uint32_t st = vrtTest();
  if (st != VRT_SUCCESS) {
    std::printf("self-tests FAILED (status %u)\n", st);
    return 1;
  }
  std::printf("self-tests passed\n");
  return 0;
}

int RunVersion(const std::vector<std::string>& args) {
  if (args.size() == 1 && IsHelp(args[0])) {
    std::fputs(kVersionHelp, stdout);
    return 0;
  }
  if (!args.empty()) return Usage("version takes no arguments");
  std::printf("vrt %s (library version 0x%05x)\n", vrtGetVersionStr(), vrtGetVersion());
  return 0;
}

}  // namespace

const Command kSelftestCommand = {"selftest", "run the library's known-answer self-tests", kSelftestHelp,
                                  RunSelftest};
const Command kVersionCommand = {"version", "print the library version", kVersionHelp, RunVersion};

}  // namespace vrt::cli
