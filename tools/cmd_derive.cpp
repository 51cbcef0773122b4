// vrt derive: the VKO key agreement of GOST R 34.10-2012 (RFC 7836): the
// Streebog digest of (UKM * cofactor * d) * Q, as openssl pkeyutl -derive
// prints it with the GOST engine.
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

constexpr const char* kDeriveHelp =
    "usage: vrt derive -k KEY -K PEERPUB [--ukm HEX] [-a ALG]\n"
    "\n"
    "Prints, as one line of hex, the VKO key shared by the private key KEY and\n"
    "the peer's public key PEERPUB (both of the same curve): what openssl\n"
    "pkeyutl -derive -pkeyopt ukmhex:HEX prints with the GOST engine.\n"
    "\n"
    "  -k, --key KEY          the private key file, PEM or DER\n"
    "  -K, --peerkey PEERPUB  the peer's public key file, PEM or DER\n"
    "      --ukm HEX          the user keying material: 1 to 32 bytes (64 for\n"
    "                         512-bit keys), read least significant byte\n"
    "                         first as openssl reads ukmhex:; not zero\n"
    "                         (default: 1, that is ukmhex:0100000000000000)\n"
    "  -a, --hash ALG         streebog256 (default: a 32-byte key, as openssl)\n"
    "                         or streebog512 (a 64-byte key)\n"
    "  -h, --help             print this text\n"
    "\n"
    "Exit status: 0 printed, 1 failed, 2 bad usage.\n";

int RunDerive(const std::vector<std::string>& args) {
  std::string key_name, peer_name, ukm_hex = "01", hash = "streebog256";
  ArgReader r(args);
  while (r.Next()) {
    if (r.operand()) return Usage("derive takes no file operand ('%s')", r.arg().c_str());
    if (r.Flag("-h", "--help")) {
      std::fputs(kDeriveHelp, stdout);
      return 0;
    }
    if (r.Option("-k", "--key", &key_name) || r.Option("-K", "--peerkey", &peer_name) ||
        r.Option("", "--ukm", &ukm_hex) || r.Option("-a", "--hash", &hash))
      continue;
    return r.Fail();
  }
  if (r.bad()) return r.Fail();
  if (key_name.empty()) return Usage("derive needs -k KEY");
  if (peer_name.empty()) return Usage("derive needs -K PEERPUB");
  if (key_name == "-" && peer_name == "-") return Usage("the key and the peer key cannot both be standard input");
  if (hash != "streebog256" && hash != "streebog512")
    return Usage("unknown hash '%s' (streebog256 or streebog512)", hash.c_str());
  std::vector<uint8_t> ukm;
  if (!FromHex(ukm_hex, &ukm) || ukm.empty()) return Usage("the UKM '%s' is not hex bytes", ukm_hex.c_str());

  keyfile::PrivateKey key;
  keyfile::PublicKey peer;
  if (!LoadPrivateKey(key_name, &key) || !LoadPublicKey(peer_name, &peer)) return 1;
  const keyfile::ParamSet& set = *key.params;
  const size_t L = set.key_len();
  if (peer.params->bits != set.bits) {
    const std::string why = peer_name + ": a " + std::to_string(peer.params->bits) + "-bit key, but " + key_name +
                            " is a " + std::to_string(set.bits) + "-bit key";
    return Fail("%s", why.c_str());
  }
  if (!keyfile::SameCurve(set, *peer.params)) {
    const std::string why = peer_name + ": a key of parameter set " + peer.params->name + ", on another curve than " +
                            key_name + " (" + set.name + ")";
    return Fail("%s", why.c_str());
  }
  if (ukm.size() > L) {
    const std::string why = "a UKM of " + std::to_string(ukm.size()) + " bytes; a " + std::to_string(set.bits) +
                            "-bit key takes at most " + std::to_string(L);
    return Fail("%s", why.c_str());
  }
  uint8_t ukm_le[64] = {};
  uint8_t any = 0;
  for (size_t i = 0; i < ukm.size(); ++i) any |= (ukm_le[i] = ukm[i]);
  if (any == 0) return Fail("the UKM is zero");

  Signer signer;
  if (!signer.Init(set) || !signer.ImportSecret(&key)) return 1;
  SecretBytes point(2 * L);
  uint32_t st = vrtSignerGenerateVKO(signer.get(), ukm_le, peer.q.data(), point.data());
  if (st == VRT_ERROR_INVALID_ARGUMENT)
    return Fail("%s: the peer key is not a point of its curve, or the UKM is a multiple of the group order",
                peer_name.c_str());
  if (st != VRT_SUCCESS) return FailStatus("key agreement", st);
  const uint32_t bits = hash == "streebog512" ? 512 : 256;
  hash2012_ctx_t ctx;
  SecretBytes shared(bits / 8);
  st = vrtGostHash2012Init(&ctx, bits);
  if (st == VRT_SUCCESS) st = vrtGostHash2012Update(&ctx, point.data(), point.size());
  if (st == VRT_SUCCESS) st = vrtGostHash2012Finalize(&ctx, shared.data());
  Wipe(&ctx, sizeof ctx);
  if (st != VRT_SUCCESS) return FailStatus("hash", st);
  // The shared key is printed straight to the descriptor, so no stdio
  // buffer keeps it.
  SecretBytes line;
  SecretToHex(shared.data(), shared.size(), &line);
  line.push_back('\n');
  OutputFile out;
  if (!out.Open("-", 0644, true) || !out.Write(line.data(), line.size()) || !out.Commit())
    return FailErrno("standard output", errno);
  return 0;
}

}  // namespace

const Command kDeriveCommand = {"derive", "print the VKO key shared with a peer's public key", kDeriveHelp,
                                RunDerive};

}  // namespace vrt::cli
