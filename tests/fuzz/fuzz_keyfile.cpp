// Key files from untrusted bytes: the PKCS#8 and SubjectPublicKeyInfo readers
// of the vrt tool, PEM or DER. Nothing crashes or reads out of bounds, and
// every key that is accepted writes back (PEM and DER) into a file that reads
// as the same key, and writes back the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "keyfile.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vrt;
  std::string error;
  keyfile::PrivateKey key;
  if (keyfile::ParsePrivateKey(data, size, &key, &error)) {
    check(key.d.size() == key.params->key_len() && keyfile::ScalarInRange(*key.params, key.d.data()) == 1);
    for (bool pem : {true, false}) {
      cli::SecretBytes out;
      keyfile::WritePrivateKey(key, pem, &out);
      keyfile::PrivateKey back;
      check(keyfile::ParsePrivateKey(out.data(), out.size(), &back, &error));
      check(back.params == key.params && std::memcmp(back.d.data(), key.d.data(), key.d.size()) == 0);
      cli::SecretBytes again;
      keyfile::WritePrivateKey(back, pem, &again);
      check(again.size() == out.size() && std::memcmp(again.data(), out.data(), out.size()) == 0);
    }
  } else {
    check(!error.empty());
  }
  error.clear();
  keyfile::PublicKey pub;
  if (keyfile::ParsePublicKey(data, size, &pub, &error)) {
    check(pub.q.size() == 2 * pub.params->key_len());
    for (bool pem : {true, false}) {
      cli::SecretBytes out;
      keyfile::WritePublicKey(pub, pem, &out);
      keyfile::PublicKey back;
      check(keyfile::ParsePublicKey(out.data(), out.size(), &back, &error));
      check(back.params == pub.params && back.q == pub.q);
      // Writing is a function of the key alone.
      cli::SecretBytes again;
      keyfile::WritePublicKey(back, pem, &again);
      check(again.size() == out.size() && std::memcmp(again.data(), out.data(), out.size()) == 0);
    }
  } else {
    check(!error.empty());
  }
  return 0;
}
