/* The public header from C: initialise, hash the standard's first example,
 * one HMAC, report, clean up; then the text helpers that C can call. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "vrt.h"

static int count_settings(void* user, const wchar_t* section, const wchar_t* name, const wchar_t* value,
                          int section_index) {
  (void)section;
  (void)name;
  (void)value;
  (void)section_index;
  ++*(int*)user;
  return 1;
}

int main(void) {
  int settings = 0;
  static const char m1[] = "012345678901234567890123456789012345678901234567890123456789012";
  /* Streebog-256 of M1, in the library's (little-endian) byte order. */
  static const uint8_t expected[32] = {
      0x9d, 0x15, 0x1e, 0xef, 0xd8, 0x59, 0x0b, 0x89, 0xda, 0xa6, 0xba, 0x6c, 0xb7, 0x4a, 0xf9, 0x27,
      0x5d, 0xd0, 0x51, 0x02, 0x6b, 0xb1, 0x49, 0xa4, 0x52, 0xfd, 0x84, 0xe5, 0xe5, 0x7b, 0x55, 0x00};
  hash2012_ctx_t ctx;
  uint8_t digest[32];
  if (vrtStatus() != VRT_ERROR_NOT_INITIALIZED) return 1;
  if (vrtInitRunTests() != VRT_SUCCESS) return 2;
  if (vrtGostHash2012Init(&ctx, 256) != VRT_SUCCESS) return 3;
  if (vrtGostHash2012Update(&ctx, (const uint8_t*)m1, sizeof m1 - 1) != VRT_SUCCESS) return 4;
  if (vrtGostHash2012Finalize(&ctx, digest) != VRT_SUCCESS) return 5;
  if (memcmp(digest, expected, sizeof digest) != 0) return 6;
  if (sizeof(hash2012_ctx_t) != 336) return 7;
  if (strcmp(vrtGetVersionStr(), "1.1.0") != 0 || vrtGetVersion() != 0x10100u) return 8;
  {
    /* The record sizes C callers allocate, and one HMAC through a context. */
    hmac_ctx_t hmac;
    binstr_t key, data;
    uint8_t mac[32];
    __binstr_init(&key, (void*)m1, 32);
    __binstr_init(&data, (void*)m1, sizeof m1 - 1);
    if (sizeof(hash94_ctx_t) != 176 || sizeof(hmac_ctx_t) != VRT_HMAC_CTX_SIZE) return 10;
    /* The generator context keeps the layout it had with a pthread_mutex_t first. */
    if (sizeof(random_ctx_t) != 1856 || offsetof(random_ctx_t, ready) != 40) return 17;
    if (vrtHMACInit((uint8_t*)&hmac, &key, VRT_ALG_HMAC94) != VRT_SUCCESS) return 11;
    if (vrtHMACUpdate((uint8_t*)&hmac, &data) != VRT_SUCCESS) return 12;
    if (vrtHMACFinalize((uint8_t*)&hmac, mac) != VRT_SUCCESS) return 13;
    if (vrtGostHmac94(digest, &key, &data) != VRT_SUCCESS || memcmp(digest, mac, sizeof mac) != 0) return 14;
  }
  vrtCleanup();
  if (vrtStatus() != VRT_ERROR_NOT_INITIALIZED) return 9;
  /* The text helpers with plain C types, without initialisation. */
  if (utf8_strlen("\xc3\xa9" "a") != 2) return 15;
  if (vr_ini_parse_string(L"[a]\nk = v\nx: y", count_settings, &settings) != 0 || settings != 2) return 16;
  puts("C API ok");
  return 0;
}
