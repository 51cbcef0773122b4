// vrt hmac: MAC  NAME lines for files under a key given in hex or in a file.
//
// MACs are printed in the byte order `openssl mac -digest md_gost12_256
// HMAC` prints them with the GOST provider (lower case here), so the two
// agree. The key is wiped from memory once the files are done.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

constexpr const char* kHelp =
    "usage: vrt hmac [-a ALG] (-k HEXKEY | -K KEYFILE) [FILE...]\n"
    "\n"
    "Prints 'MAC  NAME' for each FILE (- or none: standard input): its HMAC\n"
    "under the key.\n"
    "\n"
    "  -a, --algorithm ALG  streebog256 (default), streebog512 or gost94\n"
    "                       (GOST R 34.11-94, CryptoPro parameter set)\n"
    "  -k, --key HEXKEY     the key in hex (visible to other users in the\n"
    "                       process list: prefer -K)\n"
    "  -K, --key-file FILE  the key is the bytes of FILE, as they are\n"
    "  -h, --help           print this text\n"
    "\n"
    "Exit status: 0 all files read, 1 a file could not be read, 2 bad usage.\n";

bool ParseAlgorithm(const std::string& name, uint32_t* alg, size_t* mac_len) {
  if (name == "streebog256") {
    *alg = VRT_ALG_HMAC2012_256;
    *mac_len = 32;
  } else if (name == "streebog512") {
    *alg = VRT_ALG_HMAC2012_512;
    *mac_len = 64;
  } else if (name == "gost94") {
    *alg = VRT_ALG_HMAC94;
    *mac_len = 32;
  } else {
    return false;
  }
  return true;
}

// The MAC of a whole stream, read in fixed-size pieces. False (errno kept)
// on a read error.
bool MacStream(FILE* f, uint32_t alg, const std::vector<uint8_t>& key, size_t mac_len, std::string* hex) {
  hmac_ctx_t ctx;
  auto* c = reinterpret_cast<uint8_t*>(&ctx);
  binstr_t k;
  __binstr_init(&k, const_cast<uint8_t*>(key.data()), key.size());
  if (vrtHMACInit(c, &k, alg) != VRT_SUCCESS) {
    errno = EINVAL;
    return false;
  }
  static uint8_t buf[1 << 16];
  size_t n;
  bool ok = true;
  while (ok && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    binstr_t d;
    __binstr_init(&d, buf, n);
    ok = vrtHMACUpdate(c, &d) == VRT_SUCCESS;
  }
  uint8_t mac[64];
  if (ok && !std::ferror(f) && vrtHMACFinalize(c, mac) == VRT_SUCCESS) {
    *hex = ToHex(mac, mac_len);
    return true;
  }
  int saved = errno;
  vrt_memreset_s(&ctx, sizeof ctx);  // a stream left open holds the key
  errno = saved != 0 ? saved : EIO;
  return false;
}

int Run(const std::vector<std::string>& args) {
  uint32_t alg = VRT_ALG_HMAC2012_256;
  size_t mac_len = 32;
  std::vector<uint8_t> key;
  bool have_key = false;
  std::string key_file;
  std::vector<std::string> files;
  bool options_done = false;
  // Values given in the same argument (-aALG, --key=HEX) are accepted too.
  auto value = [&](size_t& i, const std::string& a, const char* shortname, const char* longname,
                   std::string* out) -> int {
    if (a == shortname || a == longname) {
      if (i + 1 == args.size()) return Usage("option %s needs a value", a.c_str());
      *out = args[++i];
      return 1;
    }
    std::string longeq = std::string(longname) + "=";
    if (a.rfind(longeq, 0) == 0) {
      *out = a.substr(longeq.size());
      return 1;
    }
    if (a.size() > 2 && a.rfind(shortname, 0) == 0) {
      *out = a.substr(2);
      return 1;
    }
    return 0;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    int r;
    if (!options_done && a == "--") {
      options_done = true;
    } else if (!options_done && IsHelp(a)) {
      std::fputs(kHelp, stdout);
      return FlushStdout() ? 0 : FailErrno("standard output", errno);
    } else if (!options_done && (r = value(i, a, "-a", "--algorithm", &v)) != 0) {
      if (r > 1) return r;
      if (!ParseAlgorithm(v, &alg, &mac_len)) return Usage("unknown HMAC algorithm '%s'", v.c_str());
    } else if (!options_done && (r = value(i, a, "-k", "--key", &v)) != 0) {
      if (r > 1) return r;
      if (have_key) return Usage("give the key once (-k or -K)");
      // The key is not echoed: the message would put it on the terminal.
      if (!FromHex(v, &key)) return Usage("the key given with %s is not an even number of hex digits", a.substr(0, 2).c_str());
      vrt_memreset_s(&v[0], static_cast<int64_t>(v.size()));
      have_key = true;
    } else if (!options_done && (r = value(i, a, "-K", "--key-file", &v)) != 0) {
      if (r > 1) return r;
      if (have_key) return Usage("give the key once (-k or -K)");
      key_file = v;
      have_key = true;
    } else if (!options_done && a.size() > 1 && a[0] == '-') {
      return Usage("unknown option '%s'", a.c_str());
    } else {
      files.push_back(a);
    }
  }
  if (!have_key) return Usage("a key is needed (-k HEXKEY or -K KEYFILE)");
  if (files.empty()) files.push_back("-");
  if (key_file == "-") {
    for (const std::string& f : files)
      if (f == "-") return Usage("standard input cannot be both the key and a message");
  }
  if (!key_file.empty() && !ReadFile(key_file, &key)) return FailErrno(key_file, errno);

  bool ok = true;
  for (const std::string& name : files) {
    FILE* f = OpenInput(name);
    std::string hex;
    if (f == nullptr || !MacStream(f, alg, key, mac_len, &hex)) {
      FailErrno(name, errno);
      CloseInput(f);
      ok = false;
      continue;
    }
    CloseInput(f);
    if (!PrintStdout(hex + "  " + name + "\n")) {
      ok = false;
      break;
    }
  }
  if (!key.empty()) vrt_memreset_s(key.data(), static_cast<int64_t>(key.size()));
  if (!FlushStdout()) return FailErrno("standard output", errno);
  return ok ? 0 : 1;
}

}  // namespace

const Command kHmacCommand = {"hmac", "print HMACs of files (Streebog or GOST R 34.11-94)", kHelp, Run};

}  // namespace vrt::cli
