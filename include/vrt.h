/* vrt.h - the public interface of libvrt.
 *
 * GOST cryptography for Linux x86-64: Streebog and GOST R 34.11-94, HMAC and
 * key derivation, Kuznyechik and Magma in the GOST R 34.13-2015 modes, MGM,
 * GOST 28147-89, GOST R 34.10-2012 signatures and VKO, a self-seeding random
 * generator, masked key storage, and text helpers (INI, Base64, UTF-8).
 *
 * Every function returns an unsigned 32-bit status (VRT_SUCCESS is 0) unless
 * its comment says otherwise. Initialise the library with vrtInit or
 * vrtInitRunTests before calling any algorithm function; the algorithm
 * functions do not check it. Usable from C and C++.
 *
 * Layout. The API comes first, in sections: lifecycle and status codes,
 * secure memory, hashes with HMAC and key derivation, the GOST R 34.12-2015
 * ciphers, GOST 28147-89, signatures, keys with the random generator, text
 * helpers. Each section gives the identifiers, records and functions an
 * application uses, every function with what it does and the statuses it
 * returns. After the last section, and before the C++-only text helpers,
 * one block marked "ABI level" declares what the library exports besides:
 * the vrtp twins of the vrt functions, algorithm cores, processor-specific
 * variants, mode workers, tables and self-tests, grouped by the same
 * sections. Applications do not need them. */
#ifndef VRT_H
#define VRT_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define VRT_API __attribute__((visibility("default")))
#else
#define VRT_API
#endif

/* VRT_MUST_CHECK marks the functions whose status says whether their output
 * may be used at all: signature verification, decryption, MAC values and the
 * final steps of hashes, streams and key import. Dropping the result of one
 * is warned about (-Wunused-result). In C++ it is [[nodiscard]], which a
 * cast to void silences where dropping is intended; C compilers of the GNU
 * family get warn_unused_result. */
#if defined(__cplusplus) && __cplusplus >= 201703L
#define VRT_MUST_CHECK [[nodiscard]]
#elif defined(__GNUC__)
#define VRT_MUST_CHECK __attribute__((warn_unused_result))
#else
#define VRT_MUST_CHECK
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ==========================================================================
 * Lifecycle and status codes
 * ========================================================================== */

#define VRT_SUCCESS                 UINT32_C(0)
/* The operation ran and its answer is negative: a self-test found a wrong
 * result, a MAC, imito or tag does not match, a signature does not verify, a
 * generated key came out zero, a context of another mode, the generator
 * refused a request. */
#define VRT_ERROR_FAILED            UINT32_C(1)
/* Parameter values that cannot be used together (ACPKM sizes, multi-lane
 * GOST 28147-89 lanes with different keys). */
#define VRT_ERROR_BAD_PARAMETERS    UINT32_C(2)
/* A null pointer, a length or size out of range, an unknown size or mode, a
 * wrong size handed to a save-state call, a saved counter out of range. */
#define VRT_ERROR_INVALID_ARGUMENT  UINT32_C(3)
/* An identifier, parameter set or format this operation does not accept
 * (saved-state version not 1, among others). */
#define VRT_ERROR_UNSUPPORTED       UINT32_C(5)
/* The library is not initialised, or a hash context was already finalised. */
#define VRT_ERROR_NOT_INITIALIZED   UINT32_C(6)
#define VRT_ERROR_NO_MEMORY         UINT32_C(7)
/* A vector request with nothing to process. */
#define VRT_ERROR_NO_DATA           UINT32_C(9)
#define VRT_ERROR_BUFFER_TOO_SMALL  UINT32_C(10)
/* Signature generation produced r = 0 or s = 0. */
#define VRT_ERROR_SIGNATURE         UINT32_C(11)
/* A length that does not match (short saved state, data that must be whole
 * blocks, an exported key of another length). */
#define VRT_ERROR_LENGTH            UINT32_C(12)
/* The generator's statistical test failed. */
#define VRT_ERROR_RANDOM_TEST       UINT32_C(13)
/* Only from vrt_memset_s and vrt_memreset_s: bad pointer or size. */
#define VRT_ERROR_BAD_BUFFER        UINT32_C(0xFFFFFFFF)

/* vrtInit initialises the library without self-tests: the dispatch table and
 * processor probe, the platform layer, the cipher tables, the memory-wipe
 * generator, then the main random generator. Returns VRT_SUCCESS, or the status
 * of the first step that failed, in which case every layer is rolled back.
 * Calling it on an initialised library does nothing and returns VRT_SUCCESS.
 * Thread-safe. */
VRT_API uint32_t vrtInit(void);
/* vrtInitRunTests is vrtInit followed by every known-answer self-test; a
 * failing test's status is returned and the initialisation rolled back. */
VRT_API uint32_t vrtInitRunTests(void);
/* vrtCleanup tears the library down. Contexts, keys and signer handles must be
 * released before. Harmless on an uninitialised library. */
VRT_API void vrtCleanup(void);
/* vrtStatus returns VRT_SUCCESS when the library is initialised, else
 * VRT_ERROR_NOT_INITIALIZED. */
VRT_API uint32_t vrtStatus(void);
/* vrtTest runs the self-tests on an initialised library
 * (VRT_ERROR_NOT_INITIALIZED if it is not). A failure is reported and leaves
 * the library initialised. */
VRT_API uint32_t vrtTest(void);
/* vrtGetVersion returns 0x10100 (major, minor, patch one byte each). */
VRT_API uint32_t vrtGetVersion(void);
/* vrtGetVersionStr returns the static text "1.1.0". */
VRT_API const char* vrtGetVersionStr(void);

/* ==========================================================================
 * Secure memory
 * ========================================================================== */

/* vrt_memset_s fills count bytes of dest with the low byte of ch, with stores
 * the compiler cannot drop. Returns VRT_SUCCESS, or VRT_ERROR_BAD_BUFFER
 * (nothing written) when dest is null, destsz is negative or smaller than
 * count. */
VRT_API uint32_t vrt_memset_s(void* dest, int64_t destsz, int ch, uint64_t count);
/* vrt_memreset_s overwrites size bytes of dest with bytes of the library's
 * memory-wipe generator. Returns VRT_SUCCESS, VRT_ERROR_BAD_BUFFER for a null
 * dest or a negative size, or the generator's status (the bytes written so far
 * stay). */
VRT_API uint32_t vrt_memreset_s(void* dest, int64_t size);

/* ==========================================================================
 * Hashes, HMAC and key derivation
 * ========================================================================== */

/* ---- GOST R 34.11-2012 (Streebog) ---- */

#define VRT_ALG_HASH2012_256  UINT32_C(0x2010002)
#define VRT_ALG_HASH2012_512  UINT32_C(0x2010003)
#define VRT_HASH2012_STATE_SIZE 259

/* A Streebog context in caller memory (336 bytes). All 512-bit values are
 * little-endian; digests are the byte-reverse of the hex the standard prints. */
typedef struct hash2012_ctx {
  uint8_t h[64];          /* chaining value */
  uint8_t N[64];          /* message bits processed */
  uint8_t sigma[64];      /* checksum */
  uint8_t hmac_key[64];   /* HMAC key block; untouched by the hash */
  uint8_t buffer[64];     /* partial block */
  uint64_t buffered;      /* bytes in buffer, 0..63; all-ones once finalised */
  uint64_t digest_bits;   /* 256 or 512 */
} hash2012_ctx_t;

/* vrtGostHash2012Init starts a digest of size 256 or 512 bits (or
 * VRT_ALG_HASH2012_256/512). Returns VRT_ERROR_INVALID_ARGUMENT for any other
 * size. */
VRT_API uint32_t vrtGostHash2012Init(hash2012_ctx_t* ctx, uint32_t size);
/* vrtGostHash2012Update absorbs length bytes (data may be null when length is
 * 0). Returns VRT_ERROR_NOT_INITIALIZED on a finalised context,
 * VRT_ERROR_INVALID_ARGUMENT for a null context or data. */
VRT_API uint32_t vrtGostHash2012Update(hash2012_ctx_t* ctx, const uint8_t* data, uint64_t length);
/* vrtGostHash2012Finalize writes the 32- or 64-byte digest; on a finalised
 * context it writes the same digest again. */
VRT_MUST_CHECK VRT_API uint32_t vrtGostHash2012Finalize(hash2012_ctx_t* ctx, uint8_t* digest);
/* vrtGostHash2012SaveState writes the 259-byte snapshot of ctx. A null blob
 * asks for the size (*size = 259); *size other than 259 gives
 * VRT_ERROR_INVALID_ARGUMENT. */
VRT_API uint32_t vrtGostHash2012SaveState(hash2012_ctx_t* ctx, uint8_t* blob, uint64_t* size);
/* vrtGostHash2012RestoreState loads a snapshot: VRT_ERROR_INVALID_ARGUMENT for
 * a null blob or a bad buffered count, VRT_ERROR_LENGTH for a blob shorter than
 * 259 bytes, VRT_ERROR_UNSUPPORTED for a version other than 1. On any failure
 * ctx is left as it was. Extra bytes are ignored. */
VRT_API uint32_t vrtGostHash2012RestoreState(hash2012_ctx_t* ctx, const uint8_t* blob, uint64_t size);

/* ---- GOST R 34.11-94 ---- */

/* Bytes of a GOST R 34.11-94 saved state. */
#define VRT_HASH94_STATE_SIZE 131

struct gost89_sbox;

/* A GOST R 34.11-94 context in caller memory (176 bytes). All 256-bit values
 * are little-endian; the digest is the byte-reverse of the hex the standard
 * prints (the order libgcrypt, Nettle and OpenSSL return). */
typedef struct hash94_ctx {
  uint8_t h[32];                   /* chaining value H */
  uint8_t L[32];                   /* message bits processed */
  uint8_t sigma[32];               /* checksum */
  uint8_t hmac_key[32];            /* HMAC key block; untouched by the hash */
  uint8_t buffer[32];              /* partial block */
  uint64_t buffered;               /* bytes in buffer, 0..32; all-ones once finalised */
  const struct gost89_sbox* sbox;  /* the GOST 28147-89 S-box set of the step function */
} hash94_ctx_t;

/* vrtGostHash94Init starts a digest. sbox is an S-box identifier of the GOST
 * 28147-89 section or the address of an initialised caller's set; 0 selects
 * VRT_GOST89_SBOX_R3411_94_CRYPTOPRO. start is the 32-byte starting value
 * (null: zero). Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null ctx
 * or an S-box set that is not initialised (the context is cleared but
 * unusable). */
VRT_API uint32_t vrtGostHash94Init(hash94_ctx_t* ctx, uint64_t sbox, const uint8_t* start);
/* vrtGostHash94Update absorbs length bytes (data may be null when length is 0).
 * Returns VRT_ERROR_NOT_INITIALIZED on a finalised context,
 * VRT_ERROR_INVALID_ARGUMENT for a null context or data. */
VRT_API uint32_t vrtGostHash94Update(hash94_ctx_t* ctx, const uint8_t* data, uint64_t length);
/* vrtGostHash94Finalize writes the 32-byte digest; on a finalised context it
 * writes the same digest again. */
VRT_MUST_CHECK VRT_API uint32_t vrtGostHash94Finalize(hash94_ctx_t* ctx, uint8_t* digest);
/* vrtGostHash94SaveState writes the 131-byte snapshot of ctx. A null blob asks
 * for the size (*size = 131); *size other than 131 gives
 * VRT_ERROR_INVALID_ARGUMENT; a context on another S-box set than the two of
 * GOST R 34.11-94 gives VRT_ERROR_UNSUPPORTED. Nothing is written on failure. */
VRT_API uint32_t vrtGostHash94SaveState(hash94_ctx_t* ctx, uint8_t* blob, uint64_t* size);
/* vrtGostHash94RestoreState loads a snapshot: VRT_ERROR_INVALID_ARGUMENT for a
 * null blob or a buffered count above 32, VRT_ERROR_LENGTH for a blob shorter
 * than 131 bytes, VRT_ERROR_UNSUPPORTED for a version other than 1 or an
 * S-box byte other than 0 (test set) or 1 (CryptoPro set). On any failure ctx
 * is left as it was. Extra bytes are ignored. */
VRT_API uint32_t vrtGostHash94RestoreState(hash94_ctx_t* ctx, const uint8_t* blob, uint64_t size);

/* ---- HMAC ---- */

#define VRT_ALG_HMAC94        UINT32_C(0x2010101) /* HMAC-GOST R 34.11-94, CryptoPro set */
#define VRT_ALG_HMAC2012_256  UINT32_C(0x2010102) /* HMAC-Streebog-256 */
#define VRT_ALG_HMAC2012_512  UINT32_C(0x2010103) /* HMAC-Streebog-512 */
#define VRT_HMAC_CTX_SIZE 352

struct binstr;

/* The operations of one HMAC algorithm (defined in the ABI-level block). */
typedef struct hmac_ops hmac_ops_t;

/* An HMAC context in caller memory (352 bytes, 8-byte aligned): the hash
 * context with the key block, then the algorithm's operations. Between
 * vrtHMACInit and vrtHMACFinalize it holds the key in plain form: wipe it
 * (vrt_memreset_s) if a stream is abandoned. */
typedef struct hmac_ctx {
  union {
    hash2012_ctx_t h2012;
    hash94_ctx_t h94;
  } hash;
  const hmac_ops_t* hmac_ops;  /* null until initialised */
  uint64_t reserved;
} hmac_ctx_t;

/* vrtHMACInit clears the context, selects the algorithm (VRT_ALG_HMAC*) and
 * absorbs the key, of any length (one longer than the hash block is hashed
 * first). Returns VRT_SUCCESS; VRT_ERROR_UNSUPPORTED for another identifier;
 * VRT_ERROR_FAILED for a null ctx or key. After a failure the context
 * refuses Update and Finalize. */
VRT_API uint32_t vrtHMACInit(uint8_t* ctx, const struct binstr* key, uint32_t algorithm);
/* vrtHMACUpdate absorbs the data bytes (data->data may be null when the length
 * is 0). Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null ctx or data
 * or a context never initialised; VRT_ERROR_NOT_INITIALIZED after the final
 * step. */
VRT_API uint32_t vrtHMACUpdate(uint8_t* ctx, const struct binstr* data);
/* vrtHMACFinalize writes the MAC (digest_size bytes) and wipes the key block
 * and the hash state from the context. Returns VRT_SUCCESS;
 * VRT_ERROR_INVALID_ARGUMENT as for Update; VRT_ERROR_NOT_INITIALIZED when the
 * final step was already done (nothing written): initialise the context again
 * for another MAC. */
VRT_MUST_CHECK VRT_API uint32_t vrtHMACFinalize(uint8_t* ctx, uint8_t* mac);
/* vrtGostHmac2012_256 (32-byte mac), vrtGostHmac2012_512 (64 bytes) and
 * vrtGostHmac94 (32 bytes, CryptoPro set) compute the MAC of data under key
 * in one call on a context they wipe before returning. Returns VRT_SUCCESS, or
 * VRT_ERROR_INVALID_ARGUMENT for a null mac, key or data, or data bytes
 * missing for a nonzero length. */
VRT_API uint32_t vrtGostHmac2012_256(uint8_t* mac, const struct binstr* key, const struct binstr* data);
VRT_API uint32_t vrtGostHmac2012_512(uint8_t* mac, const struct binstr* key, const struct binstr* data);
VRT_API uint32_t vrtGostHmac94(uint8_t* mac, const struct binstr* key, const struct binstr* data);

/* ---- key derivation: KDF, KDF_TREE, KEG and the TLS and IPsec PRFs ---- */

struct genkey;
struct sign2012_par;

/* Secret inputs are masked keys (genkey_t of the keys section; a null record,
 * null data or zero length counts as missing); they are unmasked only into
 * temporaries, which are wiped with every HMAC state that held them before
 * the call returns. On an argument error nothing is written. */

/* vrtKDFTree256 is KDF_TREE_GOSTR3411_2012_256 of R 50.1.113-2016: L / 8 bytes
 * (rounded down) of HMAC-Streebog-256 blocks over counter(R bytes) | label |
 * 0x00 | seed | L (big-endian, fewest bytes). Returns VRT_SUCCESS;
 * VRT_ERROR_INVALID_ARGUMENT for a missing key, an empty or null label or seed,
 * a null out, R outside 1..4 or L above 256 * (2^(8R) - 1);
 * VRT_ERROR_NO_MEMORY. */
VRT_API uint32_t vrtKDFTree256(const struct genkey* key, const uint8_t* label, uint64_t label_len,
                               const uint8_t* seed, uint64_t seed_len, uint32_t R, uint64_t L, uint8_t* out);
/* vrtKDF256 is KDF_GOSTR3411_2012_256: vrtKDFTree256 with R = 1, L = 256
 * (32 bytes of out). */
VRT_API uint32_t vrtKDF256(const struct genkey* key, const uint8_t* label, uint64_t label_len,
                           const uint8_t* seed, uint64_t seed_len, uint8_t* out);
/* vrtKEG derives 64 bytes from a plain private key (L bytes), the peer's public
 * key (2L bytes, x then y little-endian) and the 32-byte h: VKO with UKM =
 * h[15..0] (1 when those bytes are zero); on a 512-bit curve its 64-byte
 * result, on a 256-bit curve KDF_TREE of its 32-byte result with label "kdf
 * tree", seed h[16..23], R = 1, L = 512. On the built-in curve records (or
 * copies of them) VKO runs on a signer handle, in time independent of the keys;
 * another curve record takes the reference code. Returns VRT_SUCCESS;
 * VRT_ERROR_INVALID_ARGUMENT for null arguments, a curve of another size or a
 * peer key that is not a point of the curve; VRT_ERROR_NO_MEMORY. The shared
 * point and the VKO key are wiped. */
VRT_API uint32_t vrtKEG(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                        const struct sign2012_par* curve, uint8_t* out);
/* vrtPRFTLS is the TLS 1.2 PRF (P_hash of RFC 5246 over label | seed) with
 * algorithm VRT_ALG_HMAC2012_256 or VRT_ALG_HMAC2012_512: out_len bytes.
 * Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a missing key, a null or
 * empty label or seed, out_len 0 or a null out; VRT_ERROR_UNSUPPORTED for
 * another algorithm; VRT_ERROR_NO_MEMORY. */
VRT_API uint32_t vrtPRFTLS(const struct genkey* key, const uint8_t* label, uint64_t label_len, const uint8_t* seed,
                           uint64_t seed_len, uint32_t algorithm, uint64_t out_len, uint8_t* out);
/* vrtPRFIPsecKeyMat is PRF_IPSEC_KEYMAT of R 50.1.113-2016:
 * T(1) = H(key, seed), T(i+1) = H(key, T(i) | seed); vrtPRFIPsecPrfPlus is
 * prf+ of RFC 7296: T(i) = H(key, T(i-1) | seed | i), one counter byte
 * (it wraps past block 255). Statuses as for vrtPRFTLS, the seed a byte
 * string that must be non-empty. */
VRT_API uint32_t vrtPRFIPsecKeyMat(const struct genkey* key, const struct binstr* seed, uint32_t algorithm,
                                   uint64_t out_len, uint8_t* out);
VRT_API uint32_t vrtPRFIPsecPrfPlus(const struct genkey* key, const struct binstr* seed, uint32_t algorithm,
                                    uint64_t out_len, uint8_t* out);

/* ---- password-based keys: PBKDF2, PBES2 and PBMAC1 (PKCS #5, R 50.1.111-2016) ---- */

#define VRT_ALG_PBKDF2             UINT32_C(0x4010002)
#define VRT_ALG_PBES2              UINT32_C(0x4020002)
#define VRT_ALG_PBMAC1             UINT32_C(0x4030001)
/* salt_mode value: the Streebog PBKDF2 takes only the first 4 salt bytes. */
#define VRT_ALG_PBKDF2_SHORT_SALT  UINT32_C(0x4030002)

/* The GOST 28147-89 parameters of PBES2 and PBMAC1: the S-box set
 * (VRT_GOST89_SBOX_*) and the 8-byte IV. A null record, a zero set or a null
 * IV select the defaults: the set follows prf (VRT_ALG_HMAC94 gives
 * CryptoPro A, VRT_ALG_HMAC2012_512 tc26 Z), the IV is eight zero bytes. */
typedef struct pkcs5_cipher_params {
  uint64_t sbox;
  const uint8_t* iv;
} pkcs5_cipher_params_t;

/* The caller's description of one password-based operation. */
typedef struct pkcs5_params {
  struct genkey* key;          /* derived key; for Encrypt, Decrypt and MAC a key to use (null: derive one) */
  uint32_t kdf;                /* VRT_ALG_PBKDF2 */
  uint32_t prf;                /* VRT_ALG_HMAC94 or VRT_ALG_HMAC2012_512 */
  uint64_t iterations;         /* c; 0 counts as 1 */
  const struct binstr* password;
  const struct binstr* salt;
  uint32_t enc_scheme;         /* VRT_ALG_PBES2 for Encrypt and Decrypt */
  uint32_t enc_cipher;         /* VRT_GOST89_MODE_CFB (0x1000106) */
  uint32_t mac_scheme;         /* VRT_ALG_PBMAC1 for the MAC */
  uint32_t mac_alg;            /* VRT_GOST89_MODE_MAC (0x1000101) */
  const pkcs5_cipher_params_t* cipher_params; /* optional */
  uint32_t salt_mode;          /* VRT_ALG_PBKDF2_SHORT_SALT or 0 */
} pkcs5_params_t;

/* vrtPKCS5DeriveKeyNoCheck stores key in params->key and fills its
 * key->key.length bytes (dkLen, at most 4096) with PBKDF2 (RFC 8018) of the
 * password and salt over the PRF, then masks the record (genkey_mask). Returns
 * VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null params, password, salt or
 * key, bytes missing behind a nonzero length, dkLen above 4096, or a short salt
 * mode with fewer than 4 salt bytes; VRT_ERROR_UNSUPPORTED for another kdf or
 * prf. A failing PRF step stops the derivation: its status is returned and the
 * key bytes are wiped. */
VRT_API uint32_t vrtPKCS5DeriveKeyNoCheck(pkcs5_params_t* params, struct genkey* key);
/* vrtPKCS5DeriveKey is the same after the checks of the profile:
 * VRT_ERROR_INVALID_ARGUMENT also for fewer than 1000 iterations or a salt
 * outside 8..32 bytes. */
VRT_API uint32_t vrtPKCS5DeriveKey(pkcs5_params_t* params, struct genkey* key);

/* vrtPKCS5Encrypt and vrtPKCS5Decrypt run GOST 28147-89 in CFB mode
 * (PBES2) over length bytes of in into out under params->key, or, when it
 * is null, under a 32-byte key derived for this call with the checks of
 * vrtPKCS5DeriveKey (held masked, freed and wiped before the call returns;
 * params->key stays null). S-box set and IV from cipher_params or the
 * defaults. Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null params,
 * password or salt, or null data for a nonzero length; VRT_ERROR_UNSUPPORTED
 * for enc_scheme other than VRT_ALG_PBES2 or enc_cipher other than
 * 0x1000106; the status of the derivation, the key record or the cipher. */
VRT_API uint32_t vrtPKCS5Encrypt(pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length);
VRT_MUST_CHECK VRT_API uint32_t vrtPKCS5Decrypt(pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                                uint64_t length);
/* vrtPKCS5MAC (PBMAC1) writes the first min(mac_len, 8) bytes of the GOST
 * 28147-89 MAC of the data, its state started from the IV, under the key as for
 * encryption. Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT as for Encrypt
 * and for a null mac; VRT_ERROR_UNSUPPORTED for mac_scheme other than
 * VRT_ALG_PBMAC1 or mac_alg other than 0x1000101; the status of the derivation
 * or the cipher. */
VRT_API uint32_t vrtPKCS5MAC(pkcs5_params_t* params, const uint8_t* data, uint64_t length, uint8_t* mac,
                             uint64_t mac_len);

/* ---- key export (KExp15, KImp15) and the TC26 key wrap ---- */

/* vrtKExp15 exports key under two GOST R 34.12-2015 keys as R
 * 1323565.1.017-2018 defines it: out = CTR(enc_key, iv) of K | OMAC(mac_key, iv
 * | K), k + n bytes for a key of k bytes and the block size n (16: Kuznyechik,
 * 8: Magma; the OMAC has n bytes). A null out asks for the size (*out_len,
 * status VRT_SUCCESS). Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a
 * missing key, key bytes, cipher key, iv, iv_len or out_len, or another block
 * size; VRT_ERROR_LENGTH when *out_len is not k + n; the status of a failing
 * cipher or allocation (VRT_ERROR_NO_MEMORY). The plain key and the tag exist
 * only in temporaries wiped before the call returns. */
VRT_API uint32_t vrtKExp15(const struct genkey* key, const struct genkey* enc_key, const struct genkey* mac_key,
                           const uint8_t* iv, uint64_t iv_len, uint64_t block_size, uint8_t* out,
                           uint64_t* out_len);
/* vrtKImp15 imports an export of exported_len = k + n bytes into key_out, whose
 * key.length must be k; a key_out with null key data asks for the size
 * (key_out->key.length = k, status VRT_SUCCESS). The key is stored and masked
 * (genkey_mask) only when the OMAC agrees, compared in constant time. Returns
 * VRT_SUCCESS; VRT_ERROR_FAILED when it does not agree (key_out untouched);
 * VRT_ERROR_INVALID_ARGUMENT for missing arguments or another block size;
 * VRT_ERROR_LENGTH for an export of at most n bytes or a key_out of another
 * length; the status of a failing cipher or allocation. */
VRT_MUST_CHECK VRT_API uint32_t vrtKImp15(const uint8_t* exported, uint64_t exported_len, const struct genkey* enc_key,
                                          const struct genkey* mac_key, const uint8_t* iv, uint64_t iv_len,
                                          uint64_t block_size, struct genkey* key_out);
/* vrtKeyWrapTC26 wraps a 32-byte masked key (a record with a mask) under kek
 * and an 8..16-byte UKM: out = UKM | ECB(KEK(UKM), K) | the first 4 bytes of
 * the GOST 28147-89 MAC of K under KEK(UKM) with the first 8 UKM bytes as IV,
 * KEK(UKM) = KDF_GOSTR3411_2012_256(kek, 26 bd b8 78, UKM), all on the tc26 Z
 * S-box set. A null out or *out_len 0 asks for the size (UKM length + 36); on
 * success *out_len is set to it. Returns VRT_SUCCESS;
 * VRT_ERROR_INVALID_ARGUMENT for a null kek, key, out_len or UKM, a key that is
 * not a 32-byte record with a mask, or a UKM outside 8..16 bytes;
 * VRT_ERROR_BUFFER_TOO_SMALL for a shorter *out_len; VRT_ERROR_NO_MEMORY; the
 * status of the KDF or the cipher. */
VRT_API uint32_t vrtKeyWrapTC26(const uint8_t* ukm, uint64_t ukm_len, const struct genkey* kek,
                                const struct genkey* key, uint8_t* out, uint64_t* out_len);
/* vrtKeyUnwrapTC26 checks and unwraps a wrapped key of 44..52 bytes into
 * key_out (a 32-byte record with a mask), which receives the key and is masked
 * only when the MAC agrees (compared in constant time). Returns VRT_SUCCESS;
 * VRT_ERROR_FAILED when it does not (key_out untouched);
 * VRT_ERROR_INVALID_ARGUMENT for null arguments, another wrapped length or an
 * incomplete key_out; VRT_ERROR_NO_MEMORY; the status of the KDF or the cipher.
 * KEK(UKM), the plain key and the MAC are wiped. */
VRT_MUST_CHECK VRT_API uint32_t vrtKeyUnwrapTC26(const struct genkey* kek, const uint8_t* wrapped, uint64_t wrapped_len,
                                                 struct genkey* key_out);

/* ==========================================================================
 * GOST R 34.12-2015 ciphers: Kuznyechik, Magma, modes, MAC, MGM
 * ========================================================================== */

/* Blocks, keys and round keys of both ciphers are byte strings in the order
 * the standard prints them: byte 0 is the most significant byte. */

/* ---- cipher context: identifiers and records ---- */

/* Modes of a cipher context. */
#define VRT_GOST15_MODE_MAC         UINT32_C(0x01000101) /* OMAC */
#define VRT_GOST15_MODE_ECB         UINT32_C(0x01000102)
#define VRT_GOST15_MODE_CTR         UINT32_C(0x01000103)
#define VRT_GOST15_MODE_OFB         UINT32_C(0x01000104)
#define VRT_GOST15_MODE_CBC         UINT32_C(0x01000105)
#define VRT_GOST15_MODE_CFB         UINT32_C(0x01000106)
#define VRT_GOST15_MODE_CTR_ACPKM   UINT32_C(0x01000107) /* counter with ACPKM key change */
#define VRT_GOST15_MODE_OMAC_ACPKM  UINT32_C(0x01000108)

/* Context flags. The caller passes 0 or VRT_GOST15_FLAG_IV_REVERSED; the two
 * stream bits are the context's own bookkeeping. */
/* Counter modes: the caller's IV is given least significant byte first, so
 * the first 8 bytes of the counter block formed from it are reversed. A
 * counter the context continues from (a stream, a whole counter block) is
 * taken as it is. */
#define VRT_GOST15_FLAG_IV_REVERSED     UINT32_C(0x1)
#define VRT_GOST15_FLAG_ENCRYPT_STREAM  UINT32_C(0x2) /* an encryption stream is open */
#define VRT_GOST15_FLAG_DECRYPT_STREAM  UINT32_C(0x4) /* a decryption stream is open */

/* Gost15Vec.chain_flags bits. */
#define VRT_GOST15_CHAIN_FROM_DATA      UINT64_C(0x10000) /* set by a call: the register holds only data */
/* The IV is a whole n-byte counter block (counter modes), taken unchanged. */
#define VRT_GOST15_CHAIN_FULL_COUNTER   UINT64_C(0x20000)

struct genkey;

/* One lane of a cipher request (88 bytes). The status bits are the
 * VRT_VEC_* bits of the GOST 28147-89 section. */
typedef struct Gost15Vec {
  uint64_t len;              /* input bytes still to process; counts down */
  const uint8_t* in;         /* input; advances as consumed */
  uint8_t* out;              /* output; advances as written (MAC modes: unused) */
  const struct genkey* key;  /* masked 32-byte key */
  const uint8_t* iv;         /* IV on entry; the call points it at the context's register */
  uint64_t iv_len;           /* m on entry */
  const uint8_t* chain_src;  /* set by the call: the ciphertext side */
  const uint8_t* data_src;   /* set by the call: the other side */
  uint64_t reserved;         /* zero */
  uint64_t chain_flags;      /* VRT_GOST15_CHAIN_* */
  uint32_t status;           /* VRT_VEC_SKIP from the caller; the call rewrites the low byte */
  uint32_t reserved2;
} Gost15Vec;

/* The cipher context; its layout is private to the library. */
typedef struct Gost15Ctx Gost15Ctx;

/* ---- cipher context: lifecycle ---- */

/* vrtGost15CtxAlloc allocates a zeroed context for one lane of block_size 16
 * (Kuznyechik) or 8 (Magma) bytes and stores it in *ctx_out.
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx_out, another lane count or block
 * size; VRT_ERROR_NO_MEMORY when the allocation fails (*ctx_out is then null).
 * The caller releases it with vrtGost15CtxFree. */
VRT_API uint32_t vrtGost15CtxAlloc(Gost15Ctx** ctx_out, uint32_t lanes, uint32_t block_size);
/* vrtGost15CtxInit sets up an allocated context for one lane: the cipher is
 * chosen by the block size (Magma needs the tc26 Z S-box set initialised),
 * every other field and the work area are cleared. VRT_ERROR_INVALID_ARGUMENT
 * for a null ctx, another lane count or an uninitialised S-box set (no cipher
 * is chosen). */
VRT_API uint32_t vrtGost15CtxInit(Gost15Ctx* ctx, uint32_t lanes);
/* vrtGost15CtxAllocInitialized is Alloc then Init; when Init fails the
 * context is freed, *ctx_out set to null and Init's status returned. */
VRT_API uint32_t vrtGost15CtxAllocInitialized(Gost15Ctx** ctx_out, uint32_t lanes, uint32_t block_size);
/* vrtGost15CtxFree releases a context and what it owns; null is ignored.
 * The context holds no key between calls, so nothing is wiped. */
VRT_API void vrtGost15CtxFree(Gost15Ctx* ctx);
/* vrtGost15SetMode selects a mode (VRT_GOST15_MODE_*) and flags and clears the
 * work area (lane position, key buffers, block buffers, register).
 * VRT_ERROR_INVALID_ARGUMENT for a null or uninitialised ctx or an unknown
 * mode, the context unchanged. */
VRT_API uint32_t vrtGost15SetMode(Gost15Ctx* ctx, uint32_t mode, uint32_t flags);
/* vrtGost15SetParametersACPKM sets the sizes of the ACPKM modes, in bytes.
 * CTR-ACPKM: section_size N, a nonzero multiple of the block size n: the first
 * N bytes of a message run under the key as given, every later section under
 * the ACPKM conversion of the previous section's key; frame_size is unused
 * (pass 0). OMAC-ACPKM: section_size N, a nonzero multiple of n (N / n blocks
 * per section key), and frame_size T*, a nonzero multiple of n + 32: the
 * section size of the CTR-ACPKM generator whose output gives the section keys.
 * Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null or uninitialised
 * ctx, or while a stream or an OMAC-ACPKM message is under way;
 * VRT_ERROR_BAD_PARAMETERS for sizes that are zero or not such multiples;
 * VRT_ERROR_FAILED for a context in another mode (nothing is stored). Set the
 * mode first. */
VRT_API uint32_t vrtGost15SetParametersACPKM(Gost15Ctx* ctx, uint64_t section_size, uint64_t frame_size);

/* ---- cipher context: one-shot encryption and decryption ---- */

/* vrtGost15Encrypt and vrtGost15Decrypt process count descriptors (0 or 1:
 * the ciphers have one lane), each over its whole len bytes including the
 * final step, unless a stream of that direction is open.
 *
 * IVs: CTR takes the first n/2 bytes of an IV of at least n/2 bytes (4 for
 * Magma, 8 for Kuznyechik) as the high half of the counter block, the low
 * half zero, or n bytes unchanged with VRT_GOST15_CHAIN_FULL_COUNTER (the IV
 * must then hold n bytes); the counter is one big-endian n-byte integer.
 * CBC and OFB take a register of m bytes, a nonzero multiple of n; CFB any
 * m from n on; m is at most 255. Each block takes the next n bytes of the
 * register as its IV block and the register moves on by the block's
 * ciphertext (CBC, CFB) or gamma (OFB).
 *
 * Lengths: ECB and CBC encryption pad an incomplete last block with zero
 * bytes and write the input length rounded up to whole blocks (the output
 * must hold that many bytes); their decryption takes whole blocks only. The
 * stream modes write exactly len bytes. in and out may be the same buffer.
 *
 * Keys are unmasked into the context and wiped, with the round keys, before
 * the call returns. CTR-ACPKM runs like CTR, with the key changed at every
 * section boundary (vrtGost15SetParametersACPKM); the counter runs on across
 * sections.
 *
 * Returns VRT_SUCCESS; VRT_ERROR_NO_DATA when there is nothing to do (count 0,
 * every lane skipped, ECB with len 0); VRT_ERROR_INVALID_ARGUMENT for a null
 * ctx, null descriptors, key, key data, input or output, a key that is not 32
 * bytes, more descriptors than lanes, a null IV or a zero len in a mode with
 * IV; VRT_ERROR_LENGTH for an IV length the mode does not take, or ECB or CBC
 * decryption of a length that is not whole blocks; VRT_ERROR_BAD_PARAMETERS for
 * CTR-ACPKM without its section size; VRT_ERROR_UNSUPPORTED for a mode the call
 * does not serve (the MAC modes). Nothing is written when the check fails. */
VRT_API uint32_t vrtGost15Encrypt(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count);
VRT_MUST_CHECK VRT_API uint32_t vrtGost15Decrypt(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count);
/* vrtGost15EncryptSimple and vrtGost15DecryptSimple build one descriptor from
 * their arguments; VRT_ERROR_INVALID_ARGUMENT for a null ctx, key, key data, in
 * or out. */
VRT_API uint32_t vrtGost15EncryptSimple(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                        uint8_t* out, uint64_t len, const uint8_t* iv, uint64_t iv_len);
VRT_MUST_CHECK VRT_API uint32_t vrtGost15DecryptSimple(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                                       uint8_t* out, uint64_t len, const uint8_t* iv, uint64_t iv_len);

/* ---- cipher context: streams and saved state ---- */

/* vrtGost15EncryptUpdate encrypts one piece of a stream. The first piece with
 * data opens the stream and takes the IV (iv, iv_len as for the one-shot call);
 * later pieces continue from the context's register and ignore iv and iv_len.
 * Of the stream's bytes so far, the last 1..n (a whole block when they end on a
 * block boundary) are held back for the final step; out receives the output of
 * the blocks before them. A null out asks for that count (*out_len, status
 * VRT_SUCCESS, nothing else checked); otherwise *out_len is the capacity of out
 * and is not updated. A piece of 0 bytes changes nothing and returns
 * VRT_SUCCESS (in may then be null). Returns VRT_SUCCESS;
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx, out_len, key, key data or input, a
 * stream of the other direction open on ctx, or a continued stream without its
 * register; VRT_ERROR_NO_MEMORY when the capacity is below the count;
 * VRT_ERROR_UNSUPPORTED for a MAC mode; and the statuses of vrtGost15Encrypt
 * (the stream stays closed when its first piece is refused).
 * vrtGost15DecryptUpdate is the same for decryption. */
VRT_API uint32_t vrtGost15EncryptUpdate(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                        uint64_t in_len, const uint8_t* iv, uint64_t iv_len, uint8_t* out,
                                        uint64_t* out_len);
VRT_MUST_CHECK VRT_API uint32_t vrtGost15DecryptUpdate(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                                       uint64_t in_len, const uint8_t* iv, uint64_t iv_len,
                                                       uint8_t* out, uint64_t* out_len);
/* vrtGost15EncryptFinal closes an encryption stream: the final step on the
 * held-back bytes writes n bytes (ECB, CBC: padded with zeros) or the bytes
 * held (CFB, OFB, CTR, CTR-ACPKM) to out. A null out asks for that count
 * (*out_len). Returns VRT_SUCCESS; VRT_ERROR_UNSUPPORTED for a mode outside
 * ECB..CTR-ACPKM; VRT_ERROR_NO_MEMORY when *out_len is below the count;
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx, out_len, key or key data, or a
 * stream without its register; VRT_ERROR_FAILED when no encryption stream is
 * open. vrtGost15DecryptFinal closes a decryption stream the same way; in ECB
 * and CBC it needs a whole block held (VRT_ERROR_LENGTH otherwise, the stream
 * stays open). */
VRT_MUST_CHECK VRT_API uint32_t vrtGost15EncryptFinal(Gost15Ctx* ctx, const struct genkey* key, uint8_t* out,
                                                      uint64_t* out_len);
VRT_MUST_CHECK VRT_API uint32_t vrtGost15DecryptFinal(Gost15Ctx* ctx, const struct genkey* key, uint8_t* out,
                                                      uint64_t* out_len);
/* vrtGost15SaveState writes the state of a cipher context to blob (42 + n + m
 * bytes, m the register length; integers little-endian): total size (8), mode
 * (4), flags with the stream bits (4), bytes held (1), the tail buffer (n), m
 * (1), the CTR-ACPKM section size, key changes done and bytes left in the
 * section (8 each), the register (m: the next IV blocks, oldest first; for OFB
 * the gamma; for the counter modes the counter block). A null blob asks for the
 * size (*size). Returns VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null or
 * uninitialised ctx, a null size or *size other than the size;
 * VRT_ERROR_UNSUPPORTED for a context not in a cipher mode. The context stays
 * usable. */
VRT_API uint32_t vrtGost15SaveState(Gost15Ctx* ctx, uint8_t* blob, uint64_t* size);
/* vrtGost15RestoreState initialises ctx (vrtGost15CtxInit, vrtGost15SetMode)
 * and loads a saved state, so that the stream continues there; ctx must have
 * been allocated for the block size of the saved one. Returns VRT_SUCCESS;
 * VRT_ERROR_LENGTH when size is below the blob's minimum or differs from the
 * stored total or from the size the register length implies;
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx or blob, or content that is no
 * state of a stream (a refused blob leaves ctx as it was). Restoring a
 * CTR-ACPKM state costs one key conversion per section done on the next call,
 * as every call on such a stream does. */
VRT_API uint32_t vrtGost15RestoreState(Gost15Ctx* ctx, const uint8_t* blob, uint64_t size);

/* ---- MAC: OMAC and OMAC-ACPKM ---- */

struct binstr;

/* A context in mode VRT_GOST15_MODE_MAC computes the MAC of GOST R
 * 34.13-2015 (OMAC); in VRT_GOST15_MODE_OMAC_ACPKM, with its sizes set by
 * vrtGost15SetParametersACPKM, OMAC-ACPKM. The MAC value is one block (n
 * bytes); a shorter MAC is its leftmost bytes. */

/* vrtGost15MAC feeds count descriptors (0 or 1) of message bytes: len and in;
 * no IV; out, when non-null, receives the running chain value (n bytes). The
 * last 1..n bytes of the message so far wait for the final step. Returns
 * VRT_SUCCESS; VRT_ERROR_NO_DATA when there is nothing to do (len 0, count 0,
 * the lane skipped); VRT_ERROR_INVALID_ARGUMENT for a null or uninitialised
 * ctx, null descriptors, key, key data or input, a key that is not 32 bytes,
 * more descriptors than lanes; VRT_ERROR_UNSUPPORTED for a context in a cipher
 * mode; VRT_ERROR_BAD_PARAMETERS for OMAC-ACPKM without its sizes;
 * VRT_ERROR_NO_MEMORY when the generator state cannot be kept. */
VRT_API uint32_t vrtGost15MAC(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count);
/* vrtGost15MACSimple and vrtGost15MACUpdate (the same function) feed len bytes
 * of data through vrtGost15MAC: any number of pieces make a message.
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx, key, key data or data;
 * VRT_ERROR_NO_DATA for len 0. */
VRT_API uint32_t vrtGost15MACSimple(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len);
VRT_API uint32_t vrtGost15MACUpdate(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len);
/* vrtGost15MACGetValue closes the message: writes the n-byte MAC value to mac
 * and leaves ctx ready for a new message in the same mode and sizes. The last
 * block is used whole with subkey K1, or padded with 0x80 and zeros with K2;
 * the empty message is the padded block 80 00 .. 00 with K2. Returns
 * VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a null or uninitialised ctx, key,
 * key data or mac, a key that is not 32 bytes, or a context in a cipher mode;
 * VRT_ERROR_BAD_PARAMETERS for OMAC-ACPKM without its sizes. */
VRT_MUST_CHECK VRT_API uint32_t vrtGost15MACGetValue(Gost15Ctx* ctx, const struct genkey* key, uint8_t* mac);
/* vrtGost15MACSaveState writes the state of a MAC context to blob (2n + 53
 * bytes, integers little-endian): mode (4), bytes held (1), the tail buffer
 * (n), the running chain value (n), then 8 bytes each: N, T*, the generator's
 * key changes done, the generator's bytes left in its section, key packets
 * taken, blocks the current section key still serves. A null blob asks for the
 * size (*size). VRT_ERROR_INVALID_ARGUMENT for a null or uninitialised ctx, a
 * null size, *size other than the size, or a context not in a MAC mode. */
VRT_API uint32_t vrtGost15MACSaveState(Gost15Ctx* ctx, uint8_t* blob, uint64_t* size);
/* vrtGost15MACRestoreState initialises ctx for the saved mode and sizes and
 * loads the state; the next call carries the message on. Returns VRT_SUCCESS;
 * VRT_ERROR_LENGTH for a size other than 2n + 53 (n the block size of ctx);
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx or blob, or content that is no
 * state of a message (ctx is then left as it was). */
VRT_API uint32_t vrtGost15MACRestoreState(Gost15Ctx* ctx, const uint8_t* blob, uint64_t size);

/* ---- MGM ---- */

/* Multilinear Galois Mode authenticated encryption with associated data over
 * Kuznyechik (16-byte blocks) or Magma (8-byte blocks). Field elements and
 * counters are big-endian byte strings of one block (byte 0 most
 * significant). */

/* Piece kinds of vrtAEADEncryptUpdate and vrtAEADDecryptUpdate. */
#define VRT_AEAD_KIND_AAD   UINT32_C(1) /* associated data, authenticated only */
#define VRT_AEAD_KIND_TEXT  UINT32_C(2) /* text: plaintext to encrypt, ciphertext to decrypt */

struct genkey;

/* One lane of an MGM request (40 bytes). The text descriptor carries the key
 * and, for text, the output; the associated-data descriptor only len and
 * data. status: the caller may set VRT_VEC_SKIP (bit 31); the call rewrites
 * the low byte with VRT_VEC_FINISHED and VRT_VEC_ACTIVE. */
typedef struct AeadVec {
  const struct genkey* key;  /* 32-byte masked key */
  uint32_t status;
  uint32_t reserved;
  uint64_t len;
  const uint8_t* data;
  uint8_t* out;              /* text output, len bytes; null for associated data */
} AeadVec;

/* The MGM context; its layout is private to the library. It holds no key
 * between calls: every call unmasks the key, and overwrites the unmasked key
 * and the Kuznyechik round keys with random bytes before it returns. */
typedef struct AeadCtx AeadCtx;

/* vrtAEADCtxAlloc allocates a zeroed context for lanes 1 and block_size 16
 * (Kuznyechik) or 8 (Magma); VRT_ERROR_INVALID_ARGUMENT for other values,
 * VRT_ERROR_NO_MEMORY when the allocation fails (*ctx is then null). The
 * context must be initialised before use. */
VRT_API uint32_t vrtAEADCtxAlloc(AeadCtx** ctx, uint32_t lanes, uint64_t block_size);
/* vrtAEADCtxInit sets ctx up for a new message with the record of its block
 * size: everything but the block size is cleared, a cached ciphertext
 * released. VRT_ERROR_INVALID_ARGUMENT for a null ctx, lanes other than 1, or
 * a Magma context while the tc26 Z S-box set is not initialised (the context
 * is then unusable: every call on it returns VRT_ERROR_INVALID_ARGUMENT). */
VRT_API uint32_t vrtAEADCtxInit(AeadCtx* ctx, uint32_t lanes);
/* vrtAEADCtxAllocInitialized is Alloc then Init; on an Init failure the
 * context is freed, *ctx set to null and Init's status returned. */
VRT_API uint32_t vrtAEADCtxAllocInitialized(AeadCtx** ctx, uint32_t lanes, uint64_t block_size);
/* vrtAEADCtxFree releases the context and its cached ciphertext; null is
 * ignored. */
VRT_API void vrtAEADCtxFree(AeadCtx* ctx);
/* vrtAEADSetNonce takes the block_size-byte nonce; its top bit is ignored.
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx or nonce, an unusable context, or
 * while a stream is open (the stream would continue under another nonce). */
VRT_API uint32_t vrtAEADSetNonce(AeadCtx* ctx, const uint8_t* nonce);
/* vrtAEADEncrypt encrypts and authenticates one message in one call: the text
 * descriptor's len bytes of data into out (the same length, in place allowed),
 * the associated-data descriptor's bytes authenticated only; the tag is then
 * read with vrtAEADImitGetValue. count is 1 (0 gives VRT_ERROR_NO_DATA).
 * Returns VRT_ERROR_INVALID_ARGUMENT for a null ctx or text descriptor, count
 * above 1, both lengths zero, a null key, key data, data or output where bytes
 * are due, a key that is not 32 bytes, more data than the mode allows (2^29 - 1
 * bytes in all for Magma, 2^61 - 1 for Kuznyechik) or an open stream on ctx;
 * VRT_ERROR_NO_DATA when the text lane is skipped. A null associated-data
 * descriptor means none. */
VRT_API uint32_t vrtAEADEncrypt(AeadCtx* ctx, AeadVec* text_vec, AeadVec* aad_vec, uint64_t count);
/* vrtAEADDecrypt authenticates the associated data and the ciphertext, compares
 * the tag in constant time with the one vrtAEADImitSetValue stored, and only
 * when they match writes the plaintext (VRT_SUCCESS). A mismatch, or no
 * expected tag, gives VRT_ERROR_FAILED and writes nothing. Other statuses as
 * vrtAEADEncrypt. */
VRT_MUST_CHECK VRT_API uint32_t vrtAEADDecrypt(AeadCtx* ctx, AeadVec* text_vec, AeadVec* aad_vec, uint64_t count);
/* The one-lane forms: text {key, len, in, out}, associated data
 * {aad_len, aad}. */
VRT_API uint32_t vrtAEADEncryptSimple(AeadCtx* ctx, const struct genkey* key, const uint8_t* in, uint8_t* out,
                                      uint64_t len, const uint8_t* aad, uint64_t aad_len);
VRT_MUST_CHECK VRT_API uint32_t vrtAEADDecryptSimple(AeadCtx* ctx, const struct genkey* key, const uint8_t* in,
                                                     uint8_t* out, uint64_t len, const uint8_t* aad, uint64_t aad_len);
/* vrtAEADImitGetValue copies the first tag_len bytes of the tag of the last
 * completed encryption (after a failed decryption: zeros).
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx or tag, or tag_len above the block
 * size. */
VRT_MUST_CHECK VRT_API uint32_t vrtAEADImitGetValue(AeadCtx* ctx, uint8_t* tag, uint64_t tag_len);
/* vrtAEADImitSetValue stores the expected tag of a decryption, tag_len bytes
 * (1 up to the block size; a shorter tag is the leftmost bytes).
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx or tag, tag_len 0 or above the
 * block size. */
VRT_API uint32_t vrtAEADImitSetValue(AeadCtx* ctx, const uint8_t* tag, uint64_t tag_len);
/* vrtAEADEncryptUpdate feeds one piece of an encryption stream: kind
 * VRT_AEAD_KIND_AAD (all associated data comes before any text; out and out_len
 * are ignored) or VRT_AEAD_KIND_TEXT. The last 1 to block_size bytes of the
 * stream so far are held back for the next call; a text piece writes the
 * ciphertext of the blocks before them. A null out asks for that count
 * (*out_len, status VRT_SUCCESS); *out_len is the capacity of out otherwise and
 * is not updated. Returns VRT_ERROR_INVALID_ARGUMENT for a null ctx, key, key
 * data or data, a bad kind, associated data after text, a decryption stream
 * open on ctx, a key that is not 32 bytes or too much data; VRT_ERROR_NO_MEMORY
 * when the capacity is too small. */
VRT_API uint32_t vrtAEADEncryptUpdate(AeadCtx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len,
                                      uint32_t kind, uint8_t* out, uint64_t* out_len);
/* vrtAEADEncryptFinal closes an encryption stream: writes the ciphertext of the
 * held-back text bytes to out and tag_len bytes of the tag to tag (the tag also
 * stays for vrtAEADImitGetValue). A null out asks for the count of bytes
 * (*out_len: 0 after associated data only; pass any non-null out then). Returns
 * VRT_ERROR_UNSUPPORTED without an open encryption stream, VRT_ERROR_NO_MEMORY
 * when *out_len is below the count, VRT_ERROR_INVALID_ARGUMENT for a null ctx,
 * key or key data, a null out_len where bytes are due, tag_len above the block
 * size, a null tag with tag_len above 0, or an empty message. A refused call
 * leaves the stream open. */
VRT_MUST_CHECK VRT_API uint32_t vrtAEADEncryptFinal(AeadCtx* ctx, const struct genkey* key, uint8_t* out,
                                                    uint64_t* out_len, uint8_t* tag, uint64_t tag_len);
/* vrtAEADDecryptUpdate feeds one piece of a decryption stream; ciphertext is
 * authenticated at once and kept in the context, nothing is written.
 * VRT_ERROR_INVALID_ARGUMENT as for vrtAEADEncryptUpdate (an encryption stream
 * open instead), VRT_ERROR_NO_MEMORY when the ciphertext cannot be kept. */
VRT_MUST_CHECK VRT_API uint32_t vrtAEADDecryptUpdate(AeadCtx* ctx, const struct genkey* key, const uint8_t* data,
                                                     uint64_t len, uint32_t kind);
/* vrtAEADDecryptFinal closes a decryption stream: checks the tag against the
 * expected one and, only when they match, writes the whole plaintext (all
 * ciphertext bytes of the stream) to out and returns VRT_SUCCESS; a mismatch
 * writes nothing and returns VRT_ERROR_FAILED. Either way the stream ends and
 * the kept ciphertext is released. A null out asks for the count (*out_len).
 * Returns VRT_ERROR_UNSUPPORTED without an open decryption stream,
 * VRT_ERROR_NO_MEMORY when *out_len is below the count,
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx, key or key data, a null out_len
 * where bytes are due or an empty message, and VRT_ERROR_FAILED without an
 * expected tag (the stream then stays open). */
VRT_MUST_CHECK VRT_API uint32_t vrtAEADDecryptFinal(AeadCtx* ctx, const struct genkey* key, uint8_t* out,
                                                    uint64_t* out_len);
/* vrtAEADSaveState writes the context's state to blob, little-endian: total
 * size (8), state (4), phase (4), text and associated-data byte counts (8
 * each), held-back byte count (1), then six blocks: held-back bytes, the
 * running sum, the authentication and encryption counters, the two nonce
 * blocks; in a decryption stream also the expected-tag length (1) and tag, and
 * after ciphertext the kept ciphertext's length (8) and bytes. A null blob asks
 * for the size (*size); *size must equal it, else VRT_ERROR_INVALID_ARGUMENT.
 * VRT_ERROR_INVALID_ARGUMENT also for a null ctx or size or an unusable
 * context. The context stays usable. */
VRT_API uint32_t vrtAEADSaveState(AeadCtx* ctx, uint8_t* blob, uint64_t* size);
/* vrtAEADRestoreState initialises ctx (as vrtAEADCtxInit) and loads a saved
 * state into it, so the stream continues there; the context must have the block
 * size of the saved one. VRT_ERROR_INVALID_ARGUMENT for a null ctx or blob or
 * inconsistent content, VRT_ERROR_LENGTH when size is below 8 or differs from
 * the stored total or from the size the content implies, VRT_ERROR_NO_MEMORY
 * when the ciphertext cannot be kept. On a failure ctx is left as it was. */
VRT_API uint32_t vrtAEADRestoreState(AeadCtx* ctx, const uint8_t* blob, uint64_t size);

/* ==========================================================================
 * GOST 28147-89
 * ========================================================================== */

/* A block is two 32-bit words read little-endian: N1 from bytes 0..3, N2 from
 * bytes 4..7. Key word i is read little-endian from key bytes 4i..4i+3. */

/* S-box set identifiers. Any other value given where an identifier is expected
 * is taken as the address of a caller's gost89_sbox_t, except the unnamed
 * values of 0x01010100..0x010101FF, which name no set
 * (VRT_ERROR_INVALID_ARGUMENT). */
#define VRT_GOST89_SBOX_DEFAULT               UINT32_C(0x01010100) /* = tc26 Z */
#define VRT_GOST89_SBOX_R3411_94_TEST         UINT32_C(0x01010101)
#define VRT_GOST89_SBOX_R3411_94_CRYPTOPRO    UINT32_C(0x01010102)
#define VRT_GOST89_SBOX_TEST                  UINT32_C(0x01010103)
#define VRT_GOST89_SBOX_CRYPTOPRO_A           UINT32_C(0x01010104)
#define VRT_GOST89_SBOX_CRYPTOPRO_B           UINT32_C(0x01010105)
#define VRT_GOST89_SBOX_CRYPTOPRO_C           UINT32_C(0x01010106)
#define VRT_GOST89_SBOX_CRYPTOPRO_D           UINT32_C(0x01010107)
#define VRT_GOST89_SBOX_TC26_Z                UINT32_C(0x01010108)
#define VRT_GOST89_SBOX_NVQ_A                 UINT32_C(0x01010109)
#define VRT_GOST89_SBOX_NVQ_003               UINT32_C(0x0101010A)
#define VRT_GOST89_SBOX_NVQ_006               UINT32_C(0x0101010B)

/* The tag of an initialised S-box set: the characters "SBOX" read as a
 * little-endian 32-bit word. */
#define VRT_GOST89_SBOX_TAG                   UINT32_C(0x584F4253)

/* The S-box set and the expanded key record of GOST 28147-89. */
typedef struct gost89_sbox gost89_sbox_t;
typedef struct gost89_key gost89_key_t;

/* An S-box set. packed: byte 4r + c (r = 0..15, c = 0..3) holds S_2c[r] in
 * its low nibble and S_2c+1[r] in its high nibble, S_0 acting on the least
 * significant nibble of a word. tables: T_c[v] = ROTL32(((S_2c+1[v >> 4] << 4)
 * | S_2c[v & 15]) << 8c, 11), so the round function of a word a is the XOR of
 * T_c over its bytes c. cpu: the first 64 bytes hold four nibble-pair tables,
 * table m entry j = S_2m[j] | S_7-2m[j] << 4. A caller's set stays the
 * caller's memory and must outlive every context that uses it. */
struct gost89_sbox {
  uint8_t packed[64];
  uint32_t tag;          /* VRT_GOST89_SBOX_TAG once initialised */
  uint32_t reserved;
  uint32_t tables[4][256];
  uint8_t cpu[192];
};

/* Key-record flags, which are also the kinds of a masked key (genkey_t). The
 * expanded key record itself is defined in the ABI-level block. */
#define GOST89_KEY_XOR       UINT32_C(0x1) /* key word = stored XOR mask */
#define GOST89_KEY_ADD       UINT32_C(0x2) /* key word = stored - mask (mod 2^32) */
#define GOST89_KEY_REVERSED  UINT32_C(0x4) /* with GOST89_KEY_ADD only: the key is
                                              read in reversed byte order */

/* ---- S-box sets ---- */

/* vrtGost89SboxInit initialises the set that id names, once: an initialised set
 * is left as it is (packed ignored). Otherwise, under the S-box lock, the 64
 * packed bytes are copied in (null packed: the set's own packed bytes are
 * used), the tables expanded and the set tagged. Several threads may initialise
 * one set together; it is expanded exactly once. Returns VRT_SUCCESS;
 * VRT_ERROR_INVALID_ARGUMENT when id names no set (0);
 * VRT_ERROR_NOT_INITIALIZED when an uninitialised set would need the S-box lock
 * while the library is down. */
VRT_API uint32_t vrtGost89SboxInit(uintptr_t id, const uint8_t* packed);
/* vrtGost89SboxFree takes and releases the S-box lock for an initialised set
 * (so a concurrent initialisation has finished); the set stays usable.
 * Returns VRT_SUCCESS. */
VRT_API uint32_t vrtGost89SboxFree(uintptr_t id);

/* ---- cipher context and modes ---- */

#define VRT_GOST89_MODE_MAC  UINT32_C(0x01000101) /* imitovstavka */
#define VRT_GOST89_MODE_ECB  UINT32_C(0x01000102)
#define VRT_GOST89_MODE_CTR  UINT32_C(0x01000103) /* gamma with C1, C2 */
#define VRT_GOST89_MODE_CBC  UINT32_C(0x01000105)
#define VRT_GOST89_MODE_CFB  UINT32_C(0x01000106)

/* Context flag: every 8-byte block (input, output, IV) is byte-reversed as a
 * whole around the cipher and the 32-byte key is read backwards. Defined for
 * whole-block input. */
#define VRT_GOST89_FLAG_REVERSED UINT32_C(0x1)

/* Request-descriptor status bits: the caller sets VRT_VEC_SKIP; a call
 * rewrites the low byte. */
#define VRT_VEC_PARTIAL   UINT32_C(0x1)        /* the lane ended inside a block */
#define VRT_VEC_FINISHED  UINT32_C(0x2)        /* all its input is consumed, or skipped */
#define VRT_VEC_ACTIVE    UINT32_C(0x4)        /* the lane took part in the call */
#define VRT_VEC_SKIP      UINT32_C(0x80000000) /* leave this lane alone in this call */

struct genkey;

/* A block-algorithm record (defined in the ABI-level block). */
typedef struct vrt_block_alg vrt_block_alg_t;

/* One lane of a request. A call consumes len bytes from in, advancing in and
 * out and lowering len. In MAC mode out (optional) receives the 8-byte MAC
 * after every block and is not advanced. iv is taken by vrtGost89SetState. */
typedef struct Gost89Vec {
  uint64_t len;
  const uint8_t* in;
  uint8_t* out;
  const struct genkey* key; /* the lane's 32-byte key */
  const uint8_t* iv;        /* 8 bytes */
  uint32_t status;
} Gost89Vec;

/* Bytes of context memory for 1 or 8 lanes (328 and 984): a header and a work
 * area carved from the same memory, which may be the caller's. */
#define VRT_GOST89_ROUND16(n) ((((uint64_t)(n)) + 15) & ~(uint64_t)15)
#define VRT_GOST89_CTX_SIZE(lanes)                                                       \
  (VRT_GOST89_ROUND16(lanes) + VRT_GOST89_ROUND16(68 * (uint64_t)(lanes)) + 168 + \
   4 * VRT_GOST89_ROUND16(8 * (uint64_t)(lanes)))

/* A GOST 28147-89 cipher context for one or eight lanes. The pointers point
 * into the work area that follows the header. It holds no key between calls. */
typedef struct Gost89Ctx {
  uint32_t mode;                /* VRT_GOST89_MODE_*, 0 until set */
  uint32_t flags;
  const vrt_block_alg_t* alg;   /* chosen at initialisation; null: unusable */
  gost89_sbox_t* sbox;
  uint32_t iv_taken;            /* lanes given an IV since the last counter call */
  Gost89Vec* vec;               /* the descriptors of the current call */
  uint64_t vec_count;
  uint32_t skipped;             /* lane masks of the current call */
  uint32_t finished;
  uint32_t partial;
  uint8_t* lane_fill;           /* per lane: bytes of the current block consumed */
  gost89_key_t* keys;           /* per lane: the key record, wiped after every call */
  uint8_t* in_block;            /* per lane, 8 bytes each */
  uint8_t* out_block;
  uint8_t* reg;                 /* IV, chaining register, counter or MAC state */
  uint8_t* reg_saved;
  uint8_t const_reset;          /* 1: wipe key records with 0xEE */
  uint8_t* area;
} Gost89Ctx;

/* Eight zero bytes for callers that need an all-zero IV. */
VRT_API extern const uint8_t vrtGost89ZeroIV[8];

/* vrtGost89CtxAlloc allocates zeroed memory for a context of 1 or 8 lanes.
 * VRT_ERROR_INVALID_ARGUMENT for another lane count or a missing record,
 * VRT_ERROR_NO_MEMORY when the allocation fails. */
VRT_API uint32_t vrtGost89CtxAlloc(Gost89Ctx** ctx, uint32_t lanes);
/* vrtGost89CtxInit lays out a context of 1 or 8 lanes on the S-box set sbox_id
 * in memory of VRT_GOST89_CTX_SIZE(lanes) bytes. VRT_ERROR_INVALID_ARGUMENT for
 * a null ctx, another lane count or a set that is not initialised; the context
 * is then unusable (every request on it returns VRT_ERROR_INVALID_ARGUMENT). */
VRT_API uint32_t vrtGost89CtxInit(Gost89Ctx* ctx, uint32_t lanes, uintptr_t sbox_id);
/* vrtGost89CtxAllocInitialized allocates and initialises; on a failure the
 * memory is released, *ctx set to null and the status returned. */
VRT_API uint32_t vrtGost89CtxAllocInitialized(Gost89Ctx** ctx, uint32_t lanes, uintptr_t sbox_id);
/* vrtGost89CtxFree releases an allocated context (it holds no key). */
VRT_API void vrtGost89CtxFree(Gost89Ctx* ctx);
/* vrtGost89SetMode selects a mode and flags and clears all lane state
 * (positions, registers, partial input). VRT_ERROR_INVALID_ARGUMENT for a null
 * or unusable context or an unknown mode, the context unchanged. */
VRT_API uint32_t vrtGost89SetMode(Gost89Ctx* ctx, uint32_t mode, uint32_t flags);
/* vrtGost89SetMemResetWithConst makes ctx wipe its key records with the byte
 * 0xEE instead of random bytes; only while the library is not initialised (for
 * the generator that provides the random bytes). VRT_ERROR_INVALID_ARGUMENT
 * otherwise. */
VRT_API uint32_t vrtGost89SetMemResetWithConst(Gost89Ctx* ctx);
/* vrtGost89SetState loads the IV of every descriptor that has one into its lane
 * (restarting that lane's block) and clears the descriptor's iv.
 * VRT_ERROR_INVALID_ARGUMENT for more descriptors than lanes. */
VRT_API uint32_t vrtGost89SetState(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_API uint32_t vrtGost89SetStateSimple(Gost89Ctx* ctx, const uint8_t iv[8]);
/* vrtGost89Encrypt, vrtGost89Decrypt and vrtGost89MAC process count
 * descriptors, one per lane. Keys are unmasked into the context and wiped
 * before the call returns. Stream modes (CTR, CFB, MAC) take any lengths and
 * continue across calls; ECB and CBC take whole blocks. Returns VRT_SUCCESS
 * when every lane is finished; VRT_ERROR_NO_DATA when nothing was to be done or
 * some lanes still hold data (call again; the descriptors say what is left);
 * VRT_ERROR_INVALID_ARGUMENT for null arguments, more descriptors than lanes or
 * a key that is not 32 bytes; VRT_ERROR_BAD_PARAMETERS for lanes with different
 * keys; VRT_ERROR_UNSUPPORTED for a mode this request does not serve (or none);
 * VRT_ERROR_LENGTH for ECB or CBC input that is not whole blocks (nothing
 * written). */
VRT_API uint32_t vrtGost89Encrypt(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_MUST_CHECK VRT_API uint32_t vrtGost89Decrypt(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_API uint32_t vrtGost89MAC(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
/* One-lane forms of the three requests. */
VRT_API uint32_t vrtGost89EncryptSimple(Gost89Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                        uint8_t* out, uint64_t len);
VRT_MUST_CHECK VRT_API uint32_t vrtGost89DecryptSimple(Gost89Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                                       uint8_t* out, uint64_t len);
VRT_API uint32_t vrtGost89MACSimple(Gost89Ctx* ctx, const struct genkey* key, const uint8_t* in, uint64_t len);
/* vrtGost89MACGetValue copies the MAC of every lane (8 bytes each: 8 or 64)
 * to out; take a prefix for a shorter MAC. 3 outside MAC mode. */
VRT_MUST_CHECK VRT_API uint32_t vrtGost89MACGetValue(Gost89Ctx* ctx, uint8_t* out);

/* ==========================================================================
 * GOST R 34.10-2012 signatures and VKO
 * ========================================================================== */

/* ---- curve parameter sets ---- */

/* Parameter names one of the fourteen curve parameter sets; values 0-9 are
 * the 256-bit sets, 10-13 the 512-bit sets. Sets that share a curve (1, 4
 * and 7; 2 and 8; 3, 5 and 9) carry identical numbers. */
typedef uint32_t Parameter;
#define VRT_PARAM_CRYPTOPRO_TEST   UINT32_C(0)  /* id-GostR3410-2001-TestParamSet */
#define VRT_PARAM_CRYPTOPRO_A      UINT32_C(1)  /* id-GostR3410-2001-CryptoPro-A-ParamSet */
#define VRT_PARAM_CRYPTOPRO_B      UINT32_C(2)  /* id-GostR3410-2001-CryptoPro-B-ParamSet */
#define VRT_PARAM_CRYPTOPRO_C      UINT32_C(3)  /* id-GostR3410-2001-CryptoPro-C-ParamSet */
#define VRT_PARAM_CRYPTOPRO_XCHA   UINT32_C(4)  /* id-GostR3410-2001-CryptoPro-XchA-ParamSet */
#define VRT_PARAM_CRYPTOPRO_XCHB   UINT32_C(5)  /* id-GostR3410-2001-CryptoPro-XchB-ParamSet */
#define VRT_PARAM_TC26_256_A       UINT32_C(6)  /* id-tc26-gost-3410-12-256-paramSetA (cofactor 4) */
#define VRT_PARAM_TC26_256_B       UINT32_C(7)  /* id-tc26-gost-3410-12-256-paramSetB */
#define VRT_PARAM_TC26_256_C       UINT32_C(8)  /* id-tc26-gost-3410-12-256-paramSetC */
#define VRT_PARAM_TC26_256_D       UINT32_C(9)  /* id-tc26-gost-3410-12-256-paramSetD */
#define VRT_PARAM_TC26_512_TEST    UINT32_C(10) /* id-tc26-gost-3410-12-512-paramSetTest */
#define VRT_PARAM_TC26_512_A       UINT32_C(11) /* id-tc26-gost-3410-12-512-paramSetA */
#define VRT_PARAM_TC26_512_B       UINT32_C(12) /* id-tc26-gost-3410-12-512-paramSetB */
#define VRT_PARAM_TC26_512_C       UINT32_C(13) /* id-tc26-gost-3410-12-512-paramSetC (cofactor 4) */
#define VRT_PARAM_COUNT            UINT32_C(14)

/* A curve parameter set: y^2 = x^3 + a*x + b over GF(p), base point (x, y)
 * of prime order q, m points on the curve (m = cofactor * q). Every number
 * is little-endian in 64 bytes; for the 256-bit sets the upper 32 bytes are
 * zero, except m of VRT_PARAM_TC26_256_A, which is 4q and 257 bits long
 * (byte 32 is 1). b is not stored. 400 bytes; the records are 16-byte
 * aligned, so every number is. */
typedef struct sign2012_par {
  uint32_t bits;         /* 256 or 512 */
  uint8_t reserved[12];  /* zero */
  uint8_t p[64];         /* field prime */
  uint8_t a[64];         /* curve coefficient a */
  uint8_t m[64];         /* order of the group of points */
  uint8_t q[64];         /* prime order of the base point */
  uint8_t x[64];         /* base point */
  uint8_t y[64];
} sign2012_par_t;

VRT_API extern const sign2012_par_t gost3410_param_GostR3410_2001_CryptoPro_TestParamSet;
VRT_API extern const sign2012_par_t gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet;
VRT_API extern const sign2012_par_t gost3410_param_GostR3410_2001_CryptoPro_B_ParamSet;
VRT_API extern const sign2012_par_t gost3410_param_GostR3410_2001_CryptoPro_C_ParamSet;
VRT_API extern const sign2012_par_t gost3410_param_GostR3410_2001_CryptoPro_XchA_ParamSet;
VRT_API extern const sign2012_par_t gost3410_param_GostR3410_2001_CryptoPro_XchB_ParamSet;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_256_paramSetA;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_256_paramSetB;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_256_paramSetC;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_256_paramSetD;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_512_paramSetTest;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_512_paramSetA;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_512_paramSetB;
VRT_API extern const sign2012_par_t gost3410_param_tc26_gost_3410_12_512_paramSetC;

/* ---- signers ----
 *
 * A signer handle holds one parameter set, a masked copy of a secret key d
 * and a public key Q, a few kilobytes in all. Every handle of a curve shares
 * one process-wide fixed-base table of G (88 KiB for a 256-bit curve,
 * 352 KiB for a 512-bit one), built on the first signature, key creation or
 * verification on that curve (about a millisecond) and released by
 * vrtCleanup. Signing, public-key creation and VKO take the same time for
 * every secret key, nonce and peer key. Per-handle tables are opt-in:
 * vrtSignerPrecomputeVerify for a key that verifies many signatures, and
 * vrtSignerPrecomputeSign for the large signing table. L is 32
 * for the 256-bit sets and 64 for the 512-bit sets; every buffer has the
 * length the set implies:
 *   digest        L   the hash value, read as a little-endian number
 *   nonce         L   little-endian number k, 1 <= k < q, fresh and secret
 *                     for every signature (draw it from the generator)
 *   signature     2L  s then r, each big-endian
 *   public key    2L  x then y of Q, each little-endian
 *   UKM           L   little-endian number (zero-extend a shorter one)
 *   VKO result    2L  x then y of the shared point, each little-endian;
 *                     hash it with Streebog for the VKO key
 * A public key or peer key that is not a point of the curve (a coordinate of p
 * or more, off the curve equation, or the all-zero point at infinity) is
 * refused with VRT_ERROR_INVALID_ARGUMENT. On the two sets with cofactor 4
 * (TC26 256-bit A and 512-bit C) a public key must also have order q, and a VKO
 * peer key is multiplied by the cofactor before use. Null handles and buffers
 * give VRT_ERROR_INVALID_ARGUMENT. The secret key is unmasked only for the
 * length of a call and the plain copy is wiped before the call returns. A
 * handle is used by one thread at a time; distinct handles are independent.
 * These functions take no library lock; initialise the library first (a handle
 * made before initialisation uses the slow reference code). */
typedef struct SignerHandle SignerHandle;
struct genkey;

/* vrtSignerInit creates a handle for a parameter set and stores it in
 * *handle_out. Returns VRT_SUCCESS, VRT_ERROR_UNSUPPORTED for a set above 13,
 * VRT_ERROR_NO_MEMORY, VRT_ERROR_INVALID_ARGUMENT for a null handle_out. After
 * VRT_ERROR_UNSUPPORTED or a failed signer allocation the empty handle is still
 * stored and must be released. The caller owns the handle. */
VRT_API uint32_t vrtSignerInit(SignerHandle** handle_out, Parameter set);
/* vrtSignerImportSecretKey takes a copy of a secret key of L bytes: a
 * masked record is copied as it is, a plain (kind 0) one is masked under a
 * fresh random mask. The caller's record is not kept. Returns VRT_SUCCESS;
 * VRT_ERROR_LENGTH for another key length and VRT_ERROR_INVALID_ARGUMENT for
 * a record without key bytes (the previous key stays); the generator's
 * status when a plain key cannot be masked (the handle then has no key). */
VRT_API uint32_t vrtSignerImportSecretKey(SignerHandle* handle, const struct genkey* key);
/* vrtSignerCreatePublicKey computes Q = d*G (and its verification table when
 * vrtSignerPrecomputeVerify asked for one). Returns VRT_SUCCESS,
 * VRT_ERROR_NOT_INITIALIZED before a secret key is imported, VRT_ERROR_FAILED
 * when d is a multiple of q (the key is unusable). */
VRT_API uint32_t vrtSignerCreatePublicKey(SignerHandle* handle);
/* vrtSignerImportPublicKey sets Q from 2L bytes (and builds its verification
 * table when vrtSignerPrecomputeVerify asked for one). Returns VRT_SUCCESS, or
 * VRT_ERROR_INVALID_ARGUMENT for a key that is not a point of the curve or, on
 * a cofactor-4 set, not of order q (the previous key stays). */
VRT_API uint32_t vrtSignerImportPublicKey(SignerHandle* handle, const uint8_t* key);
/* vrtSignerExportPublicKey writes Q in 2L bytes. Returns VRT_SUCCESS, or
 * VRT_ERROR_NOT_INITIALIZED (nothing written) when the handle has no public
 * key. */
VRT_API uint32_t vrtSignerExportPublicKey(SignerHandle* handle, uint8_t* key);
/* vrtSignerSign signs an L-byte digest with the L-byte nonce into 2L bytes.
 * Returns VRT_SUCCESS; VRT_ERROR_NOT_INITIALIZED before a secret key is
 * imported; VRT_ERROR_INVALID_ARGUMENT for a nonce of 0 or q or more (draw
 * another); VRT_ERROR_FAILED when r or s came out zero (draw another nonce) or
 * d is a multiple of q. A handle made before library initialisation reduces the
 * nonce modulo q instead and reports r = 0 or s = 0 as VRT_ERROR_SIGNATURE.
 * Nothing is written on failure. */
VRT_API uint32_t vrtSignerSign(SignerHandle* handle, const uint8_t* digest, const uint8_t* nonce,
                               uint8_t* signature);
/* vrtSignerVerify returns VRT_SUCCESS for a valid signature of the digest under
 * Q, and VRT_ERROR_FAILED for any invalid one (r or s of 0, q or more is
 * refused before any computation) and when the handle has no public key. */
VRT_MUST_CHECK VRT_API uint32_t vrtSignerVerify(SignerHandle* handle, const uint8_t* digest, const uint8_t* signature);
/* vrtSignerGenerateVKO computes the shared point (UKM * cofactor * d mod q) * P
 * for the peer's public key P, as (UKM * d mod q) * (cofactor * P). Returns
 * VRT_SUCCESS; VRT_ERROR_NOT_INITIALIZED before a secret key is imported;
 * VRT_ERROR_INVALID_ARGUMENT, nothing written, for a peer key that is not a
 * point of the curve or when the shared point is the point at infinity (a UKM
 * that is a multiple of q, a peer point of small order). */
VRT_API uint32_t vrtSignerGenerateVKO(SignerHandle* handle, const uint8_t* ukm, const uint8_t* peer_key,
                                      uint8_t* result);
/* vrtSignerRelease wipes the secret key and frees the handle, its signer and
 * its tables. Null is accepted. */
VRT_API void vrtSignerRelease(SignerHandle* handle);
/* vrtSignerPrecomputeVerify gives the handle a verification table of its own
 * public key (80 MiB and about 0.6 s on a 256-bit set, 2.25 MiB on a 512-bit
 * set): worth it for a key that verifies thousands of signatures. The table is
 * built now for the current public key, if any, and again for every later one,
 * in the same memory. Returns VRT_SUCCESS (also for a handle made before
 * library initialisation, which has no tables), VRT_ERROR_NO_MEMORY when the
 * table cannot be allocated (verification then goes on without it),
 * VRT_ERROR_INVALID_ARGUMENT for a null or empty handle. */
VRT_API uint32_t vrtSignerPrecomputeVerify(SignerHandle* handle);
/* vrtSignerPrecomputeSign gives the handle a signing table of G of its own
 * (80 MiB and about 0.6 s on a 256-bit set, 2.25 MiB on a 512-bit set).
 * Signing with it reads the table entries that the nonce selects, so its
 * memory accesses depend on the nonce: it is NOT constant-time, and fits
 * only where no other code shares the processor's caches. Public-key
 * creation and VKO do not use it. Returns as vrtSignerPrecomputeVerify. */
VRT_API uint32_t vrtSignerPrecomputeSign(SignerHandle* handle);

/* ==========================================================================
 * Keys, byte strings and the random generator
 * ========================================================================== */

/* ---- byte strings ---- */

/* A length and the address of that many bytes; null data means empty. The
 * record does not know whether it owns its bytes: those made by binstr_alloc,
 * binstr_realloc and binstr_dup are released by binstr_free. None of these
 * functions wipes. */
typedef struct binstr {
  uint64_t length;
  uint8_t* data;
} binstr_t;

/* binstr_alloc gives b a new uninitialised heap block of length bytes.
 * VRT_ERROR_INVALID_ARGUMENT for a null b; VRT_ERROR_NO_MEMORY when the
 * allocation fails, b unchanged. */
VRT_API uint32_t binstr_alloc(binstr_t* b, uint64_t length);
/* binstr_realloc resizes b's block, keeping the contents up to the smaller
 * length. VRT_ERROR_INVALID_ARGUMENT for a null b; VRT_ERROR_NO_MEMORY on
 * failure, b and its old block unchanged. */
VRT_API uint32_t binstr_realloc(binstr_t* b, uint64_t length);
/* binstr_free releases b's block and empties b; nothing for an empty b. */
VRT_API void binstr_free(binstr_t* b);
/* binstr_dup allocates dst and copies src into it (VRT_ERROR_INVALID_ARGUMENT
 * for null records, VRT_ERROR_NO_MEMORY). */
VRT_API uint32_t binstr_dup(binstr_t* dst, const binstr_t* src);
/* binstr_available returns 1 when [offset, offset + count) lies inside b, 0
 * when it does not or when offset + count overflows. */
VRT_API uint32_t binstr_available(const binstr_t* b, uint64_t offset, uint64_t count);
/* binstr_equals returns 1 when a and b have the same length and bytes (in
 * time that depends only on the length), else 0. */
VRT_API uint32_t binstr_equals(const binstr_t* a, const binstr_t* b);
/* binstr_contains returns 0 when b's address range lies within a's, and 1 when
 * b starts before a or ends after a's end. */
VRT_API uint32_t binstr_contains(const binstr_t* a, const binstr_t* b);
/* binstr_copy copies count bytes from src into b's bytes:
 * VRT_ERROR_INVALID_ARGUMENT for a null b, b data or src; VRT_ERROR_LENGTH when
 * count differs from b's length (nothing copied). */
VRT_API uint32_t binstr_copy(binstr_t* b, const void* src, uint64_t count);

/* ---- masked keys ---- */

/* The kinds of a masked key are the GOST 28147-89 key-record flags:
 * GOST89_KEY_XOR (stored = plain XOR mask) and GOST89_KEY_ADD (stored = plain
 * + mask, per 32-bit word). */
#define VRT_GENKEY_FILLER_SIZE 4096

/* A secret key stored masked. For a nonzero kind one allocation holds the key
 * (length bytes), 4096 bytes of random filler, then the mask (length bytes).
 * The masking works on 32-bit little-endian words with no carry between
 * words; keys whose length is not a multiple of 4 are stored plainly. */
typedef struct genkey {
  binstr_t key;     /* the stored bytes: masked when kind is nonzero */
  binstr_t filler;  /* random bytes between key and mask; empty for kind 0 */
  binstr_t mask;    /* the mask, as long as the key; empty for kind 0 */
  uint32_t kind;    /* 0 plain, GOST89_KEY_XOR or GOST89_KEY_ADD (XOR wins) */
} genkey_t;

/* A key pair: the masked secret and a separate allocation of the public key. */
typedef struct genkey_pair {
  genkey_t secret;
  binstr_t public_key;
} genkey_pair_t;

/* genkey_alloc zeroes g and makes its zero-filled allocation for a key of
 * length bytes of the given kind. VRT_ERROR_INVALID_ARGUMENT for a null g or a
 * size that overflows; VRT_ERROR_NO_MEMORY when the allocation fails (g stays
 * zeroed). */
VRT_API uint32_t genkey_alloc(genkey_t* g, uint64_t length, uint32_t kind);
/* genkey_load copies a plain key from src and, when mask_src and its data are
 * given, the mask from mask_src, then fills the filler with random bytes. The
 * key stays plain until genkey_mask. VRT_ERROR_INVALID_ARGUMENT for a null g, g
 * key, src or src data; VRT_ERROR_LENGTH when src or mask_src declares fewer
 * bytes than g holds. */
VRT_API uint32_t genkey_load(genkey_t* g, const binstr_t* src, const binstr_t* mask_src);
/* genkey_mask_to writes into dst's key bytes the masked form of src's key
 * bytes under src's mask and kind; genkey_mask masks g in place. */
VRT_API void genkey_mask_to(const genkey_t* src, genkey_t* dst);
VRT_API void genkey_mask(genkey_t* g);
/* genkey_unmask_to writes src's plain key into dst's key bytes (dst is
 * typically a kind-0 temporary that its user wipes); genkey_unmask unmasks g
 * in place. */
VRT_API void genkey_unmask_to(const genkey_t* src, genkey_t* dst);
VRT_API void genkey_unmask(genkey_t* g);
/* genkey_remask changes g's mask by delta (at least as long as the key)
 * without changing the plain key. Nothing for kind 0 or a length that is not
 * a multiple of 4. */
VRT_API void genkey_remask(genkey_t* g, const binstr_t* delta);
/* genkey_wipe overwrites the key and mask bytes with random bytes. */
VRT_API void genkey_wipe(genkey_t* g);
/* genkey_free wipes and releases g's allocation and clears its addresses;
 * nothing when it holds none. */
VRT_API void genkey_free(genkey_t* g);
/* genkey_pair_alloc zeroes p, allocates its secret and its public key; on a
 * failure everything is released and the status (VRT_ERROR_INVALID_ARGUMENT or
 * VRT_ERROR_NO_MEMORY) returned. */
VRT_API uint32_t genkey_pair_alloc(genkey_pair_t* p, uint64_t secret_length, uint32_t kind,
                                   uint64_t public_length);
/* genkey_pair_free releases the public bytes (unwiped) and frees the secret. */
VRT_API void genkey_pair_free(genkey_pair_t* p);
/* genkey_pair_wipe wipes the secret and overwrites the public bytes. */
VRT_API void genkey_pair_wipe(genkey_pair_t* p);
/* genkey_pair_sec_load is genkey_load on p's secret (VRT_ERROR_INVALID_ARGUMENT
 * for a null p). */
VRT_API uint32_t genkey_pair_sec_load(genkey_pair_t* p, const binstr_t* src, const binstr_t* mask_src);

/* ---- random generator ---- */

/* An entropy pool, or a sample of the same shape: a bit count (at most 1024)
 * and the bits, bit j being bit j % 8 of byte j / 8. */
typedef struct random_pool {
  uint32_t bits;
  uint8_t data[128];
} random_pool_t;

/* A generator seed: 32 bytes of key, then 8 bytes that start the counter. */
typedef struct random_seed {
  uint8_t key[32];
  uint8_t counter[8];
} random_seed_t;

/* One entropy sample: bits bits (at most 1024) of data for pool source
 * (0..5), bit j being bit j % 8 of byte j / 8. */
typedef struct random_entropy {
  int32_t source;
  const uint8_t* data;
  int32_t bits;
} random_entropy_t;

#define VRT_RANDOM_SOURCES 6
#define VRT_RANDOM_HISTORY 16

/* Room for the generator's lock, a POSIX mutex, without <pthread.h>: the size
 * and alignment of pthread_mutex_t on x86-64 Linux, which the library checks
 * when it is built. Only the library touches it (random_init sets it up,
 * random_cleanup destroys it); all-zero storage is an unlocked mutex. */
typedef union vrt_mutex_storage {
  unsigned char bytes[40];
  uint64_t align;
  void* align_pointer;
} vrt_mutex_storage_t;

/* A generator context: a GOST 28147-89 counter-mode keystream under a 256-bit
 * key, every 32-byte output block tested before release, re-keyed from its
 * own output after a byte or time limit, seeded from entropy or a caller's
 * seed. A plain record the caller or the library holds; a null context names
 * the library's main generator. Every function but random_init and
 * random_cleanup holds the context's lock for its whole run. */
typedef struct random_ctx {
  vrt_mutex_storage_t lock;                    /* the context's mutex */
  uint32_t ready;                              /* percent, 100 when seeded */
  random_pool_t pools[VRT_RANDOM_SOURCES];     /* entropy per source */
  uint32_t period[VRT_RANDOM_SOURCES];         /* classes the estimators use */
  uint32_t estimator_failures;
  uint32_t seeding_failures;
  uint32_t seeded;                             /* keyed from a seed or from entropy */
  uint32_t failed;                             /* nonzero: refuses all output */
  uint64_t output_count;                       /* bytes since the last re-key */
  uint8_t key[32];
  uint8_t counter_start[8];
  random_seed_t next_seed;                     /* what the next re-key uses */
  uint64_t rekey_time;                         /* seconds; 0 never */
  uint64_t byte_limit;
  uint64_t time_limit;
  gost89_sbox_t* sbox;
  union {
    Gost89Ctx ctx;
    uint8_t memory[VRT_GOST89_CTX_SIZE(1)];
  } cipher;                                    /* counter mode on sbox */
  uint32_t history[VRT_RANDOM_HISTORY][VRT_RANDOM_SOURCES];
  uint32_t history_count;
  uint32_t credited;                           /* bits credited by six-record calls */
  uint32_t rekeying;
  uint8_t block[32];                           /* the output block */
  uint8_t stream[96];                          /* keystream computed ahead */
  uint32_t stream_held;                        /* 32-byte rounds of it still unused */
} random_ctx_t;

/* random_init sets ctx up: the lock, empty pools and history, limits of 10 MiB
 * and a day, the tc26 Z set, the counter-mode cipher. The key is not touched;
 * the context refuses output until it is seeded. VRT_ERROR_INVALID_ARGUMENT for
 * a null ctx, or the cipher's status. */
VRT_API uint32_t random_init(random_ctx_t* ctx);
/* random_cleanup zeroes the pools and the key and destroys the lock. */
VRT_API void random_cleanup(random_ctx_t* ctx);
/* random_generate fills out with length bytes, 32-byte blocks each tested
 * before release. rekeyed (optional) is set to 1 when the generator re-keyed
 * during the call; seed_out (optional) receives the fresh seed material of that
 * re-key. VRT_ERROR_INVALID_ARGUMENT for a null out or zero length;
 * VRT_ERROR_FAILED when the generator is unseeded or failed, or fails during
 * the call; VRT_ERROR_RANDOM_TEST when blocks keep failing their test after a
 * fresh key. Bytes are written only for blocks that passed. */
VRT_API uint32_t random_generate(random_ctx_t* ctx, void* out, uint64_t length, uint32_t* rekeyed,
                                 random_seed_t* seed_out);
/* random_set_custom_seed re-keys from the caller's seed (which may share its
 * buffer with seed_out); seed_out (optional) receives 40 further bytes of
 * output. */
VRT_API uint32_t random_set_custom_seed(random_ctx_t* ctx, const random_seed_t* seed, random_seed_t* seed_out);
/* random_set_custom_sbox switches the cipher to the S-box set id, keeping the
 * key and the counter position. 1, with nothing changed, when the set is not
 * initialised. */
VRT_API uint32_t random_set_custom_sbox(random_ctx_t* ctx, uintptr_t id);
/* random_set_seed_custom_expiration sets the re-key limits: after more than
 * bytes output bytes, or seconds since the last re-key. */
VRT_API uint32_t random_set_seed_custom_expiration(random_ctx_t* ctx, uint64_t bytes, uint64_t seconds);
/* random_get_ready_percent returns the readiness, 0..100. */
VRT_API uint32_t random_get_ready_percent(random_ctx_t* ctx);
/* random_add_entropy adds count samples. Their bits go into the pools of their
 * sources and are rated; when the credited entropy reaches the target the
 * generator is seeded from all pooled bits, 40 bytes of its output go to
 * seed_out (optional), and the periodic test runs. A call of exactly six
 * samples rates each sample on its own and checks the pooled bits before
 * seeding. VRT_SUCCESS; VRT_ERROR_INVALID_ARGUMENT for a bad source or bit
 * count (nothing changed); VRT_ERROR_BUFFER_TOO_SMALL when a pool would
 * overflow (all entropy discarded); VRT_ERROR_FAILED in the failed state or
 * when the call puts the generator in it. */
VRT_API uint32_t random_add_entropy(random_ctx_t* ctx, const random_entropy_t* records, uint32_t count,
                                    random_seed_t* seed_out);
/* random_revoke_last_entropy removes the bits of the most recent
 * random_add_entropy call and rates the pools again (no seeding). 1 in the
 * failed state. */
VRT_API uint32_t random_revoke_last_entropy(random_ctx_t* ctx);
/* random_revoke_all_entropy discards all pooled entropy and the readiness. */
VRT_API uint32_t random_revoke_all_entropy(random_ctx_t* ctx);

/* ---- entropy estimation and statistical tests ---- */

/* Signed 64-bit fixed-point numbers with 20 fraction bits (1.0 = 0x100000).
 * Results outside the int64_t range saturate to INT64_MIN or INT64_MAX. */
#define VRT_FIXED_ONE INT64_C(0x100000)

/* random_stat_collect counts over the first 8 * bytes bits of data: the ones,
 * the positions j with bit j != bit j + lag, and the longest runs of ones and
 * of zeros. Each output is optional and set to 0 first.
 * VRT_ERROR_INVALID_ARGUMENT when bytes is 0 or every output is null. */
VRT_API uint32_t random_stat_collect(const uint8_t* data, uint64_t bytes, uint32_t* ones, uint32_t lag,
                                     uint32_t* autocorrelation, uint32_t* longest_ones,
                                     uint32_t* longest_zeros);
/* random_dynamic_test checks one 32-byte output block: VRT_SUCCESS, or
 * VRT_ERROR_RANDOM_TEST when its ones, lag-1 autocorrelation or longest runs
 * fall outside their bounds; VRT_ERROR_INVALID_ARGUMENT for a null block. */
VRT_API uint32_t random_dynamic_test(const uint8_t block[32]);
/* random_reglament_test checks 4096 bytes of output (balance of ones and a
 * chi-square over the byte values): VRT_SUCCESS to pass, VRT_ERROR_FAILED to
 * fail. */
VRT_API uint32_t random_reglament_test(const uint8_t block[4096]);
/* random_stat_interval gives the bounds a statistic of n bits at the given lag
 * must lie strictly between. */
VRT_API void random_stat_interval(uint32_t n, uint32_t lag, int64_t* lo, int64_t* hi);
/* random_estimate_pool credits a pool with entropy bits, looking at its bits in
 * period interleaved classes: 0 below 64 bits, 0xFFFFFFFF for a failed
 * estimate. */
VRT_API uint32_t random_estimate_pool(const random_pool_t* pool, uint32_t period);
/* random_calc_randomness is the pool estimate of length bytes (1..128) of
 * data; 0xFFFFFFFF for any other length or a failed estimate. */
VRT_API uint32_t random_calc_randomness(const uint8_t* data, uint64_t length, uint32_t period);

/* ==========================================================================
 * Text helpers
 *
 * INI text, Base64 and UTF-8. Wide strings are UTF-32 in host order (wchar_t
 * is 32 bits). These need no library initialisation and share no state with
 * the cryptography; they report failures by their result or, in the C++-only
 * part below, by std::runtime_error with the message each comment gives.
 * ========================================================================== */

/* vr_ini_handler receives one setting: the section it is in ("" before the
 * first section header), its key name and value, and the section's index
 * (-1 before the first header, then 0, 1, ... per header). It returns
 * nonzero to accept the setting, 0 to mark its line as an error. The strings
 * live until the handler returns. */
typedef int (*vr_ini_handler)(void* user, const wchar_t* section, const wchar_t* name, const wchar_t* value,
                              int section_index);

/* vr_ini_parse_string parses INI text and calls handler for every setting,
 * passing user through. Lines end at a line feed (a carriage return before it
 * is trailing white space) or at the end of the text; blank lines are skipped
 * and not counted. A line is a comment when its first non-blank character is
 * ';' or '#'; "[name]" opens a section; "key = value" or "key: value" is a
 * setting, whose value loses an inline comment (a ';' after white space) and
 * the white space around it; an indented line after a setting is a further
 * value of the same key. A line with no separator, an unclosed section
 * header, a line longer than 19999 characters, or a handler result of 0 is
 * an error of that line; parsing goes on to the end either way. Returns 0
 * when every line was accepted, the number (from 1) of the first line in
 * error, or -1 when text or handler is null or memory runs out. */
VRT_API int vr_ini_parse_string(const wchar_t* text, vr_ini_handler handler, void* user);

/* utf8_strlen returns the number of code points in the NUL-terminated UTF-8
 * text s (bytes that are not continuation bytes; 0 for a null s). */
VRT_API int utf8_strlen(const char* s);

/* ==========================================================================
 * ABI level: exported for the library's own layers, its tests and tools;
 * applications do not call these
 *
 * Every name below is exported and keeps its signature, but none of them is
 * needed to use the library: the vrtp twins each vrt function forwards to,
 * the layer hooks of the lifecycle, the algorithm cores, the processor-
 * specific variants (a leading __), the mode workers, the constant tables
 * and block-algorithm records, and the known-answer self-tests that
 * vrtInitRunTests and vrtTest run. They are grouped by the sections above.
 * ========================================================================== */

/* --------------------------------------------------------------------------
 * ABI level: lifecycle, processor dispatch and platform
 * -------------------------------------------------------------------------- */

/* Processor features recorded in vrtpInstance.cpu_detected / cpu_enabled. */
#define VRT_CPU_AVX     UINT32_C(0x01)
#define VRT_CPU_AVX2    UINT32_C(0x02)
#define VRT_CPU_SSSE3   UINT32_C(0x04)
#define VRT_CPU_SSE42   UINT32_C(0x08)
#define VRT_CPU_RDRAND  UINT32_C(0x10)
#define VRT_CPU_BMI2    UINT32_C(0x20)
/* AVX-512 F, BW and VBMI with the register state enabled by the system. */
#define VRT_CPU_AVX512VBMI UINT32_C(0x40)
#define VRT_CPU_GFNI    UINT32_C(0x80)
/* AVX-512 F and VL with the register state enabled by the system. */
#define VRT_CPU_AVX512VL UINT32_C(0x100)
/* Carry-less multiplication (PCLMULQDQ). */
#define VRT_CPU_PCLMUL  UINT32_C(0x200)
/* Carry-less multiplication on 256- and 512-bit registers (VPCLMULQDQ). */
#define VRT_CPU_VPCLMUL UINT32_C(0x400)
/* Add with carry on either of two flags (ADCX, ADOX). */
#define VRT_CPU_ADX     UINT32_C(0x800)

/* Word-array primitives of the dispatch table. Numbers are little-endian
 * arrays of 32 (256-bit) or 64 (512-bit) bytes; results may alias operands.
 * add/sub: r = a + b + carry_in (a - b - borrow_in), return the carry
 * (borrow) out, 0 or 1. shl/shr by one bit: bit_in enters at the bottom (top),
 * the bit shifted out is returned. cmp: 0 when a < b, 2 when a = b, 4 when
 * a > b. xor: r = a ^ b, returns r. add_mod/sub_mod: for a, b < p, r = (a + b)
 * mod p and (a - b) mod p. */
typedef uint32_t (*vrt_cmp_fn)(const void* a, const void* b);
typedef uint32_t (*vrt_add_fn)(void* r, const void* a, const void* b, int carry_in);
typedef uint32_t (*vrt_shift_fn)(void* r, const void* a, int bit_in);
typedef void* (*vrt_xor_fn)(void* r, const void* a, const void* b);
typedef uint32_t (*vrt_modop_fn)(void* r, const void* a, const void* b, const void* p);

/* The processor-dispatch table, sixteen slots in this order. */
typedef struct vrtp_arch_table {
  vrt_cmp_fn cmp256;
  vrt_cmp_fn cmp512;
  vrt_add_fn add256;
  vrt_add_fn add512;
  vrt_add_fn sub256;
  vrt_add_fn sub512;
  vrt_shift_fn shl256_1;
  vrt_shift_fn shl512_1;
  vrt_shift_fn shr256_1;
  vrt_shift_fn shr512_1;
  vrt_xor_fn xor256;
  vrt_xor_fn xor512;
  vrt_modop_fn add256_mod;
  vrt_modop_fn add512_mod;
  vrt_modop_fn sub256_mod;
  vrt_modop_fn sub512_mod;
} vrtp_arch_table_t;

/* The library's one process-wide record. */
typedef struct vrtp_instance {
  uint32_t lock;            /* spin-lock word: 0 free, 1 held */
  uint32_t state;           /* bit 0: library initialised */
  uint32_t cpu_detected;    /* VRT_CPU_* bits found by CPUID */
  uint32_t cpu_enabled;     /* VRT_CPU_* bits the library uses */
  vrtp_arch_table_t arch;   /* dispatch table */
  uint32_t arch_state;      /* bit 0: dispatch layer up */
  uint32_t platform_state;  /* bit 0: platform layer up */
} vrtp_instance_t;

VRT_API extern vrtp_instance_t vrtpInstance;

VRT_API uint32_t vrtpGetVersion(void);
VRT_API const char* vrtpGetVersionStr(void);
VRT_API void vrtpLockLibrary(void);
VRT_API void vrtpUnlockLibrary(void);

/* Layer hooks run by the lifecycle functions. */
VRT_API uint32_t vrtpArchInit(vrtp_instance_t* instance);
VRT_API uint32_t vrtpArchInitCustom(vrtp_instance_t* instance);
VRT_API void vrtpArchCleanup(vrtp_instance_t* instance);
VRT_API void vrtpArchCleanupCustom(void);
VRT_API uint32_t vrtpPlatformInit(vrtp_instance_t* instance);
VRT_API uint32_t vrtpPlatformInitCustom(vrtp_instance_t* instance);
VRT_API void vrtpPlatformCleanup(vrtp_instance_t* instance);
VRT_API void vrtpPlatformCleanupCustom(vrtp_instance_t* instance);
VRT_API uint32_t vrtpCryptoInit(vrtp_instance_t* instance);
VRT_API void vrtpCryptoCleanup(vrtp_instance_t* instance);
VRT_API uint32_t vrtpMemResetRandomInit(void);
VRT_API uint32_t vrtpRandomInit(vrtp_instance_t* instance);
VRT_API void vrtpRandomCleanup(vrtp_instance_t* instance);
/* vrtpCryptoTest runs the known-answer self-tests in their fixed order and
 * returns the first nonzero status; vrtpRandomTest returns VRT_SUCCESS. */
VRT_API uint32_t vrtpCryptoTest(vrtp_instance_t* instance);
VRT_API uint32_t vrtpRandomTest(vrtp_instance_t* instance);

/* ---- processor probe and platform ---- */

/* time_in_seconds returns the calendar time in seconds, the clock of the
 * random generator. */
VRT_API uint64_t time_in_seconds(void);

/* ---- word-array primitives (the generic dispatch functions) ---- */

VRT_API uint32_t cmp256(const void* a, const void* b);
VRT_API uint32_t cmp512(const void* a, const void* b);
VRT_API uint32_t add256(void* r, const void* a, const void* b, int carry_in);
VRT_API uint32_t add512(void* r, const void* a, const void* b, int carry_in);
VRT_API uint32_t sub256(void* r, const void* a, const void* b, int borrow_in);
VRT_API uint32_t sub512(void* r, const void* a, const void* b, int borrow_in);
VRT_API uint32_t shl256_1(void* r, const void* a, int bit_in);
VRT_API uint32_t shl512_1(void* r, const void* a, int bit_in);
VRT_API uint32_t shr256_1(void* r, const void* a, int bit_in);
VRT_API uint32_t shr512_1(void* r, const void* a, int bit_in);
VRT_API void* xor256(void* r, const void* a, const void* b);
VRT_API void* xor512(void* r, const void* a, const void* b);
VRT_API uint32_t add256_mod(void* r, const void* a, const void* b, const void* p);
VRT_API uint32_t add512_mod(void* r, const void* a, const void* b, const void* p);
VRT_API uint32_t sub256_mod(void* r, const void* a, const void* b, const void* p);
VRT_API uint32_t sub512_mod(void* r, const void* a, const void* b, const void* p);
/* The x86-64 variants on 64-bit words; only bit 0 of carry is the carry in. */
VRT_API uint64_t __add256(void* r, const void* a, const void* b, uint64_t carry);
VRT_API uint64_t __add512(void* r, const void* a, const void* b, uint64_t carry);
VRT_API void* __xor256(void* r, const void* a, const void* b);
VRT_API void* __xor512(void* r, const void* a, const void* b);

/* --------------------------------------------------------------------------
 * ABI level: hashes, HMAC and key derivation
 * -------------------------------------------------------------------------- */

/* ---- GOST R 34.11-2012 (Streebog) ---- */

VRT_API uint32_t vrtpGostHash2012Init(hash2012_ctx_t* ctx, uint32_t size);
VRT_API uint32_t vrtpGostHash2012Update(hash2012_ctx_t* ctx, const uint8_t* data, uint64_t length);
VRT_API uint32_t vrtpGostHash2012Finalize(hash2012_ctx_t* ctx, uint8_t* digest);
VRT_API uint32_t vrtpGostHash2012SaveState(hash2012_ctx_t* ctx, uint8_t* blob, uint64_t* size);
VRT_API uint32_t vrtpGostHash2012RestoreState(hash2012_ctx_t* ctx, const uint8_t* blob, uint64_t size);

/* hash2012_example hashes a whole message into digest (digest_bytes 32 or 64). */
VRT_API uint32_t hash2012_example(const uint8_t* message, uint64_t length, uint8_t* digest,
                                  uint32_t digest_bytes);
/* hash2012_self_test checks the two messages of the standard, 512 and 256 bits. */
VRT_API uint32_t hash2012_self_test(vrtp_instance_t* instance);

/* ---- GOST R 34.11-94 ---- */

VRT_API uint32_t vrtpGostHash94Init(hash94_ctx_t* ctx, uint64_t sbox, const uint8_t* start);
VRT_API uint32_t vrtpGostHash94Update(hash94_ctx_t* ctx, const uint8_t* data, uint64_t length);
VRT_API uint32_t vrtpGostHash94Finalize(hash94_ctx_t* ctx, uint8_t* digest);
VRT_API uint32_t vrtpGostHash94SaveState(hash94_ctx_t* ctx, uint8_t* blob, uint64_t* size);
VRT_API uint32_t vrtpGostHash94RestoreState(hash94_ctx_t* ctx, const uint8_t* blob, uint64_t size);

/* hash94_self_test checks the two examples of GOST R 34.11-94 (test set). */
VRT_API uint32_t hash94_self_test(vrtp_instance_t* instance);

/* ---- HMAC ---- */

/* The operations of one HMAC algorithm. ctx is an hmac_ctx_t. */
struct hmac_ops {
  uint64_t digest_size;  /* MAC bytes */
  uint64_t block_size;   /* hash block bytes, the key-block length */
  uint32_t (*key_setup)(uint8_t* ctx, const struct binstr* key);
  uint32_t (*update)(uint8_t* ctx, const struct binstr* data);
  uint32_t (*final)(uint8_t* ctx, uint8_t* mac);
};

VRT_API extern const hmac_ops_t vrtpHmacOpsGost2012_256;
VRT_API extern const hmac_ops_t vrtpHmacOpsGost2012_512;
VRT_API extern const hmac_ops_t vrtpHmacOpsGost94;
/* The pads: 64 bytes of 0x36 and of 0x5c (GOST R 34.11-94 uses 32). */
VRT_API extern const uint8_t vrtpHMACIPadding[64];
VRT_API extern const uint8_t vrtpHMACOPadding[64];

VRT_API uint32_t vrtpHMACInit(uint8_t* ctx, const struct binstr* key, uint32_t algorithm);
VRT_API uint32_t vrtpHMACUpdate(uint8_t* ctx, const struct binstr* data);
VRT_API uint32_t vrtpHMACFinalize(uint8_t* ctx, uint8_t* mac);
VRT_API uint32_t vrtpGostHmac2012_256(uint8_t* mac, const struct binstr* key, const struct binstr* data);
VRT_API uint32_t vrtpGostHmac2012_512(uint8_t* mac, const struct binstr* key, const struct binstr* data);
VRT_API uint32_t vrtpGostHmac94(uint8_t* mac, const struct binstr* key, const struct binstr* data);

/* hmac2012_self_test checks the HMAC example of R 50.1.113-2016 (RFC 7836)
 * for both sizes; hmac94_self_test a stored HMAC-GOST R 34.11-94 value. */
VRT_API uint32_t hmac2012_self_test(vrtp_instance_t* instance);
VRT_API uint32_t hmac94_self_test(vrtp_instance_t* instance);

/* ---- key derivation ---- */

VRT_API uint32_t vrtpKDFTree256(const struct genkey* key, const uint8_t* label, uint64_t label_len,
                                const uint8_t* seed, uint64_t seed_len, uint32_t R, uint64_t L, uint8_t* out);
VRT_API uint32_t vrtpKEG(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                         const struct sign2012_par* curve, uint8_t* out);
VRT_API uint32_t vrtpKEG256(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                            const struct sign2012_par* curve, uint8_t* out);
VRT_API uint32_t vrtpKEG512(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                            const struct sign2012_par* curve, uint8_t* out);
/* vrtpKEG_VKO writes the VKO key of out_len (32 or 64) bytes under the UKM
 * taken from h. */
VRT_API uint32_t vrtpKEG_VKO(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                             uint32_t out_len, const struct sign2012_par* curve, uint8_t* out);
VRT_API uint32_t vrtpPRFTLS(const struct genkey* key, const uint8_t* label, uint64_t label_len,
                            const uint8_t* seed, uint64_t seed_len, uint32_t algorithm, uint64_t out_len,
                            uint8_t* out);
VRT_API uint32_t vrtpPRFIPsecKeyMat(const struct genkey* key, const struct binstr* seed, uint32_t algorithm,
                                    uint64_t out_len, uint8_t* out);
VRT_API uint32_t vrtpPRFIPsecPrfPlus(const struct genkey* key, const struct binstr* seed, uint32_t algorithm,
                                     uint64_t out_len, uint8_t* out);

/* prf_self_test checks the PRF_TLS, PRF_IPSEC_KEYMAT and PRF_IPSEC_PRFPLUS
 * examples of R 50.1.113-2016 with both HMAC sizes. */
VRT_API uint32_t prf_self_test(vrtp_instance_t* instance);

/* ---- password-based keys ---- */

/* The PRF of the PBKDF2 core: out = HMAC(password, data1 | data2) of hlen
 * bytes; data2 may be null. */
typedef uint32_t (*pkcs5_prf_fn)(uint8_t* out, const struct binstr* password, const struct binstr* data1,
                                 const struct binstr* data2);
typedef struct pkcs5_prf {
  uint8_t* out;      /* hlen bytes of work space */
  uint64_t hlen;     /* 32 or 64 */
  pkcs5_prf_fn fn;
} pkcs5_prf_t;

/* The two PRFs: HMAC-GOST R 34.11-94 (CryptoPro set, 32 bytes) and
 * HMAC-Streebog-512 (64 bytes). */
VRT_API uint32_t vrtpPKCS5PrfHmac94(uint8_t* out, const struct binstr* password, const struct binstr* data1,
                                    const struct binstr* data2);
VRT_API uint32_t vrtpPKCS5PrfHmac2012_512(uint8_t* out, const struct binstr* password, const struct binstr* data1,
                                          const struct binstr* data2);
/* vrtpPKCS5DeriveKeyPBKDF2 is the PBKDF2 core over prf into params->key (masked
 * at the end). With the library's own two PRFs the password's HMAC states are
 * set up once and every iteration starts from them. Returns VRT_SUCCESS,
 * VRT_ERROR_FAILED for a missing PRF, password or salt (when there is a block
 * to compute), or the first failing PRF status (key bytes wiped). */
VRT_API uint32_t vrtpPKCS5DeriveKeyPBKDF2(const pkcs5_params_t* params, pkcs5_prf_t* prf);
VRT_API uint32_t vrtpPKCS5GostDeriveKey94NoCheck(const pkcs5_params_t* params);
VRT_API uint32_t vrtpPKCS5GostDeriveKey2012NoCheck(const pkcs5_params_t* params);
VRT_API uint32_t vrtpPKCS5DeriveKeyNoCheck(pkcs5_params_t* params, struct genkey* key);
VRT_API uint32_t vrtpPKCS5DeriveKey(pkcs5_params_t* params, struct genkey* key);

VRT_API uint32_t vrtpPKCS5Encrypt(pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length);
VRT_API uint32_t vrtpPKCS5Decrypt(pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length);
VRT_API uint32_t vrtpPKCS5MAC(pkcs5_params_t* params, const uint8_t* data, uint64_t length, uint8_t* mac,
                              uint64_t mac_len);
/* The steps: derive when params->key is null, then CFB or the MAC; the
 * WithKey forms use params->key as it is (VRT_ERROR_INVALID_ARGUMENT when
 * it is null). vrtpPKCS5MAC1 checks the MAC identifiers and calls
 * vrtpPKCS5GostMAC. */
VRT_API uint32_t vrtpPKCS5GostEncrypt(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                      uint64_t length);
VRT_API uint32_t vrtpPKCS5GostDecrypt(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                      uint64_t length);
VRT_API uint32_t vrtpPKCS5GostEncryptWithKey(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                             uint64_t length);
VRT_API uint32_t vrtpPKCS5GostDecryptWithKey(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                             uint64_t length);
VRT_API uint32_t vrtpPKCS5MAC1(const pkcs5_params_t* params, const uint8_t* data, uint64_t length, uint8_t* mac,
                               uint64_t mac_len);
VRT_API uint32_t vrtpPKCS5GostMAC(const pkcs5_params_t* params, const uint8_t* data, uint64_t length,
                                  uint8_t* mac, uint64_t mac_len);
VRT_API uint32_t vrtpPKCS5GostMACWithKey(const pkcs5_params_t* params, const uint8_t* data, uint64_t length,
                                         uint8_t* mac, uint64_t mac_len);

/* pbkdf2_self_test derives ten keys with both PRFs (the R 50.1.111-2016
 * examples for HMAC-Streebog-512) and compares them. */
VRT_API uint32_t pbkdf2_self_test(vrtp_instance_t* instance);

/* ---- key export ---- */

VRT_API uint32_t vrtpKExp15(const struct genkey* key, const struct genkey* enc_key, const struct genkey* mac_key,
                            const uint8_t* iv, uint64_t iv_len, uint64_t block_size, uint8_t* out,
                            uint64_t* out_len);
VRT_API uint32_t vrtpKImp15(const uint8_t* exported, uint64_t exported_len, const struct genkey* enc_key,
                            const struct genkey* mac_key, const uint8_t* iv, uint64_t iv_len, uint64_t block_size,
                            struct genkey* key_out);

/* KeyDistribution_self_test checks KDF and KDF_TREE (R 50.1.113-2016), a
 * stored TC26 wrap and its unwrap, KEG on a 512- and a 256-bit curve, and
 * the KExp15 examples of R 1323565.1.017-2018 (Magma and Kuznyechik) with
 * their imports. */
VRT_API uint32_t KeyDistribution_self_test(vrtp_instance_t* instance);

/* --------------------------------------------------------------------------
 * ABI level: GOST R 34.12-2015 ciphers
 * -------------------------------------------------------------------------- */

/* ---- block-algorithm records (shared with GOST 28147-89) ---- */

/* A hook of a block-algorithm record; receives the calling context. */
typedef void (*vrt_block_hook_fn)(void* ctx);
/* GOST R 34.12-2015 block operation: one block from in to out (they may be
 * the same buffer). Kuznyechik reads only round_keys (160 bytes), Magma only
 * key (the unmasked 32-byte key) and sbox. */
typedef void (*gost15_block_fn)(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                const void* round_keys);
/* GOST R 34.12-2015 OMAC subkey step: see gost15KZN_mac_block. */
typedef void (*gost15_mac_block_fn)(const void* src, void* dst, uint64_t len, uint32_t from_k1);
/* GOST 28147-89 block operation: encrypt or decrypt in to out, or run the MAC
 * step of in on the state out, with one expanded key record per block. */
typedef void (*gost89_block_fn)(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox);
/* out = a XOR b over the record's block size; out may be a or b. */
typedef void (*vrt_xor_block_fn)(const void* a, const void* b, void* out);
/* dst = src over the record's block size. */
typedef void (*vrt_copy_block_fn)(const void* src, void* dst);

typedef union vrt_block_mac {
  gost15_mac_block_fn gost15;
  gost89_block_fn gost89;
} vrt_block_mac_t;

typedef union vrt_block_op {
  gost15_block_fn gost15;
  gost89_block_fn gost89;
} vrt_block_op_t;

/* A block cipher implementation as the mode code sees it: eleven 64-bit
 * slots. The operation slots hold the member of their cipher family (gost15
 * for Kuznyechik and Magma, gost89 for GOST 28147-89). A null hook is
 * skipped; callers test each hook before calling it. */
struct vrt_block_alg {
  uint64_t lanes;                   /* independent streams per call: 1 or 8 */
  uint64_t block_size;              /* bytes per call: 8, 16 or 64 */
  vrt_block_hook_fn hook_begin;     /* first in every encrypt, decrypt or MAC call */
  vrt_block_hook_fn hook_end;       /* last in such a call, after the keys are wiped */
  vrt_block_hook_fn hook_after_key; /* once the unmasked keys are in place */
  vrt_block_hook_fn hook_after_work;/* after the mode's work, before the keys are wiped */
  vrt_block_mac_t mac_block;        /* OMAC subkey step (gost15), MAC step (gost89) */
  vrt_block_op_t encrypt;
  vrt_block_op_t decrypt;
  vrt_xor_block_fn xor_block;
  vrt_copy_block_fn copy_block;
};

/* The two GOST R 34.12-2015 records: one lane, 16- and 8-byte blocks. */
VRT_API extern const vrt_block_alg_t GOST15_G1_KUZNECHIK;
VRT_API extern const vrt_block_alg_t GOST15_G1_MAGMA;

/* ---- Kuznyechik constant tables ---- */

/* pi and its inverse. */
VRT_API extern const uint8_t Pi[256];
VRT_API extern const uint8_t InversedPi[256];
/* Row p is L(e_p) (L^-1(e_p)), e_p the block with 1 in byte p. */
VRT_API extern const uint8_t LTransformationMatrix[16][16];
VRT_API extern const uint8_t inversedLTransformationMatrix[16][16];
/* x^i in GF(2^8) modulo x^8 + x^7 + x^6 + x + 1 (entry 255 is 1), and its
 * logarithm (entry 0 is 0). */
VRT_API extern const uint8_t exponentialTable[256];
VRT_API extern const uint8_t logarithmicTable[256];
/* C_i = L(i in byte 15), i = 1..32, as blocks and as the little-endian
 * 64-bit words of bytes 0..7 (left) and 8..15 (right). */
VRT_API extern const uint8_t roundConstants[32][16];
VRT_API extern const uint64_t roundConstantsLeft[32];
VRT_API extern const uint64_t roundConstantsRight[32];
/* Entry p * 256 + b: left and right word of L(Pi[b] * e_p), and of
 * L^-1(InversedPi[b] * e_p). */
VRT_API extern const uint64_t precomputedLSTableLeft[16 * 256];
VRT_API extern const uint64_t precomputedLSTableRight[16 * 256];
VRT_API extern const uint64_t precomputedInversedLSTableLeft[16 * 256];
VRT_API extern const uint64_t precomputedInversedLSTableRight[16 * 256];

/* ---- Kuznyechik core ---- */

/* kuznechik_arch_schedule_encrypt writes the ten round keys K1..K10 of the
 * 32-byte key into round_keys (160 bytes). The caller wipes them. */
VRT_API void kuznechik_arch_schedule_encrypt(uint8_t round_keys[160], const uint8_t key[32]);
/* kuznechik_arch_schedule_decrypt writes the decryption schedule: K1 and K10
 * unchanged, L^-1(K2) .. L^-1(K9) between them. */
VRT_API void kuznechik_arch_schedule_decrypt(uint8_t round_keys[160], const uint8_t key[32]);
/* kuznechik_arch_encrypt_block encrypts block in place with an encryption
 * schedule; kuznechik_arch_decrypt_block decrypts in place with a decryption
 * schedule. The other pairing does not invert. */
VRT_API void kuznechik_arch_encrypt_block(const uint8_t round_keys[160], uint8_t block[16]);
VRT_API void kuznechik_arch_decrypt_block(const uint8_t round_keys[160], uint8_t block[16]);

/* The record operations of Kuznyechik: encrypt and decrypt read only the
 * round keys; in and out may overlap. */
VRT_API void gost15KZN_encrypt_block(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                     const void* round_keys);
VRT_API void gost15KZN_decrypt_block(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                     const void* round_keys);
VRT_API void gost15KZN_xor_block(const void* a, const void* b, void* out);
VRT_API void gost15KZN_copy_block(const void* src, void* dst);
/* gost15KZN_mac_block is the OMAC subkey step on 16-byte blocks. With
 * from_k1 = 0, src is R = E(0): K1 = (R << 1) XOR (0x87 if the top bit of R
 * is set), and dst receives K1 when len is a multiple of 16, else
 * K2 = (K1 << 1) XOR (0x87 if the top bit of K1 is set). With from_k1 = 1,
 * src is K1: dst is left unchanged for a multiple of 16, else receives K2.
 * src and dst may be the same buffer. */
VRT_API void gost15KZN_mac_block(const void* src, void* dst, uint64_t len, uint32_t from_k1);

/* ---- Magma ---- */

/* The record operations of Magma over the S-box set sbox (the tc26 Z set,
 * identifier 0x01010108, which must be initialised): encrypt and decrypt read
 * the eight key words straight from the unmasked 32-byte key and ignore
 * round_keys; in and out may be the same buffer. */
VRT_API void gost15Magma_encrypt_block(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                       const void* round_keys);
VRT_API void gost15Magma_decrypt_block(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                       const void* round_keys);
VRT_API void gost15Magma_xor_block(const void* a, const void* b, void* out);
VRT_API void gost15Magma_copy_block(const void* src, void* dst);
/* gost15Magma_mac_block: the subkey step of gost15KZN_mac_block on 8-byte
 * blocks, with the constant 0x1B. */
VRT_API void gost15Magma_mac_block(const void* src, void* dst, uint64_t len, uint32_t from_k1);

/* ---- cipher context ---- */

VRT_API uint32_t vrtpGost15CtxAlloc(Gost15Ctx** ctx_out, uint32_t lanes, uint32_t block_size);
VRT_API uint32_t vrtpGost15CtxInit(Gost15Ctx* ctx, uint32_t lanes);
VRT_API uint32_t vrtpGost15CtxAllocInitialized(Gost15Ctx** ctx_out, uint32_t lanes, uint32_t block_size);
VRT_API void vrtpGost15CtxFree(Gost15Ctx* ctx);
VRT_API uint32_t vrtpGost15SetMode(Gost15Ctx* ctx, uint32_t mode, uint32_t flags);
VRT_API uint32_t vrtpGost15SetParametersACPKM(Gost15Ctx* ctx, uint64_t section_size, uint64_t frame_size);
VRT_API uint32_t vrtpGost15Encrypt(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count);
VRT_API uint32_t vrtpGost15Decrypt(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count);
VRT_API uint32_t vrtpGost15EncryptSimple(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                         uint8_t* out, uint64_t len, const uint8_t* iv, uint64_t iv_len);
VRT_API uint32_t vrtpGost15DecryptSimple(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                         uint8_t* out, uint64_t len, const uint8_t* iv, uint64_t iv_len);

VRT_API uint32_t vrtpGost15EncryptUpdate(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                         uint64_t in_len, const uint8_t* iv, uint64_t iv_len, uint8_t* out,
                                         uint64_t* out_len);
VRT_API uint32_t vrtpGost15DecryptUpdate(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                         uint64_t in_len, const uint8_t* iv, uint64_t iv_len, uint8_t* out,
                                         uint64_t* out_len);
VRT_API uint32_t vrtpGost15EncryptFinal(Gost15Ctx* ctx, const struct genkey* key, uint8_t* out, uint64_t* out_len);
VRT_API uint32_t vrtpGost15DecryptFinal(Gost15Ctx* ctx, const struct genkey* key, uint8_t* out, uint64_t* out_len);
VRT_API uint32_t vrtpGost15SaveState(Gost15Ctx* ctx, uint8_t* blob, uint64_t* size);
VRT_API uint32_t vrtpGost15RestoreState(Gost15Ctx* ctx, const uint8_t* blob, uint64_t size);

VRT_API uint32_t vrtpGost15MAC(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count);
VRT_API uint32_t vrtpGost15MACSimple(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len);
VRT_API uint32_t vrtpGost15MACUpdate(Gost15Ctx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len);
VRT_API uint32_t vrtpGost15MACGetValue(Gost15Ctx* ctx, const struct genkey* key, uint8_t* mac);
VRT_API uint32_t vrtpGost15MACSaveState(Gost15Ctx* ctx, uint8_t* blob, uint64_t* size);
VRT_API uint32_t vrtpGost15MACRestoreState(Gost15Ctx* ctx, const uint8_t* blob, uint64_t size);

/* gost15_mac_entire_example computes the MAC of message (any length, also
 * empty) with a private context: allocate for block_size, set mode (and for
 * OMAC-ACPKM the sizes section_size and frame_size), feed, write the n-byte
 * MAC value to mac, free. Returns the first failing status. */
VRT_API uint32_t gost15_mac_entire_example(const struct binstr* message, const struct genkey* key, uint32_t mode,
                                           uint8_t* mac, uint32_t block_size, uint64_t section_size,
                                           uint64_t frame_size);
/* gost15_mac_stream_final_example restores the MAC state blob state into a
 * private context for block_size and writes the n-byte MAC value of the
 * message it holds to mac. Returns the first failing status. */
VRT_API uint32_t gost15_mac_stream_final_example(const struct genkey* key, uint32_t block_size, uint8_t* mac,
                                                 const struct binstr* state);

/* gost15_self_test runs the mode examples of both ciphers (ECB, CBC, CFB, OFB,
 * CTR and CTR-ACPKM) as streams in pieces moved between contexts by their saved
 * states, each prefix closed and compared with the one-shot result, both
 * directions; and the MAC examples (OMAC, OMAC-ACPKM) in one piece and in
 * pieces through saved states. VRT_SUCCESS, VRT_ERROR_FAILED on a mismatch, or
 * a failing call's status. */
VRT_API uint32_t gost15_self_test(vrtp_instance_t* instance);

/* gost15_encrypt_example and gost15_decrypt_example run one message through
 * a private context: allocate for block_size, set the mode with flags 0,
 * for CTR-ACPKM the section size acpkm_section (unused by the other modes),
 * EncryptSimple / DecryptSimple, free. Returns the first failing status. */
VRT_API uint32_t gost15_encrypt_example(const uint8_t* in, uint64_t len, const struct genkey* key,
                                        const uint8_t* iv, uint64_t iv_len, uint32_t mode, uint32_t block_size,
                                        uint64_t acpkm_section, uint8_t* out);
VRT_API uint32_t gost15_decrypt_example(const uint8_t* in, uint64_t len, const struct genkey* key,
                                        const uint8_t* iv, uint64_t iv_len, uint32_t mode, uint32_t block_size,
                                        uint64_t acpkm_section, uint8_t* out);

/* ---- cipher context: mode workers ---- */

/* The workers run the attached descriptors of a checked request with the
 * unmasked key in the context: they compute the schedule, process all whole
 * blocks but the last 1..n bytes, hold those back, run the final step
 * unless a stream of the direction is open, and wipe the schedule. The
 * final steps process the held-back bytes (zero-padded to a block) and
 * write n bytes (ECB, CBC) or the bytes held (stream modes). Each returns a
 * status (VRT_ERROR_UNSUPPORTED for a context of another mode). */
VRT_API uint32_t gost15_ecb_encrypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_ecb_decrypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_cbc_encrypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_cbc_decrypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_cfb_encrypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_cfb_decrypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_ctr_crypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_ofb_crypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_ctr_acpkm_crypt(Gost15Ctx* ctx);
VRT_API uint32_t gost15_encrypt_final(Gost15Ctx* ctx);
VRT_API uint32_t gost15_decrypt_final(Gost15Ctx* ctx);
/* The MAC workers: gost15_mac (OMAC) and gost15_omac_acpkm run the chain over
 * the attached descriptors' whole blocks but the last 1..n bytes;
 * gost15_mac_final runs the final step of either MAC mode into the first
 * descriptor's out (n bytes) and clears the message. VRT_ERROR_BAD_PARAMETERS
 * for OMAC-ACPKM without its sizes, VRT_ERROR_UNSUPPORTED for another mode. */
VRT_API uint32_t gost15_mac(Gost15Ctx* ctx);
VRT_API uint32_t gost15_omac_acpkm(Gost15Ctx* ctx);
VRT_API uint32_t gost15_mac_final(Gost15Ctx* ctx);
/* gost15_key_conversion_ACPKM replaces the unmasked key in the context's key
 * buffer by its ACPKM conversion (the ECB encryption of 80 81 .. 9f under it)
 * and leaves the Kuznyechik encryption schedule of the new key in the round-key
 * area. gost15_key_prepare_ctr_acpkm applies the conversion once per key change
 * the CTR-ACPKM message has done so far and wipes the schedule. Both need the
 * key in place (inside a call) and return VRT_SUCCESS, or
 * VRT_ERROR_INVALID_ARGUMENT for a null or uninitialised ctx. */
VRT_API uint32_t gost15_key_conversion_ACPKM(Gost15Ctx* ctx);
VRT_API uint32_t gost15_key_prepare_ctr_acpkm(Gost15Ctx* ctx);
/* CTR15 adds 1 to the block_size-byte big-endian integer at ctr, wrapping
 * to zero after all 0xFF. */
VRT_API void CTR15(uint8_t* ctr, uint64_t block_size);

/* ---- schedule management on a cipher context ---- */

/* gost15_key_shedule_encrypt computes the Kuznyechik encryption schedule of
 * key (32 bytes) into the context's 160-byte round-key area; a Magma context
 * (8-byte blocks) has no schedule and is left alone. A null ctx or key does
 * nothing. */
VRT_API void gost15_key_shedule_encrypt(Gost15Ctx* ctx, const uint8_t* key);
/* gost15_key_shedule_decrypt: the same with the decryption schedule. */
VRT_API void gost15_key_shedule_decrypt(Gost15Ctx* ctx, const uint8_t* key);
/* gost15_key_shedule_clean overwrites the round-key area of a Kuznyechik
 * context with random bytes (vrt_memreset_s). Returns VRT_SUCCESS, or the
 * generator's status, in which case the area is zero-filled instead. Nothing to
 * do (0) for a Magma or null context. */
VRT_API uint32_t gost15_key_shedule_clean(Gost15Ctx* ctx);

/* ---- MGM ---- */

/* out = a * b in the field of the record (a, b and out may alias). */
typedef void (*vrt_gf_mul_fn)(void* out, const void* a, const void* b);
/* Adds 1 to one half of a block in place. */
typedef void (*vrt_block_incr_fn)(void* block);
/* Writes count length blocks (one per lane) for aad_len and text_len bytes. */
typedef void (*vrt_concat_len_fn)(void* out, uint64_t aad_len, uint64_t text_len, uint64_t count);

/* An MGM implementation as the mode code sees it: fourteen 64-bit slots. */
typedef struct vrt_aead_alg {
  uint64_t lanes;                 /* 1 */
  uint64_t block_size;            /* 16 or 8 */
  const void* reserved3;          /* slots 3 to 6: empty */
  const void* reserved4;
  const void* reserved5;
  const void* reserved6;
  vrt_gf_mul_fn mul;              /* multiplication in GF(2^128) or GF(2^64) */
  gost15_block_fn encrypt;        /* one block through the cipher */
  const void* reserved9;          /* empty */
  vrt_block_incr_fn incr_l;       /* +1 on the left half (authentication counter) */
  vrt_block_incr_fn incr_r;       /* +1 on the right half (encryption counter) */
  vrt_concat_len_fn concat_len;   /* the length block */
  vrt_xor_block_fn xor_block;
  vrt_copy_block_fn copy_block;
} vrt_aead_alg_t;

/* The two MGM records: Kuznyechik in GF(2^128), Magma (over the tc26 Z
 * S-box set) in GF(2^64). */
VRT_API extern const vrt_aead_alg_t AEAD_G1_KUZNECHIK;
VRT_API extern const vrt_aead_alg_t AEAD_G1_MAGMA;

VRT_API uint32_t vrtpAEADCtxAlloc(AeadCtx** ctx, uint32_t lanes, uint64_t block_size);
VRT_API uint32_t vrtpAEADCtxInit(AeadCtx* ctx, uint32_t lanes);
VRT_API uint32_t vrtpAEADCtxAllocInitialized(AeadCtx** ctx, uint32_t lanes, uint64_t block_size);
VRT_API void vrtpAEADCtxFree(AeadCtx* ctx);
VRT_API uint32_t vrtpAEADSetNonce(AeadCtx* ctx, const uint8_t* nonce);
VRT_API uint32_t vrtpAEADEncrypt(AeadCtx* ctx, AeadVec* text_vec, AeadVec* aad_vec, uint64_t count);
VRT_API uint32_t vrtpAEADDecrypt(AeadCtx* ctx, AeadVec* text_vec, AeadVec* aad_vec, uint64_t count);
VRT_API uint32_t vrtpAEADEncryptSimple(AeadCtx* ctx, const struct genkey* key, const uint8_t* in, uint8_t* out,
                                       uint64_t len, const uint8_t* aad, uint64_t aad_len);
VRT_API uint32_t vrtpAEADDecryptSimple(AeadCtx* ctx, const struct genkey* key, const uint8_t* in, uint8_t* out,
                                       uint64_t len, const uint8_t* aad, uint64_t aad_len);
VRT_API uint32_t vrtpAEADImitGetValue(AeadCtx* ctx, uint8_t* tag, uint64_t tag_len);
VRT_API uint32_t vrtpAEADImitSetValue(AeadCtx* ctx, const uint8_t* tag, uint64_t tag_len);
VRT_API uint32_t vrtpAEADEncryptUpdate(AeadCtx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len,
                                       uint32_t kind, uint8_t* out, uint64_t* out_len);
VRT_API uint32_t vrtpAEADEncryptFinal(AeadCtx* ctx, const struct genkey* key, uint8_t* out, uint64_t* out_len,
                                      uint8_t* tag, uint64_t tag_len);
VRT_API uint32_t vrtpAEADDecryptUpdate(AeadCtx* ctx, const struct genkey* key, const uint8_t* data, uint64_t len,
                                       uint32_t kind);
VRT_API uint32_t vrtpAEADDecryptFinal(AeadCtx* ctx, const struct genkey* key, uint8_t* out, uint64_t* out_len);
VRT_API uint32_t vrtpAEADSaveState(AeadCtx* ctx, uint8_t* blob, uint64_t* size);
VRT_API uint32_t vrtpAEADRestoreState(AeadCtx* ctx, const uint8_t* blob, uint64_t size);

/* mulGaloisField128 sets out = a * b in GF(2^128) modulo x^128 + x^7 + x^2 +
 * x + 1, for 16-byte big-endian values; mulGaloisField64 the same in GF(2^64)
 * modulo x^64 + x^4 + x^3 + x + 1 for 8-byte values. out may alias a or b.
 * Both run in time independent of the values: carry-less multiplication
 * where the processor has it, masked shift-and-add otherwise. */
VRT_API void mulGaloisField128(void* out, const void* a, const void* b);
VRT_API void mulGaloisField64(void* out, const void* a, const void* b);
/* Add 1, wrapping, to bytes 0..7 (L) or 8..15 (R) of a 16-byte block, or to
 * bytes 0..3 or 4..7 of an 8-byte block, as a big-endian number; the other
 * half is left alone. */
VRT_API void kuznechikCounterL(void* block);
VRT_API void kuznechikCounterR(void* block);
VRT_API void magmaCounterL(void* block);
VRT_API void magmaCounterR(void* block);
/* kuznechikConcatLen writes count 16-byte blocks, each the bit lengths
 * aad_len * 8 and text_len * 8 as two 64-bit big-endian numbers;
 * magmaConcatLen count 8-byte blocks, each the two bit lengths as 32-bit
 * big-endian numbers. Lengths beyond the mode's limit do not fit. */
VRT_API void kuznechikConcatLen(void* out, uint64_t aad_len, uint64_t text_len, uint64_t count);
VRT_API void magmaConcatLen(void* out, uint64_t aad_len, uint64_t text_len, uint64_t count);

/* aead_self_test runs the published MGM examples of both ciphers: streamed with
 * the state saved and restored between pieces, and in one call, both
 * directions. VRT_SUCCESS, VRT_ERROR_FAILED on a mismatch, or a failing call's
 * status. */
VRT_API uint32_t aead_self_test(vrtp_instance_t* instance);

/* --------------------------------------------------------------------------
 * ABI level: GOST 28147-89
 * -------------------------------------------------------------------------- */

/* ---- key record ---- */

/* An expanded key record (68 bytes). The block operations unmask the eight
 * key words into registers at the start of every call and never write them
 * back: with GOST89_KEY_XOR (which wins) word j is key[j] ^ mask[j]; with
 * GOST89_KEY_ADD it is key[j] - mask[j], or with GOST89_KEY_REVERSED as well
 * BSWAP32(key[7-j] - mask[7-j]); with neither it is key[j]. */
struct gost89_key {
  uint32_t key[8];
  uint32_t mask[8];
  uint32_t flags;
};

/* ---- S-box store ---- */

/* The eleven built-in sets, expanded by library initialisation. */
VRT_API extern gost89_sbox_t vrtpGost89Sboxtc26_gost_28147_param_Z;
VRT_API extern gost89_sbox_t vrtpGost89SboxGostR3411_94_TestParamSet;
VRT_API extern gost89_sbox_t vrtpGost89SboxGostR3411_94_CryptoProParamSet;
VRT_API extern gost89_sbox_t vrtpGost89SboxGost28147_89_TestParamSet;
VRT_API extern gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_A_ParamSet;
VRT_API extern gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_B_ParamSet;
VRT_API extern gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet;
VRT_API extern gost89_sbox_t vrtpGost89SboxGost28147_89_CryptoPro_D_ParamSet;
VRT_API extern gost89_sbox_t vrtpGost89Sboxgost_28147_NVQ_A;
VRT_API extern gost89_sbox_t vrtpGost89Sboxgost_28147_NVQ_003;
VRT_API extern gost89_sbox_t vrtpGost89Sboxgost_28147_NVQ_006;

/* vrtpGost89SboxPointer maps an identifier to its built-in set; any other
 * value is returned as the address itself (0 gives null). */
VRT_API gost89_sbox_t* vrtpGost89SboxPointer(uintptr_t id);
/* vrtpGost89SboxInitialized returns 1 when sbox is non-null and tagged, else 0. */
VRT_API uint32_t vrtpGost89SboxInitialized(const gost89_sbox_t* sbox);
VRT_API uint32_t vrtpGost89SboxInit(uintptr_t id, const uint8_t* packed);
VRT_API uint32_t vrtpGost89SboxFree(uintptr_t id);

/* gost89_sbox_init expands the eleven built-in sets (again if already
 * tagged), then creates the S-box lock; gost89_sbox_cleanup destroys the
 * lock. gost89_init runs gost89_sbox_init and gost89_arch_init, and on a
 * failure gost89_cleanup; gost89_cleanup runs gost89_arch_cleanup and
 * gost89_sbox_cleanup and leaves the tags and record pointers as they are.
 * gost89_arch_init selects the scalar scheduled record for single blocks,
 * then gost89_avx_init the AVX eight-block record when instance->cpu_enabled
 * has VRT_CPU_AVX, the AVX-512VL one when it has VRT_CPU_AVX512VL (single
 * blocks stay scalar, the faster form for one block).
 * gost89_arch_init_sbox (gost89_avx_init_sbox) writes the nibble-pair tables
 * of a set. All return VRT_SUCCESS. */
VRT_API uint32_t gost89_sbox_init(void);
VRT_API void gost89_sbox_cleanup(void);
VRT_API uint32_t gost89_init(vrtp_instance_t* instance);
VRT_API void gost89_cleanup(vrtp_instance_t* instance);
VRT_API uint32_t gost89_arch_init(vrtp_instance_t* instance);
VRT_API void gost89_arch_cleanup(vrtp_instance_t* instance);
VRT_API uint32_t gost89_avx_init(vrtp_instance_t* instance);
VRT_API uint32_t gost89_arch_init_sbox(gost89_sbox_t* sbox);
VRT_API uint32_t gost89_avx_init_sbox(gost89_sbox_t* sbox);

/* ---- block operations ---- */

/* Portable single-block operations; in and out may be the same buffer. The
 * MAC step runs the 16-round cycle on the 8-byte state after XORing in. */
VRT_API void gost89_encrypt_block(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox);
VRT_API void gost89_decrypt_block(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox);
VRT_API void gost89_mac_block(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox);
VRT_API void gost89_xor_block(const void* a, const void* b, void* out);
VRT_API void gost89_copy_block(const void* src, void* dst);
/* Eight blocks (64 bytes, block i at bytes 8i..8i+7) with eight key records
 * side by side, block i under record i; each block goes through the record
 * that vrtpGost89AlgG1ptr names at the time of the call. */
VRT_API void gost89_encrypt_block8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox);
VRT_API void gost89_decrypt_block8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox);
VRT_API void gost89_mac_block8(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox);
VRT_API void gost89_xor_block8(const void* a, const void* b, void* out);
VRT_API void gost89_copy_block8(const void* src, void* dst);

/* The scalar scheduled variant; tables is the address of T0 of the set
 * (tables[0] of a gost89_sbox_t, the four tables following). */
VRT_API void __gost89alu_encrypt_block(const void* in, void* out, const gost89_key_t* key, const uint32_t* tables);
VRT_API void __gost89alu_decrypt_block(const void* in, void* out, const gost89_key_t* key, const uint32_t* tables);
VRT_API void __gost89alu_mac_block(const void* in, void* state, const gost89_key_t* key, const uint32_t* tables);
VRT_API void __gost89alu_xor_block(const void* a, const void* b, void* out);
VRT_API void __gost89alu_copy_block(const void* src, void* dst);

/* The AVX variant: byte shuffles of the nibble-pair tables (pairs, the first
 * 64 bytes of a set's cpu area), no data-dependent memory access. The
 * eight-block forms read only the first key record and use it for all eight
 * blocks. Only call them where the processor has AVX. */
VRT_API void __gost89avx_encrypt_block(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx_decrypt_block(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx_mac_block(const void* in, void* state, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx_encrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx_decrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx_mac8(const void* in, void* state, const gost89_key_t* key, const uint8_t* pairs);

/* The eight-block forms on AVX-512VL: all eight blocks in one register per
 * half, the same substitution by shuffles; the first key record serves all
 * blocks. Only call them where VRT_CPU_AVX512VL is set. */
VRT_API void __gost89avx512_encrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx512_decrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);
VRT_API void __gost89avx512_mac8(const void* in, void* state, const gost89_key_t* key, const uint8_t* pairs);
/* Sixteen blocks (128 bytes) in 512-bit registers under the first key record;
 * only where VRT_CPU_AVX512VBMI (which includes AVX-512 BW) is set. The
 * counter mode uses it for long runs. */
VRT_API void __gost89avx512_encrypt16(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs);

/* The five records: portable single and eight blocks, scalar scheduled, AVX
 * single and eight blocks; and the two in use, chosen at initialisation
 * (before it: the portable ones). */
VRT_API extern const vrt_block_alg_t vrtpGost89AlgG1;
VRT_API extern const vrt_block_alg_t vrtpGost89AlgG8;
VRT_API extern const vrt_block_alg_t vrtpGost89AlgAluG1;
VRT_API extern const vrt_block_alg_t vrtpGost89AlgAvxG1;
VRT_API extern const vrt_block_alg_t vrtpGost89AlgAvxG8;
/* The AVX-512VL eight-block record, chosen over vrtpGost89AlgAvxG8 where the
 * processor has it. */
VRT_API extern const vrt_block_alg_t vrtpGost89AlgAvx512G8;
VRT_API extern const vrt_block_alg_t* vrtpGost89AlgG1ptr;
VRT_API extern const vrt_block_alg_t* vrtpGost89AlgG8ptr;

/* ---- cipher context and modes ---- */

VRT_API uint32_t vrtpGost89CtxAlloc(Gost89Ctx** ctx, uint32_t lanes);
VRT_API uint32_t vrtpGost89CtxInit(Gost89Ctx* ctx, uint32_t lanes, uintptr_t sbox_id);
VRT_API uint32_t vrtpGost89CtxAllocInitialized(Gost89Ctx** ctx, uint32_t lanes, uintptr_t sbox_id);
VRT_API void vrtpGost89CtxFree(Gost89Ctx* ctx);
VRT_API uint32_t vrtpGost89SetMode(Gost89Ctx* ctx, uint32_t mode, uint32_t flags);
VRT_API uint32_t vrtpGost89SetState(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_API uint32_t vrtpGost89SetStateSimple(Gost89Ctx* ctx, const uint8_t iv[8]);
VRT_API uint32_t vrtpGost89Encrypt(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_API uint32_t vrtpGost89Decrypt(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_API uint32_t vrtpGost89MAC(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count);
VRT_API uint32_t vrtpGost89EncryptSimple(Gost89Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                         uint8_t* out, uint64_t len);
VRT_API uint32_t vrtpGost89DecryptSimple(Gost89Ctx* ctx, const struct genkey* key, const uint8_t* in,
                                         uint8_t* out, uint64_t len);
VRT_API uint32_t vrtpGost89MACSimple(Gost89Ctx* ctx, const struct genkey* key, const uint8_t* in, uint64_t len);
VRT_API uint32_t vrtpGost89MACGetValue(Gost89Ctx* ctx, uint8_t* out);

/* gost89_self_test checks a two-block ECB answer on the tc26 Z set;
 * gost89_self_test_NVQ_SBOXes round-trips a block pair on each NVQ set.
 * VRT_SUCCESS, VRT_ERROR_FAILED on a mismatch, or a failing call's status. */
VRT_API uint32_t gost89_self_test(vrtp_instance_t* instance);
VRT_API uint32_t gost89_self_test_NVQ_SBOXes(vrtp_instance_t* instance);

/* --------------------------------------------------------------------------
 * ABI level: GOST R 34.10-2012 signatures and VKO
 * -------------------------------------------------------------------------- */

/* ---- integer constants ---- */

/* Little-endian numbers of the named width: 0, 1 and 256 (256 bits), 0, 1 and
 * 512 (512 bits), 0 (1024 bits). */
VRT_API extern const uint64_t C256_0[4];
VRT_API extern const uint64_t C256_1[4];
VRT_API extern const uint64_t C256_256[4];
VRT_API extern const uint64_t C512_0[8];
VRT_API extern const uint64_t C512_1[8];
VRT_API extern const uint64_t C512_512[8];
VRT_API extern const uint64_t C1024_0[16];

/* ---- BMI2 integer routines ----
 *
 * Fixed-width arithmetic on little-endian arrays of 64-bit words (4, 8 or 16
 * words for 256, 512 or 1024 bits). They execute MULX, SHLX and SHRX: call
 * them only where VRT_CPU_BMI2 is set in vrtpInstance.cpu_enabled. None
 * is constant-time. Unless a result pointer is named they work in place on
 * the first argument; a returned mask is all-ones (carry or borrow out) or 0.
 *
 * add_N(x, y): x = x + y mod 2^N. sub_N(x, y): x = x - y mod 2^N.
 * shl_N(x, bits), shr_N(x, bits): logical shifts; any count, N or more
 *   clears x. sar_N(x, bits): arithmetic shift right (bit N-1 fills).
 * shr_N_1(x, top): x = (top:x) >> 1 for top 0 or 1; returns the old bit 0.
 * mul_N(r, a, b): r (2N bits) += a*b; pass r zeroed for the plain product.
 * sqr_N(r, a): r (2N bits) = a*a.
 * muls_N(r, a, w): r (N+64 bits) = a*w for one word w.
 * div_N(x, d, rem): x = x / d and rem = x mod d (rem N bits). A zero d
 *   leaves quotient 0 and rem unchanged. No operand may alias another.
 * inv_N(u, v, cv, cu, w): runs the binary extended Euclidean loop in place
 *   until u = 0; with w odd, u = b, v = w, cu = 1, cv = 0 on entry, v ends
 *   as gcd(b, w) and, when that is 1, cv as b^-1 mod w. Returns at once
 *   when v is 0.
 * mont_mul_N(a, b, n0, p): a = a*b*2^-N mod p for odd p, a, b < p and
 *   n0 = -p^-1 mod 2^64; b may alias a. */
VRT_API uint64_t add_256(uint64_t* x, const uint64_t* y);
VRT_API uint64_t add_512(uint64_t* x, const uint64_t* y);
VRT_API uint64_t add_1024(uint64_t* x, const uint64_t* y);
VRT_API uint64_t sub_256(uint64_t* x, const uint64_t* y);
VRT_API uint64_t sub_512(uint64_t* x, const uint64_t* y);
VRT_API uint64_t sub_1024(uint64_t* x, const uint64_t* y);
VRT_API void shl_256(uint64_t* x, uint64_t bits);
VRT_API void shl_512(uint64_t* x, uint64_t bits);
VRT_API void shl_1024(uint64_t* x, uint64_t bits);
VRT_API void shr_256(uint64_t* x, uint64_t bits);
VRT_API void shr_512(uint64_t* x, uint64_t bits);
VRT_API void shr_1024(uint64_t* x, uint64_t bits);
VRT_API void sar_256(uint64_t* x, uint64_t bits);
VRT_API void sar_512(uint64_t* x, uint64_t bits);
VRT_API void sar_1024(uint64_t* x, uint64_t bits);
VRT_API uint64_t shr_256_1(uint64_t* x, uint64_t top);
VRT_API uint64_t shr_512_1(uint64_t* x, uint64_t top);
VRT_API uint64_t shr_1024_1(uint64_t* x, uint64_t top);
VRT_API void mul_256(uint64_t* r, const uint64_t* a, const uint64_t* b);
VRT_API void mul_512(uint64_t* r, const uint64_t* a, const uint64_t* b);
VRT_API void mul_1024(uint64_t* r, const uint64_t* a, const uint64_t* b);
VRT_API void sqr_256(uint64_t* r, const uint64_t* a);
VRT_API void sqr_512(uint64_t* r, const uint64_t* a);
VRT_API void sqr_1024(uint64_t* r, const uint64_t* a);
VRT_API void muls_256(uint64_t* r, const uint64_t* a, uint64_t w);
VRT_API void muls_512(uint64_t* r, const uint64_t* a, uint64_t w);
VRT_API void muls_1024(uint64_t* r, const uint64_t* a, uint64_t w);
VRT_API void div_256(uint64_t* x, const uint64_t* d, uint64_t* rem);
VRT_API void div_512(uint64_t* x, const uint64_t* d, uint64_t* rem);
VRT_API void div_1024(uint64_t* x, const uint64_t* d, uint64_t* rem);
VRT_API void inv_256(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w);
VRT_API void inv_512(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w);
VRT_API void inv_1024(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w);
VRT_API void mont_mul_256(uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p);
VRT_API void mont_mul_512(uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p);

/* ---- the reference implementation ----
 *
 * A plain, slow realisation of the same operations on the parameter
 * records, computing through the dispatch table (initialise the library
 * first: before that the operations return VRT_ERROR_NOT_INITIALIZED). The
 * sign2001_ functions take 256-bit keys, the sign2012_ ones 512-bit keys;
 * sign2012_sign, _verify, _create_pub_key, _generate_pair and _generate_VKO
 * pick by the record's size. Byte formats as above, with these differences:
 * signing reduces the nonce modulo q (a multiple of q gives
 * VRT_ERROR_SIGNATURE) and a context's flags bit 0 selects big-endian
 * signature halves (set by __sign2012_ctx_init; clear, the halves are
 * little-endian). Peer keys of VKO are checked as above. */
typedef struct Sign2012Ctx Sign2012Ctx;
struct binstr;

/* sign2012_ctx_alloc makes a context with a key pair (secret of key_len bytes
 * and the given mask kind, public key of public_len bytes) and a nonce buffer
 * of nonce_len bytes (none for 0). VRT_ERROR_INVALID_ARGUMENT for a null out,
 * VRT_ERROR_NO_MEMORY. Release it with sign2012_ctx_free. */
VRT_API uint32_t sign2012_ctx_alloc(Sign2012Ctx** out, uint64_t key_len, uint32_t kind, uint64_t public_len,
                                    uint64_t nonce_len);
/* sign2012_ctx_free wipes the secret key and the nonce and frees ctx (null
 * accepted). */
VRT_API void sign2012_ctx_free(Sign2012Ctx* ctx);
/* __sign2012_ctx_init sets the parameter record and big-endian signature
 * halves. VRT_ERROR_INVALID_ARGUMENT for a null ctx or par. */
VRT_API uint32_t __sign2012_ctx_init(Sign2012Ctx* ctx, const sign2012_par_t* par);
/* sign2012_info_load loads whichever of these are given: the secret key with
 * its optional mask (genkey_load, stored as given), the public key and the
 * nonce (binstr_copy: VRT_ERROR_LENGTH for another length).
 * VRT_ERROR_INVALID_ARGUMENT for a null ctx, VRT_ERROR_FAILED when nothing is
 * given, else the first failing status. */
VRT_API uint32_t sign2012_info_load(Sign2012Ctx* ctx, const struct binstr* secret, const struct binstr* secret_mask,
                                    const struct binstr* public_key, const struct binstr* nonce);
/* sign2012_sign signs with the loaded nonce: VRT_SUCCESS, VRT_ERROR_SIGNATURE
 * for r = 0 or s = 0, VRT_ERROR_FAILED when d is a multiple of q,
 * VRT_ERROR_INVALID_ARGUMENT for a missing context part or an unknown key size,
 * VRT_ERROR_NOT_INITIALIZED before initialisation. */
VRT_API uint32_t sign2012_sign(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature);
/* sign2012_verify checks a signature against the loaded public key: VRT_SUCCESS
 * valid, VRT_ERROR_FAILED invalid. */
VRT_API uint32_t sign2012_verify(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature);
/* sign2012_create_pub_key writes d*G into the key pair's public key:
 * VRT_SUCCESS, VRT_ERROR_FAILED when d is a multiple of q. */
VRT_API uint32_t sign2012_create_pub_key(Sign2012Ctx* ctx);
/* sign2012_generate_pair takes L random bytes as d (reduced modulo q), writes
 * d*G into the public key and d, masked, into the secret: VRT_SUCCESS,
 * VRT_ERROR_INVALID_ARGUMENT for missing parts or a zero value,
 * VRT_ERROR_FAILED when the value is a multiple of q. */
VRT_API uint32_t sign2012_generate_pair(Sign2012Ctx* ctx, const uint8_t* secret);
/* sign2012_generate_VKO writes the 2L-byte shared point of the loaded secret,
 * the loaded UKM (1 when none) and the peer key: VRT_SUCCESS, or
 * VRT_ERROR_INVALID_ARGUMENT for a peer key off the curve or a shared point at
 * infinity. */
VRT_API uint32_t sign2012_generate_VKO(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key);

VRT_API uint32_t sign2001_create_DS(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature);
VRT_API uint32_t sign2001_check_DS(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature);
VRT_API uint32_t sign2001_gen_pub_key(Sign2012Ctx* ctx);
VRT_API uint32_t sign2001_gen_key_pair(Sign2012Ctx* ctx, const uint8_t* random);
VRT_API uint32_t sign2001_VKO_256(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key);
VRT_API uint32_t sign2012_create_DS(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature);
VRT_API uint32_t sign2012_check_DS_512_bit(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature);
VRT_API uint32_t sign2012_gen_pub_key(Sign2012Ctx* ctx);
VRT_API uint32_t sign2012_gen_key_pair(Sign2012Ctx* ctx, const uint8_t* random);
VRT_API uint32_t sign2012_VKO_512(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key);

/* sign2012_generate_pair_example writes the 2L-byte public key of an L-byte
 * secret (L from par). VRT_ERROR_INVALID_ARGUMENT for null arguments, else as
 * sign2012_generate_pair. */
VRT_API uint32_t sign2012_generate_pair_example(const uint8_t* secret, uint8_t* public_out,
                                                const sign2012_par_t* par);
/* sign2012_VKO_example computes the VKO key: the shared point of the secret,
 * the UKM (ukm_len bytes, at most L; 1 when empty) and the peer key, hashed
 * with Streebog into out_len (32 or 64) bytes of out.
 * VRT_ERROR_INVALID_ARGUMENT for bad arguments or a peer key off the curve. */
VRT_API uint32_t sign2012_VKO_example(const uint8_t* ukm, uint64_t ukm_len, const uint8_t* secret,
                                      const uint8_t* peer_key, uint32_t out_len, const sign2012_par_t* par,
                                      uint8_t* out);
/* sign2012_self_test checks the signature examples of GOST R 34.10-2012 and two
 * stored cases, and the VKO examples of RFC 7836: VRT_SUCCESS, VRT_ERROR_FAILED
 * on a wrong result, or a failing call's status. */
VRT_API uint32_t sign2012_self_test(vrtp_instance_t* instance);
/* The rotate functions reverse the byte order of each half of a 64- (2001)
 * or 128-byte (2012) signature in place: little-endian halves to big-endian
 * and back. */
VRT_API void sign2001_rotate_DS_RFC4490(uint8_t* sig);
VRT_API void sign2012_rotate_DS_TC26(uint8_t* sig);

/* The reference arithmetic on little-endian numbers of 32 (sign2001_,
 * _256_bit) or 64 (sign2012_, _512_bit) bytes, through the dispatch table.
 * cmp: 0 a < b, 2 equal, 4 a > b (cmp_0 and cmp_1 compare with 0 and 1).
 * add, sub: r = a + b (a - b), returning the carry (borrow). shr, shl: by one
 * bit, returning the bit shifted out. mod_p: x = x mod m by repeated
 * subtraction. add_mod_p, sub_mod_p, mul_mod_p: for a, b < m. div_mod_p:
 * x = b/x mod m (b = 1 when null; 0 when x has no inverse). Points are 2L
 * bytes, x then y, affine, (0, 0) the point at infinity; mul_2_EP doubles,
 * add_EP adds other to point, mul_k_EP writes k*g (either output may be
 * null). a and p are the curve's coefficient and prime.
 * sign2012_div_complete_512_bit: quot = a / b by repeated subtraction; 0 when
 * b divides a exactly, else 1. */
VRT_API uint32_t sign2001_cmp_256_bit(const void* a, const void* b);
VRT_API uint32_t sign2001_cmp_0_256_bit(const void* a);
VRT_API uint32_t sign2001_cmp_1_256_bit(const void* a);
VRT_API uint32_t sign2001_add_256_bit(void* r, const void* a, const void* b);
VRT_API uint32_t sign2001_sub_256_bit(void* r, const void* a, const void* b);
VRT_API uint32_t sign2001_shr_256_bit(void* r, const void* a);
VRT_API void sign2001_mod_p_256_bit(void* x, const void* m);
VRT_API void sign2001_add_mod_p_256_bit(void* r, const void* a, const void* b, const void* m);
VRT_API void sign2001_sub_mod_p_256_bit(void* r, const void* a, const void* b, const void* m);
VRT_API void sign2001_mul_mod_p_256_bit(void* r, const void* a, const void* b, const void* m);
VRT_API void sign2001_div_mod_p_256_bit(void* x, const void* b, const void* m);
VRT_API void sign2001_mul_2_EP_256_bit(void* point, const void* a, const void* p);
VRT_API void sign2001_add_EP_256_bit(void* point, const void* other, const void* a, const void* p);
VRT_API void sign2001_mul_k_EP_256_bit(const void* k, const void* g, void* out_x, void* out_y, const void* a,
                                       const void* p);
VRT_API uint32_t sign2012_cmp_512_bit(const void* a, const void* b);
VRT_API uint32_t sign2012_cmp_0_512_bit(const void* a);
VRT_API uint32_t sign2012_cmp_1_512_bit(const void* a);
VRT_API uint32_t sign2012_add_512_bit(void* r, const void* a, const void* b);
VRT_API uint32_t sign2012_sub_512_bit(void* r, const void* a, const void* b);
VRT_API uint32_t sign2012_shr_512_bit(void* r, const void* a);
VRT_API uint32_t sign2012_shl_512_bit(void* r, const void* a);
VRT_API void sign2012_mod_p_512_bit(void* x, const void* m);
VRT_API void sign2012_add_mod_p_512_bit(void* r, const void* a, const void* b, const void* m);
VRT_API void sign2012_sub_mod_p_512_bit(void* r, const void* a, const void* b, const void* m);
VRT_API void sign2012_mul_mod_p_512_bit(void* r, const void* a, const void* b, const void* m);
VRT_API void sign2012_div_mod_p_512_bit(void* x, const void* b, const void* m);
VRT_API void sign2012_mul_2_EP_512_bit(void* point, const void* a, const void* p);
VRT_API void sign2012_add_EP_512_bit(void* point, const void* other, const void* a, const void* p);
VRT_API void sign2012_mul_k_EP_512_bit(const void* k, const void* g, void* out_x, void* out_y, const void* a,
                                       const void* p);
VRT_API uint32_t sign2012_div_complete_512_bit(void* quot, const void* a, const void* b);

/* --------------------------------------------------------------------------
 * ABI level: keys, byte strings and the random generator
 * -------------------------------------------------------------------------- */

/* ---- byte strings ---- */

/* __binstr_init points b at length bytes at data; nothing else. */
VRT_API void __binstr_init(binstr_t* b, void* data, uint64_t length);

/* ---- entropy estimation ---- */

VRT_API int64_t fixed_point_create(int64_t n);           /* n * 2^20 */
VRT_API int64_t fixed_point_get(int64_t x);              /* nearest integer, halves up */
VRT_API int64_t fixed_point_add(int64_t a, int64_t b);
VRT_API int64_t fixed_point_sub(int64_t a, int64_t b);
VRT_API int64_t fixed_point_neg(int64_t a);
VRT_API int64_t fixed_point_mul(int64_t a, int64_t b);   /* (a * b) >> 20 */
VRT_API int64_t fixed_point_div(int64_t a, int64_t b);   /* (a << 20) / b, b nonzero */
VRT_API int fixed_point_less(int64_t a, int64_t b);
VRT_API int fixed_point_less_num(int64_t a, int64_t n);
VRT_API int fixed_point_equals_num(int64_t a, int64_t n);
/* fixed_point_sqrt returns the largest r with (r * r) >> 20 <= x (x >= 0). */
VRT_API int64_t fixed_point_sqrt(int64_t x);
/* fixed_point_log2 returns log2 x for x > 0 by the series of ln; 0 for x <= 0. */
VRT_API int64_t fixed_point_log2(int64_t x);
/* calculate_entropy_portion credits one sample (about ten bits per class) with
 * entropy bits; 0xFFFFFFFF for a failed estimate. */
VRT_API uint32_t calculate_entropy_portion(const random_pool_t* sample, uint32_t period);

#ifdef __cplusplus
} /* extern "C" */

#include <cwchar>
#include <locale>
#include <string>
#include <vector>

/* The helpers that take and return C++ strings. Their names are exported
 * unmangled like every other function of the library. */
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
extern "C" {

/* Encode returns the Base64 text (RFC 4648 alphabet, '=' padding, no line
 * breaks) of len bytes at data; "" for len 0. Raises "EncodeGetRequiredLength"
 * when len exceeds INT_MAX / 4, "Encode" for a null data with a nonzero len. */
VRT_API std::wstring Encode(const unsigned char* data, size_t len);
/* EncodeGetRequiredLength returns the narrow-character capacity that encoding
 * len bytes is given: the encoded length plus room for line breaks every 76
 * characters. Raises "EncodeGetRequiredLength" when 4 * len exceeds INT_MAX. */
VRT_API int EncodeGetRequiredLength(size_t len);
/* Decode returns the bytes of Base64 text. Characters outside the alphabet
 * (white space, line breaks, anything else) are skipped; the first '=' ends
 * the data and what follows it is ignored. A last group of 2 or 3 characters
 * gives 1 or 2 bytes, a single leftover character none. Raises "iconv failed:
 * UTF-32LE to UTF-8" when the text holds a wchar_t that is no Unicode scalar
 * value (a surrogate, or above U+10FFFF). */
VRT_API std::vector<unsigned char> Decode(const std::wstring& text);
/* DecodeGetRequiredLength returns len: a bound on the bytes that len
 * characters of Base64 decode to. */
VRT_API size_t DecodeGetRequiredLength(size_t len);

/* toWideChar converts NUL-terminated UTF-8 to a wide string, fromWideChar a
 * NUL-terminated wide string to UTF-8 (a null pointer gives ""). Invalid input
 * raises "iconv failed: UTF-8 to UTF-32LE" or "iconv failed: UTF-32LE to
 * UTF-8". */
VRT_API std::wstring toWideChar(const char* utf8);
VRT_API std::string fromWideChar(const wchar_t* wide);
/* recode converts in_len bytes at in from the iconv character set `from` to
 * `to` into out, which holds *out_len bytes; *out_len becomes the number of
 * bytes written. Returns true when everything was converted; false when the
 * sets are unknown, the input is invalid in `from` or has a character `to`
 * lacks, or out is too small (what was converted before stays written). */
VRT_API bool recode(const char* in, size_t in_len, const char* from, char* out, size_t* out_len, const char* to);
/* utf8_string_offset returns the byte offset in the UTF-8 text s at which code
 * point n (from 0) begins: 0 for n <= 0, s.size() when s has n or fewer code
 * points. Never reads outside s. */
VRT_API int utf8_string_offset(const std::string& s, int n);

} /* extern "C" */
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

/* utf8_codecvt_facet converts between wide characters and UTF-8 for wide
 * streams and std::wstring_convert, for example
 *   std::wifstream in; in.imbue(std::locale(in.getloc(), new utf8_codecvt_facet));
 * Stateless; overlong forms, surrogates, values above U+10FFFF and stray
 * continuation bytes are errors both ways. */
class VRT_API utf8_codecvt_facet : public std::codecvt<wchar_t, char, std::mbstate_t> {
 public:
  explicit utf8_codecvt_facet(std::size_t refs = 0);
  /* Public, so that std::wstring_convert can own one. */
  ~utf8_codecvt_facet() override;

 protected:
  result do_in(std::mbstate_t& state, const char* from, const char* from_end, const char*& from_next,
               wchar_t* to, wchar_t* to_end, wchar_t*& to_next) const override;
  result do_out(std::mbstate_t& state, const wchar_t* from, const wchar_t* from_end, const wchar_t*& from_next,
                char* to, char* to_end, char*& to_next) const override;
  result do_unshift(std::mbstate_t& state, char* to, char* to_end, char*& to_next) const override;
  int do_encoding() const noexcept override;
  bool do_always_noconv() const noexcept override;
  int do_length(std::mbstate_t& state, const char* from, const char* from_end, std::size_t max) const override;
  int do_max_length() const noexcept override;
};
#endif /* __cplusplus */

#endif /* VRT_H */
