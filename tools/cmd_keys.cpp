// vrt genkey and vrt pubkey: GOST R 34.10-2012 private keys as PKCS#8 and
// their public keys as SubjectPublicKeyInfo, in the files OpenSSL with the
// GOST engine writes.
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

constexpr const char* kGenkeyHelp =
    "usage: vrt genkey -a ALG [-p PARAMSET] [-o KEY] [--der]\n"
    "\n"
    "Writes a new GOST R 34.10-2012 private key (PKCS#8, as openssl genpkey\n"
    "writes it) to KEY with file mode 0600, or to standard output. The key\n"
    "comes from the operating system's random source through the library's\n"
    "generator.\n"
    "\n"
    "  -a, --algorithm ALG    gost2012_256 or gost2012_512\n"
    "  -p, --paramset SET     the curve, as openssl's -pkeyopt paramset: names it\n"
    "                         (any case; a dotted identifier also works):\n"
    "                         gost2012_256: A (default), B, C, XA, XB, TCA, TCB,\n"
    "                           TCC, TCD, and TEST (or 0) for the test set\n"
    "                         gost2012_512: A (default), B, C, and TEST for the\n"
    "                           test set\n"
    "  -o, --out KEY          the key file (default: standard output)\n"
    "      --der              write DER instead of PEM\n"
    "  -h, --help             print this text\n"
    "\n"
    "Exit status: 0 written, 1 failed, 2 bad usage.\n";

constexpr const char* kPubkeyHelp =
    "usage: vrt pubkey [-i KEY] [-o PUB] [--der]\n"
    "\n"
    "Writes the public key (SubjectPublicKeyInfo, as openssl pkey -pubout\n"
    "writes it) of a private key file, PEM or DER.\n"
    "\n"
    "  -i, --in KEY           the private key (default: standard input)\n"
    "  -o, --out PUB          the public key file (default: standard output)\n"
    "      --der              write DER instead of PEM\n"
    "  -h, --help             print this text\n"
    "\n"
    "Exit status: 0 written, 1 failed, 2 bad usage.\n";

bool ParseAlgorithm(const std::string& name, uint32_t* bits) {
  if (name == "gost2012_256") {
    *bits = 256;
  } else if (name == "gost2012_512") {
    *bits = 512;
  } else {
    return false;
  }
  return true;
}

// Writes bytes to a new file (or standard output) that appears only when
// complete.
int WriteOutput(const std::string& name, const SecretBytes& bytes, unsigned mode, bool secret) {
  OutputFile out;
  if (!out.Open(name, mode, secret)) return FailErrno(name, errno);
  if (!out.Write(bytes.data(), bytes.size()) || !out.Commit()) return FailErrno(out.name(), errno);
  return 0;
}

int RunGenkey(const std::vector<std::string>& args) {
  std::string alg, set_name = "A", out_name = "-";
  bool der = false;
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) return Usage("genkey takes no file operand ('%s')", r.arg().c_str());
    if (r.Flag("-h", "--help")) {
      std::fputs(kGenkeyHelp, stdout);
      return 0;
    }
    if (r.Option("-a", "--algorithm", &alg) || r.Option("-p", "--paramset", &set_name) ||
        r.Option("-o", "--out", &out_name))
      continue;
    if (r.Flag("", "--der")) {
      der = true;
      continue;
    }
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  uint32_t bits = 0;
  if (alg.empty()) return Usage("genkey needs -a gost2012_256 or -a gost2012_512");
  if (!ParseAlgorithm(alg, &bits)) return Usage("unknown algorithm '%s' (gost2012_256 or gost2012_512)", alg.c_str());
  const keyfile::ParamSet* set = keyfile::FindParamSet(bits, set_name);
  if (set == nullptr) {
    const std::string why =
        "unknown parameter set '" + set_name + "' for " + alg + " (" + keyfile::ParamSetNames(bits) + ")";
    return Usage("%s", why.c_str());
  }
  if (der && RefuseBinaryTerminal(out_name, "use -o KEY")) return 1;

  keyfile::PrivateKey key;
  key.params = set;
  key.d.resize(set->key_len());
  uint32_t st = keyfile::RandomScalar(*set, key.d.data());
  if (st != VRT_SUCCESS) return FailStatus("random source", st);
  SecretBytes text;
  keyfile::WritePrivateKey(key, !der, &text);
  return WriteOutput(out_name, text, 0600, true);
}

int RunPubkey(const std::vector<std::string>& args) {
  std::string in_name = "-", out_name = "-";
  bool der = false;
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) return Usage("pubkey takes no file operand ('%s'); use -i KEY", r.arg().c_str());
    if (r.Flag("-h", "--help")) {
      std::fputs(kPubkeyHelp, stdout);
      return 0;
    }
    if (r.Option("-i", "--in", &in_name) || r.Option("-o", "--out", &out_name)) continue;
    if (r.Flag("", "--der")) {
      der = true;
      continue;
    }
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  if (der && RefuseBinaryTerminal(out_name, "use -o PUB")) return 1;

  keyfile::PrivateKey key;
  if (!LoadPrivateKey(in_name, &key)) return 1;
  keyfile::PublicKey pub;
  pub.params = key.params;
  pub.q.resize(2 * key.params->key_len());
  Signer signer;
  if (!signer.Init(*key.params) || !signer.ImportSecret(&key)) return 1;
  uint32_t st = vrtSignerCreatePublicKey(signer.get());
  if (st == VRT_SUCCESS) st = vrtSignerExportPublicKey(signer.get(), pub.q.data());
  if (st != VRT_SUCCESS) return FailStatus("public key", st);
  SecretBytes text;
  keyfile::WritePublicKey(pub, !der, &text);
  return WriteOutput(out_name, text, 0644, false);
}

}  // namespace

const Command kGenkeyCommand = {"genkey", "write a new GOST R 34.10-2012 private key", kGenkeyHelp, RunGenkey};
const Command kPubkeyCommand = {"pubkey", "write the public key of a private key", kPubkeyHelp, RunPubkey};

}  // namespace vrt::cli
