// vrt sign and vrt verify: GOST R 34.10-2012 signatures of files, in the
// bytes openssl dgst -sign writes with the GOST engine (s then r, each
// big-endian) over the Streebog digest of the key's size.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "keyfile.h"
#include "pkey.h"
#include "vrt.h"

namespace vrt::cli {
namespace {

constexpr const char* kSignHelp =
    "usage: vrt sign -k KEY [-o SIG] [FILE]\n"
    "\n"
    "Signs the Streebog digest of FILE (- or none: standard input), of the\n"
    "key's size, and writes the signature as openssl dgst -md_gost12_256 (or\n"
    "-md_gost12_512) -sign does: 64 or 128 bytes, s then r.\n"
    "\n"
    "  -k, --key KEY          the private key file, PEM or DER\n"
    "  -o, --out SIG          the signature file (default: standard output)\n"
    "  -h, --help             print this text\n"
    "\n"
    "Exit status: 0 signed, 1 failed, 2 bad usage.\n";

constexpr const char* kVerifyHelp =
    "usage: vrt verify -K PUB -s SIG [FILE]\n"
    "\n"
    "Checks the signature in SIG of FILE (- or none: standard input) under a\n"
    "public key and prints 'Verified OK' or 'Verification failure', as\n"
    "openssl dgst -verify does.\n"
    "\n"
    "  -K, --pubkey PUB       the public key file, PEM or DER\n"
    "  -s, --signature SIG    the signature file\n"
    "  -h, --help             print this text\n"
    "\n"
    "Exit status: 0 verified, 1 not verified or failed, 2 bad usage.\n";

// Takes the one optional FILE operand.
bool TakeFile(const ArgReader& r, std::string* file, bool* have) {
  if (*have) return false;
  *file = r.arg();
  *have = true;
  return true;
}

int RunSign(const std::vector<std::string>& args) {
  std::string key_name, out_name = "-", file = "-";
  bool have_file = false;
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) {
      if (!TakeFile(r, &file, &have_file)) return Usage("sign takes one FILE");
      continue;
    }
    if (r.Flag("-h", "--help")) {
      std::fputs(kSignHelp, stdout);
      return 0;
    }
    if (r.Option("-k", "--key", &key_name) || r.Option("-o", "--out", &out_name)) continue;
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  if (key_name.empty()) return Usage("sign needs -k KEY");
  if (key_name == "-" && file == "-") return Usage("the key and the file cannot both be standard input");
  if (RefuseBinaryTerminal(out_name, "use -o SIG")) return 1;

  keyfile::PrivateKey key;
  if (!LoadPrivateKey(key_name, &key)) return 1;
  const keyfile::ParamSet& set = *key.params;
  const size_t L = set.key_len();
  OutputFile out;
  if (!out.Open(out_name)) return FailErrno(out_name, errno);
  uint8_t digest[64];
  if (!DigestFile(file, set.bits, digest)) return FailErrno(file, errno);

  Signer signer;
  if (!signer.Init(set) || !signer.ImportSecret(&key)) return 1;
  uint8_t sig[128];
  SecretBytes nonce(L);
  uint32_t st = VRT_ERROR_FAILED;
  // A nonce out of range, or one that makes r or s zero, is drawn again.
  for (int attempt = 0; attempt < 16 && (st == VRT_ERROR_FAILED || st == VRT_ERROR_INVALID_ARGUMENT); ++attempt) {
    st = keyfile::RandomScalar(set, nonce.data());
    if (st != VRT_SUCCESS) return FailStatus("random source", st);
    st = vrtSignerSign(signer.get(), digest, nonce.data(), sig);
  }
  if (st != VRT_SUCCESS) return FailStatus("signing", st);
  if (!out.Write(sig, 2 * L) || !out.Commit()) return FailErrno(out.name(), errno);
  return 0;
}

int RunVerify(const std::vector<std::string>& args) {
  std::string pub_name, sig_name, file = "-";
  bool have_file = false;
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) {
      if (!TakeFile(r, &file, &have_file)) return Usage("verify takes one FILE");
      continue;
    }
    if (r.Flag("-h", "--help")) {
      std::fputs(kVerifyHelp, stdout);
      return 0;
    }
    if (r.Option("-K", "--pubkey", &pub_name) || r.Option("-s", "--signature", &sig_name)) continue;
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  if (pub_name.empty()) return Usage("verify needs -K PUB");
  if (sig_name.empty()) return Usage("verify needs -s SIG");
  if (sig_name == "-" && file == "-") return Usage("the signature and the file cannot both be standard input");

  keyfile::PublicKey pub;
  if (!LoadPublicKey(pub_name, &pub)) return 1;
  const keyfile::ParamSet& set = *pub.params;
  std::vector<uint8_t> sig;
  if (!ReadFile(sig_name, &sig)) return FailErrno(sig_name, errno);
  if (sig.size() != 2 * set.key_len()) {
    const std::string why = sig_name + ": a signature of " + std::to_string(sig.size()) + " bytes; a " +
                            std::to_string(set.bits) + "-bit key's signature has " +
                            std::to_string(2 * set.key_len());
    return Fail("%s", why.c_str());
  }
  uint8_t digest[64];
  if (!DigestFile(file, set.bits, digest)) return FailErrno(file, errno);

  Signer signer;
  if (!signer.Init(set)) return 1;
  uint32_t st = vrtSignerImportPublicKey(signer.get(), pub.q.data());
  if (st == VRT_ERROR_INVALID_ARGUMENT) return Fail("%s: the public key is not a point of its curve", pub_name.c_str());
  if (st != VRT_SUCCESS) return FailStatus(pub_name, st);
  const bool ok = vrtSignerVerify(signer.get(), digest, sig.data()) == VRT_SUCCESS;
  if (!PrintStdout(ok ? "Verified OK\n" : "Verification failure\n") || !FlushStdout())
    return FailErrno("standard output", errno);
  return ok ? 0 : 1;
}

}  // namespace

const Command kSignCommand = {"sign", "sign a file with a GOST R 34.10-2012 key", kSignHelp, RunSign};
const Command kVerifyCommand = {"verify", "check a signature of a file", kVerifyHelp, RunVerify};

}  // namespace vrt::cli
