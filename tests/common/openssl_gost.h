// The OpenSSL GOST provider for the digests and the default one for HMAC and
// the KDFs (loading one provider explicitly stops the default one from
// loading by itself), loaded once for the whole run and released at exit, before the library's own clean-up, so that
// nothing they hold is reported as leaked.
#pragma once

#include <openssl/provider.h>

namespace vrt::test {

inline bool GostProviders() {
  struct Loaded {
    OSSL_PROVIDER* gost = OSSL_PROVIDER_load(nullptr, "gostprov");
    OSSL_PROVIDER* def = OSSL_PROVIDER_load(nullptr, "default");
    ~Loaded() {
      if (gost != nullptr) OSSL_PROVIDER_unload(gost);
      if (def != nullptr) OSSL_PROVIDER_unload(def);
    }
  };
  static const Loaded loaded;
  return loaded.gost != nullptr && loaded.def != nullptr;
}

}  // namespace vrt::test
