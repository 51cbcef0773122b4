// vrt selftest and vrt version.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

// The symbolic name of a library status, for messages.
const char* StatusName(uint32_t st) {
  switch (st) {
    case VRT_SUCCESS: return "VRT_SUCCESS";
    case VRT_ERROR_FAILED: return "VRT_ERROR_FAILED";
    case VRT_ERROR_BAD_PARAMETERS: return "VRT_ERROR_BAD_PARAMETERS";
    case VRT_ERROR_INVALID_ARGUMENT: return "VRT_ERROR_INVALID_ARGUMENT";
    case VRT_ERROR_UNSUPPORTED: return "VRT_ERROR_UNSUPPORTED";
    case VRT_ERROR_NOT_INITIALIZED: return "VRT_ERROR_NOT_INITIALIZED";
    case VRT_ERROR_NO_MEMORY: return "VRT_ERROR_NO_MEMORY";
    case VRT_ERROR_NO_DATA: return "VRT_ERROR_NO_DATA";
    case VRT_ERROR_BUFFER_TOO_SMALL: return "VRT_ERROR_BUFFER_TOO_SMALL";
    case VRT_ERROR_SIGNATURE: return "VRT_ERROR_SIGNATURE";
    case VRT_ERROR_LENGTH: return "VRT_ERROR_LENGTH";
    case VRT_ERROR_RANDOM_TEST: return "VRT_ERROR_RANDOM_TEST";
    case VRT_ERROR_BAD_BUFFER: return "VRT_ERROR_BAD_BUFFER";
    default: return "unknown status";
  }
}

constexpr const char* kSelftestHelp =
    "usage: vrt selftest\n"
    "\n"
    "Runs the library's known-answer self-tests and prints the outcome; on a\n"
    "failure also the status of the first failing test.\n"
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
    std::printf("self-tests FAILED (status %u, %s)\n", st, StatusName(st));
    FlushStdout();
    return Fail("a known-answer self-test failed: this build of the library must not be used");
  }
  if (!PrintStdout("self-tests passed\n") || !FlushStdout()) return FailErrno("standard output", errno);
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
