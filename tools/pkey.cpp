#include "pkey.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vrt::cli {

bool LoadPrivateKey(const std::string& name, keyfile::PrivateKey* key) {
  SecretBytes text;
  if (!ReadSecretFile(name, &text)) {
    FailErrno(name, errno);
    return false;
  }
  std::string error;
  if (!keyfile::ParsePrivateKey(text.data(), text.size(), key, &error)) {
    std::fprintf(stderr, "%s: %s: %s\n", g_prog, name.c_str(), error.c_str());
    return false;
  }
  return true;
}

bool LoadPublicKey(const std::string& name, keyfile::PublicKey* key) {
  std::vector<uint8_t> text;
  if (!ReadFile(name, &text)) {
    FailErrno(name, errno);
    return false;
  }
  std::string error;
  if (!keyfile::ParsePublicKey(text.data(), text.size(), key, &error)) {
    std::fprintf(stderr, "%s: %s: %s\n", g_prog, name.c_str(), error.c_str());
    return false;
  }
  return true;
}

bool DigestFile(const std::string& name, uint32_t bits, uint8_t* digest) {
  FILE* f = OpenInput(name);
  if (f == nullptr) return false;
  hash2012_ctx_t ctx;
  bool ok = vrtGostHash2012Init(&ctx, bits) == VRT_SUCCESS;
  static uint8_t buf[1 << 16];
  size_t n;
  while (ok && (n = std::fread(buf, 1, sizeof buf, f)) > 0) ok = vrtGostHash2012Update(&ctx, buf, n) == VRT_SUCCESS;
  if (std::ferror(f)) {
    if (errno == 0) errno = EIO;
    ok = false;
  }
  CloseInput(f);
  if (!ok) return false;
  if (vrtGostHash2012Finalize(&ctx, digest) != VRT_SUCCESS) {
    errno = EINVAL;
    return false;
  }
  return true;
}

bool RefuseBinaryTerminal(const std::string& output, const char* hint) {
  if ((output.empty() || output == "-") && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "%s: refusing to write binary output to a terminal (%s)\n", g_prog, hint);
    return true;
  }
  return false;
}

bool Signer::Init(const keyfile::ParamSet& set) {
  uint32_t st = vrtSignerInit(&h_, set.set);
  if (st != VRT_SUCCESS) {
    FailStatus("signer for parameter set " + std::string(set.name), st);
    return false;
  }
  return true;
}

bool Signer::ImportSecret(keyfile::PrivateKey* key) {
  MaskedKey masked;
  uint32_t st = masked.Load(key->d.data(), key->d.size());
  key->d.clear();
  if (st == VRT_SUCCESS) st = vrtSignerImportSecretKey(h_, masked.get());
  if (st != VRT_SUCCESS) {
    FailStatus("private key", st);
    return false;
  }
  return true;
}

}  // namespace vrt::cli
