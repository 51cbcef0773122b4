// vrt hash: DIGEST  NAME lines, and checking such lines as sha256sum -c does.
//
// Digests are printed in the library's byte order, as `openssl dgst` with the
// GOST provider and Botan print Streebog and GOST R 34.11-94, so checksum
// lists agree across tools.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

constexpr const char* kHelp =
    "usage: vrt hash [-a ALG] [FILE...]\n"
    "       vrt hash [-a ALG] -c SUMFILE...\n"
    "\n"
    "Prints 'DIGEST  NAME' for each FILE (- or none: standard input), or checks\n"
    "the lines of each SUMFILE and prints 'NAME: OK' or 'NAME: FAILED'.\n"
    "\n"
    "  -a, --algorithm ALG  streebog512 (default), streebog256, gost94 (GOST R\n"
    "                       34.11-94, CryptoPro parameter set) or gost94-test\n"
    "                       (its test parameter set)\n"
    "  -c, --check          check the listed digests; with no -a, each line's\n"
    "                       algorithm follows from its digest length (128 hex\n"
    "                       digits streebog512, 64 streebog256: give -a gost94\n"
    "                       for GOST R 34.11-94 lists)\n"
    "  -h, --help           print this text\n"
    "\n"
    "Exit status: 0 all files read (and matched), 1 a file failed, 2 bad usage.\n";

// A hash: its digest size in bits and, for GOST R 34.11-94, its S-box set.
struct Algorithm {
  uint32_t bits;
  uint64_t sbox94;  // nonzero: GOST R 34.11-94 on this set; zero: Streebog
};

// Hashes a whole stream in fixed-size pieces. Returns false (errno kept) on a
// read error.
bool HashStream(FILE* f, Algorithm alg, std::string* hex) {
  hash2012_ctx_t ctx;
  hash94_ctx_t ctx94;
  if (alg.sbox94 != 0 ? vrtGostHash94Init(&ctx94, alg.sbox94, nullptr) != VRT_SUCCESS
                      : vrtGostHash2012Init(&ctx, alg.bits) != VRT_SUCCESS)
    return false;
  static uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    uint32_t st = alg.sbox94 != 0 ? vrtGostHash94Update(&ctx94, buf, n) : vrtGostHash2012Update(&ctx, buf, n);
    if (st != VRT_SUCCESS) return false;
  }
  if (std::ferror(f)) return false;
  uint8_t digest[64];
  uint32_t st = alg.sbox94 != 0 ? vrtGostHash94Finalize(&ctx94, digest) : vrtGostHash2012Finalize(&ctx, digest);
  if (st != VRT_SUCCESS) return false;
  *hex = ToHex(digest, alg.bits / 8);
  return true;
}

bool HashFile(const std::string& name, Algorithm alg, std::string* hex) {
  FILE* f = OpenInput(name);
  if (f == nullptr) return false;
  bool ok = HashStream(f, alg, hex);
  CloseInput(f);
  return ok;
}

bool ParseAlgorithm(const std::string& name, Algorithm* alg) {
  if (name == "streebog512") {
    *alg = {512, 0};
  } else if (name == "streebog256") {
    *alg = {256, 0};
  } else if (name == "gost94") {
    *alg = {256, VRT_GOST89_SBOX_R3411_94_CRYPTOPRO};
  } else if (name == "gost94-test") {
    *alg = {256, VRT_GOST89_SBOX_R3411_94_TEST};
  } else {
    return false;
  }
  return true;
}

bool IsHex(const std::string& s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  return !s.empty();
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Checks every "DIGEST  NAME" (or "DIGEST *NAME") line of one list; prints
// NAME: OK / FAILED as sha256sum -c does. Returns false when any file failed.
bool CheckList(const std::string& list, Algorithm forced) {
  FILE* f = list == "-" ? stdin : std::fopen(list.c_str(), "r");
  if (f == nullptr) {
    FailErrno(list, errno);
    return false;
  }
  size_t mismatched = 0, unreadable = 0, malformed = 0, checked = 0;
  std::string line;
  int c;
  bool eof = false;
  int read_errno = 0;
  while (!eof) {
    line.clear();
    errno = 0;
    while ((c = std::fgetc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    eof = (c == EOF);
    // A list that cannot be read (a directory, an I/O error) says so, rather
    // than passing for one without checksum lines.
    if (eof && std::ferror(f)) {
      read_errno = errno != 0 ? errno : EIO;
      break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t sp = line.find(' ');
    std::string digest = line.substr(0, sp);
    Algorithm alg = forced.bits != 0 ? forced : Algorithm{digest.size() == 64 ? 256u : 512u, 0};
    if (sp == std::string::npos || sp + 2 > line.size() || (line[sp + 1] != ' ' && line[sp + 1] != '*') ||
        !IsHex(digest) || digest.size() != alg.bits / 4) {
      ++malformed;
      continue;
    }
    std::string name = line.substr(sp + 2);
    std::string got;
    ++checked;
    if (!HashFile(name, alg, &got)) {
      FailErrno(name, errno);
      std::printf("%s: FAILED open or read\n", name.c_str());
      ++unreadable;
    } else if (got != Lower(digest)) {
      std::printf("%s: FAILED\n", name.c_str());
      ++mismatched;
    } else {
      std::printf("%s: OK\n", name.c_str());
    }
  }
  if (f != stdin) std::fclose(f);
  if (read_errno != 0) {
    FailErrno(list, read_errno);
    return false;
  }
  if (checked == 0) {
    std::fprintf(stderr, "%s: %s: no properly formatted checksum lines found\n", g_prog, list.c_str());
    return false;
  }
  if (malformed)
    std::fprintf(stderr, "%s: WARNING: %zu line%s improperly formatted\n", g_prog, malformed,
                 malformed == 1 ? " is" : "s are");
  if (unreadable)
    std::fprintf(stderr, "%s: WARNING: %zu listed file%s could not be read\n", g_prog, unreadable,
                 unreadable == 1 ? "" : "s");
  if (mismatched)
    std::fprintf(stderr, "%s: WARNING: %zu computed checksum%s did NOT match\n", g_prog, mismatched,
                 mismatched == 1 ? "" : "s");
  return mismatched == 0 && unreadable == 0;
}

int Run(const std::vector<std::string>& args) {
  Algorithm alg{0, 0};
  bool check = false;
  std::vector<std::string> files;
  bool options_done = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options_done && a == "--") {
      options_done = true;
    } else if (!options_done && IsHelp(a)) {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (!options_done && (a == "-a" || a == "--algorithm")) {
      if (i + 1 == args.size()) return Usage("option %s needs an algorithm", a.c_str());
      if (!ParseAlgorithm(args[++i], &alg)) return Usage("unknown hash algorithm '%s'", args[i].c_str());
    } else if (!options_done && a.rfind("-a", 0) == 0 && a.size() > 2) {
      if (!ParseAlgorithm(a.substr(2), &alg)) return Usage("unknown hash algorithm '%s'", a.c_str() + 2);
    } else if (!options_done && (a == "-c" || a == "--check")) {
      check = true;
    } else if (!options_done && a.size() > 1 && a[0] == '-') {
      return Usage("unknown option '%s'", a.c_str());
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) files.push_back("-");

  bool ok = true;
  if (check) {
    for (const std::string& list : files) ok = CheckList(list, alg) && ok;
    return ok ? 0 : 1;
  }
  if (alg.bits == 0) alg = {512, 0};
  for (const std::string& name : files) {
    std::string hex;
    if (!HashFile(name, alg, &hex)) {
      FailErrno(name, errno);
      ok = false;
      continue;
    }
    std::printf("%s  %s\n", hex.c_str(), name.c_str());
  }
  return ok ? 0 : 1;
}

}  // namespace

const Command kHashCommand = {"hash", "print or check Streebog or GOST R 34.11-94 digests of files", kHelp, Run};

}  // namespace vrt::cli
