// Shared pieces of the public-key commands (genkey, pubkey, sign, verify,
// derive): key files with their messages, digests of files and signer
// handles that release themselves.
#pragma once

#include <cstdint>
#include <string>

#include "cli.h"
#include "keyfile.h"
#include "vrt.h"

namespace vrt::cli {

// Read and parse a key file ("-" = standard input); on failure print one
// message naming the file and return false.
bool LoadPrivateKey(const std::string& name, keyfile::PrivateKey* key);
bool LoadPublicKey(const std::string& name, keyfile::PublicKey* key);

// The Streebog digest (bits 256 or 512) of a file ("-" = standard input), in
// the library's byte order. False with errno set on a read error.
bool DigestFile(const std::string& name, uint32_t bits, uint8_t* digest);

// True (after printing why) when binary output would go to a terminal.
bool RefuseBinaryTerminal(const std::string& output, const char* hint);

// A signer handle for one parameter set.
class Signer {
 public:
  Signer() = default;
  ~Signer() { vrtSignerRelease(h_); }
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;
  // Each prints a message and returns false on failure.
  bool Init(const keyfile::ParamSet& set);
  // Masks the key, hands it to the signer and wipes the plain bytes.
  bool ImportSecret(keyfile::PrivateKey* key);
  SignerHandle* get() const { return h_; }

 private:
  SignerHandle* h_ = nullptr;
};

}  // namespace vrt::cli
