/* Must not compile with -Werror: the result of a signature check is dropped.
 * scripts/consumer_check.sh builds it twice, with the unused-result warning
 * off (it must compile) and as an error (it must be refused). */
#include <stdint.h>

#include <vrt.h>

int check(SignerHandle* handle, const uint8_t* digest, const uint8_t* signature) {
  vrtSignerVerify(handle, digest, signature);
  return 0;
}
