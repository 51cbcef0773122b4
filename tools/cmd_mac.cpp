// vrt mac: the MAC of GOST R 34.13-2015 (OMAC) over Kuznyechik or Magma, as
// the OpenSSL GOST provider's kuznyechik-mac and magma-mac compute it: the
// whole block, 16 or 8 bytes.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

constexpr const char* kMacHelp =
    "usage: vrt mac -a ALG (-k HEXKEY | -K KEYFILE) [FILE...]\n"
    "\n"
    "Prints 'MAC  NAME' for each FILE (- or none: standard input): the OMAC of\n"
    "GOST R 34.13-2015 in hex, as openssl mac -provider gostprov prints it.\n"
    "\n"
    "  -a, --algorithm ALG    kuznyechik (16-byte MAC) or magma (8-byte MAC)\n"
    "  -k, --key HEXKEY       the 32-byte key as 64 hex digits (other users see\n"
    "                         the command line: prefer -K)\n"
    "  -K, --keyfile KEYFILE  a file holding the key: 32 bytes, or 64 hex\n"
    "                         digits and an optional line end\n"
    "  -h, --help             print this text\n"
    "\n"
    "Exit status: 0 all files read, 1 a file or the key failed, 2 bad usage.\n";

constexpr size_t kKeyLen = 32;

// The key of -K: 32 raw bytes, or 64 hex digits with an optional line end.
bool ReadKeyFile(const std::string& name, SecretBytes* key) {
  SecretBytes text;
  if (!ReadSecretFile(name, &text)) {
    FailErrno(name, errno);
    return false;
  }
  if (text.size() == kKeyLen) {
    key->clear();
    key->Append(text.data(), kKeyLen);
    return true;
  }
  size_t n = text.size();
  if (n > 0 && text[n - 1] == '\n') --n;
  if (n > 0 && text[n - 1] == '\r') --n;
  if (n == 2 * kKeyLen && SecretFromHex(reinterpret_cast<const char*>(text.data()), n, key)) return true;
  Fail("%s: not a 32-byte key (32 bytes, or 64 hex digits)", name.c_str());
  return false;
}

// The MAC of one stream under ctx. False (errno kept) on a read error or
// with *status set on a library failure.
bool MacStream(FILE* f, Gost15Ctx* ctx, const genkey_t* key, uint8_t* mac, uint32_t* status) {
  static uint8_t buf[1 << 16];
  size_t n;
  *status = VRT_SUCCESS;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    *status = vrtGost15MACUpdate(ctx, key, buf, n);
    if (*status != VRT_SUCCESS) return false;
  }
  if (std::ferror(f)) {
    if (errno == 0) errno = EIO;
    // Drop the partial message so the context starts afresh.
    uint8_t scratch[16];
    (void)vrtGost15MACGetValue(ctx, key, scratch);
    return false;
  }
  *status = vrtGost15MACGetValue(ctx, key, mac);
  return *status == VRT_SUCCESS;
}

int RunMac(const std::vector<std::string>& args) {
  std::string alg, hex_key, key_file;
  bool have_hex = false, have_file = false;
  std::vector<std::string> files;
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) {
      files.push_back(r.arg());
      continue;
    }
    if (r.Flag("-h", "--help")) {
      std::fputs(kMacHelp, stdout);
      return 0;
    }
    if (r.Option("-a", "--algorithm", &alg)) continue;
    if (r.Option("-k", "--key", &hex_key)) {
      have_hex = true;
      continue;
    }
    if (r.Option("-K", "--keyfile", &key_file)) {
      have_file = true;
      continue;
    }
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  uint32_t block = 0;
  if (alg == "kuznyechik") {
    block = 16;
  } else if (alg == "magma") {
    block = 8;
  } else {
    return alg.empty() ? Usage("mac needs -a kuznyechik or -a magma")
                       : Usage("unknown algorithm '%s' (kuznyechik or magma)", alg.c_str());
  }
  if (have_hex == have_file) return Usage("mac needs one key: -k HEXKEY or -K KEYFILE");
  if (files.empty()) files.push_back("-");
  if (have_file && key_file == "-")
    for (const std::string& f : files)
      if (f == "-") return Usage("the key file and a FILE cannot both be standard input");

  SecretBytes plain;
  if (have_hex) {
    const bool ok = hex_key.size() == 2 * kKeyLen && SecretFromHex(hex_key.data(), hex_key.size(), &plain);
    Wipe(&hex_key[0], hex_key.size());
    if (!ok) return Fail("the key is not 64 hex digits (32 bytes)");
  } else if (!ReadKeyFile(key_file, &plain)) {
    return 1;
  }
  MaskedKey key;
  uint32_t st = key.Load(plain.data(), plain.size());
  plain.clear();
  if (st != VRT_SUCCESS) return FailStatus("key", st);

  Gost15Ctx* ctx = nullptr;
  st = vrtGost15CtxAllocInitialized(&ctx, 1, block);
  if (st == VRT_SUCCESS) st = vrtGost15SetMode(ctx, VRT_GOST15_MODE_MAC, 0);
  if (st != VRT_SUCCESS) {
    vrtGost15CtxFree(ctx);
    return FailStatus("MAC context", st);
  }
  bool ok = true;
  for (const std::string& name : files) {
    FILE* f = OpenInput(name);
    if (f == nullptr) {
      FailErrno(name, errno);
      ok = false;
      continue;
    }
    uint8_t mac[16];
    uint32_t status;
    const bool done = MacStream(f, ctx, key.get(), mac, &status);
    const int saved = errno;
    CloseInput(f);
    if (!done) {
      if (status != VRT_SUCCESS) {
        FailStatus(name, status);
      } else {
        FailErrno(name, saved);
      }
      ok = false;
      continue;
    }
    if (!PrintStdout(ToHex(mac, block) + "  " + name + "\n")) {
      const int err = errno;
      vrtGost15CtxFree(ctx);
      return FailErrno("standard output", err);
    }
  }
  vrtGost15CtxFree(ctx);
  if (!FlushStdout()) return FailErrno("standard output", errno);
  return ok ? 0 : 1;
}

}  // namespace

const Command kMacCommand = {"mac", "print Kuznyechik or Magma OMACs of files", kMacHelp, RunMac};

}  // namespace vrt::cli
