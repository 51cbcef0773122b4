// vrt: command-line access to libvrt. Each command lives in its own file
// (cmd_*.cpp); this file lists them and dispatches.
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "vrt.h"

namespace {

using vrt::cli::Command;

// In the order `vrt --help` lists them.
const Command* const kCommands[] = {
    &vrt::cli::kHashCommand,
    &vrt::cli::kHmacCommand,
    &vrt::cli::kMacCommand,
    &vrt::cli::kGenkeyCommand,
    &vrt::cli::kPubkeyCommand,
    &vrt::cli::kSignCommand,
    &vrt::cli::kVerifyCommand,
    &vrt::cli::kDeriveCommand,
    &vrt::cli::kEncryptCommand,
    &vrt::cli::kDecryptCommand,
    &vrt::cli::kSelftestCommand,
    &vrt::cli::kVersionCommand,
};

void PrintUsage() {
  std::fputs("usage: vrt <command> [options]\n\ncommands:\n", stdout);
  for (const Command* c : kCommands) std::printf("  %-10s %s\n", c->name, c->summary);
  std::fputs("  help       print this text\n\nRun 'vrt COMMAND --help' for a command's options.\n", stdout);
}

}  // namespace

int main(int argc, char** argv) {
  using vrt::cli::g_prog;
  if (argc < 2) return vrt::cli::Usage("missing command");
  std::string cmd = argv[1];
  if (cmd == "help" || cmd == "--help" || cmd == "-h") {
    if (argc > 2) {
      for (const Command* c : kCommands)
        if (std::strcmp(argv[2], c->name) == 0) {
          std::fputs(c->help, stdout);
          return vrt::cli::CloseStdout() ? 0 : vrt::cli::FailErrno("standard output", errno);
        }
      return vrt::cli::Usage("unknown command '%s'", argv[2]);
    }
    PrintUsage();
    return vrt::cli::CloseStdout() ? 0 : vrt::cli::FailErrno("standard output", errno);
  }
  if (cmd == "--version") cmd = "version";
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command* c : kCommands) {
    if (cmd != c->name) continue;
    uint32_t st = vrtInit();
    if (st != VRT_SUCCESS) {
      std::fprintf(stderr, "%s: library initialisation failed (status %u)\n", g_prog, st);
      return 1;
    }
    int rc = c->run(args);
    // Output that never reached its file is a failure, whatever the command
    // thought: every earlier write leaves the error flag set, and the flush
    // and close report the rest (a full disk, a closed descriptor).
    // (A command that failed has said why already.)
    if (!vrt::cli::CloseStdout() && rc == 0) rc = vrt::cli::FailErrno("standard output", errno);
    vrtCleanup();
    return rc;
  }
  return vrt::cli::Usage("unknown command '%s'", cmd.c_str());
}
