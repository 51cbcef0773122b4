/* vrt.h - the public interface of libvrt.
 *
 * GOST cryptography for Linux x86-64: Streebog and GOST R 34.11-94, HMAC and
 * key derivation, Kuznyechik and Magma in the GOST R 34.13-2015 modes, MGM,
 * GOST 28147-89, GOST R 34.10-2012 signatures and VKO, a self-seeding random
 * generator and masked key storage.
 *
 * Every function returns an unsigned 32-bit status (VRT_SUCCESS is 0) unless
 * its comment says otherwise. Initialise the library with vrtInit or
 * vrtInitRunTests before calling any algorithm function; the algorithm
 * functions do not check it. Usable from C and C++. */
#ifndef VRT_H
#define VRT_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define VRT_API __attribute__((visibility("default")))
#else
#define VRT_API
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

/* vrtInit initialises the library without self-tests: the dispatch table and
 * processor probe, the platform layer, the cipher tables, the memory-wipe
 * generator, then the main random generator. Returns 0, or the status of the
 * first step that failed, in which case every layer is rolled back. Calling it
 * on an initialised library does nothing and returns 0. Thread-safe. */
VRT_API uint32_t vrtInit(void);
/* vrtInitRunTests is vrtInit followed by every known-answer self-test; a
 * failing test's status is returned and the initialisation rolled back. */
VRT_API uint32_t vrtInitRunTests(void);
/* vrtCleanup tears the library down. Contexts, keys and signer handles must be
 * released before. Harmless on an uninitialised library. */
VRT_API void vrtCleanup(void);
/* vrtStatus returns 0 when the library is initialised, else 6. */
VRT_API uint32_t vrtStatus(void);
/* vrtTest runs the self-tests on an initialised library (6 if it is not). A
 * failure is reported and leaves the library initialised. */
VRT_API uint32_t vrtTest(void);
/* vrtGetVersion returns 0x10100 (major, minor, patch one byte each). */
VRT_API uint32_t vrtGetVersion(void);
/* vrtGetVersionStr returns the static text "1.1.0". */
VRT_API const char* vrtGetVersionStr(void);

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
 * returns the first nonzero status; vrtpRandomTest returns 0. */
VRT_API uint32_t vrtpCryptoTest(vrtp_instance_t* instance);
VRT_API uint32_t vrtpRandomTest(vrtp_instance_t* instance);

/* ---- processor probe and platform ---- */

/* __get_cpuid runs CPUID with EAX = leaf and stores EAX, EBX, ECX, EDX in
 * regs[0..3]; __get_cpuidex also sets ECX = subleaf. */
VRT_API void __get_cpuid(uint32_t regs[4], uint32_t leaf);
VRT_API void __get_cpuidex(uint32_t regs[4], uint32_t leaf, uint32_t subleaf);
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

/* ==========================================================================
 * Secure memory
 * ========================================================================== */

/* vrt_memset_s fills count bytes of dest with the low byte of ch, with stores
 * the compiler cannot drop. Returns 0, or VRT_ERROR_BAD_BUFFER (nothing
 * written) when dest is null, destsz is negative or smaller than count. */
VRT_API uint32_t vrt_memset_s(void* dest, int64_t destsz, int ch, uint64_t count);
/* vrt_memreset_s overwrites size bytes of dest with bytes of the library's
 * memory-wipe generator. Returns 0, VRT_ERROR_BAD_BUFFER for a null dest or a
 * negative size, or the generator's status (the bytes written so far stay). */
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
 * VRT_ALG_HASH2012_256/512). Returns 3 for any other size. */
VRT_API uint32_t vrtGostHash2012Init(hash2012_ctx_t* ctx, uint32_t size);
/* vrtGostHash2012Update absorbs length bytes (data may be null when length is
 * 0). Returns 6 on a finalised context, 3 for a null context or data. */
VRT_API uint32_t vrtGostHash2012Update(hash2012_ctx_t* ctx, const uint8_t* data, uint64_t length);
/* vrtGostHash2012Finalize writes the 32- or 64-byte digest; on a finalised
 * context it writes the same digest again. */
VRT_API uint32_t vrtGostHash2012Finalize(hash2012_ctx_t* ctx, uint8_t* digest);
/* vrtGostHash2012SaveState writes the 259-byte snapshot of ctx. A null blob
 * asks for the size (*size = 259); *size other than 259 gives 3. */
VRT_API uint32_t vrtGostHash2012SaveState(hash2012_ctx_t* ctx, uint8_t* blob, uint64_t* size);
/* vrtGostHash2012RestoreState loads a snapshot: 3 for a null blob or a bad
 * buffered count, 12 for a blob shorter than 259 bytes, 5 for a version other
 * than 1. On any failure ctx is left as it was. Extra bytes are ignored. */
VRT_API uint32_t vrtGostHash2012RestoreState(hash2012_ctx_t* ctx, const uint8_t* blob, uint64_t size);

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

/* ==========================================================================
 * GOST R 34.12-2015 ciphers: Kuznyechik, Magma, modes, MAC, MGM
 * ========================================================================== */

/* ==========================================================================
 * GOST 28147-89
 * ========================================================================== */

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

/* ---- signers ----
 *
 * A signer handle holds one parameter set, a masked copy of a secret key d,
 * a public key Q and, by default, fixed-base tables (on a 256-bit set
 * 80 MiB for signing, built by vrtSignerInit, and 80 MiB for verification,
 * built for each new public key; 2.25 MiB each on a 512-bit set). L is 32
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
 * A public key or peer key that is not a point of the curve (a coordinate
 * of p or more, off the curve equation, or the all-zero point at infinity)
 * is refused with VRT_ERROR_INVALID_ARGUMENT. On the two sets with cofactor
 * 4 (TC26 256-bit A and 512-bit C) a public key must also have order q, and
 * a VKO peer key is multiplied by the cofactor before use. Null handles and buffers give
 * VRT_ERROR_INVALID_ARGUMENT. The secret key is unmasked only for the length
 * of a call and the plain copy is wiped before the call returns. A handle
 * is used by one thread at a time; distinct handles are independent. These
 * functions take no library lock; initialise the library first (a handle
 * made before initialisation uses the slow reference code). */
typedef struct SignerHandle SignerHandle;
struct genkey;

/* vrtSignerInit creates a handle for a parameter set and stores it in
 * *handle_out; with the default settings it also builds the signing table
 * (0.6 s on a 256-bit set). Returns 0 (also when the optional table could not
 * be allocated: signing is then slower), VRT_ERROR_UNSUPPORTED for a set
 * above 13, VRT_ERROR_NO_MEMORY, VRT_ERROR_INVALID_ARGUMENT for a null
 * handle_out. After 5 or a failed signer allocation the empty handle is still
 * stored and must be released. The caller owns the handle. */
VRT_API uint32_t vrtSignerInit(SignerHandle** handle_out, Parameter set);
/* vrtSignerImportSecretKey takes a copy of a secret key of L bytes: a
 * masked record is copied as it is, a plain (kind 0) one is masked under a
 * fresh random mask. The caller's record is not kept. Returns 0;
 * VRT_ERROR_LENGTH for another key length and VRT_ERROR_INVALID_ARGUMENT for
 * a record without key bytes (the previous key stays); the generator's
 * status when a plain key cannot be masked (the handle then has no key). */
VRT_API uint32_t vrtSignerImportSecretKey(SignerHandle* handle, const struct genkey* key);
/* vrtSignerCreatePublicKey computes Q = d*G (and its verification table).
 * Returns 0, VRT_ERROR_NOT_INITIALIZED before a secret key is imported,
 * VRT_ERROR_FAILED when d is a multiple of q (the key is unusable). */
VRT_API uint32_t vrtSignerCreatePublicKey(SignerHandle* handle);
/* vrtSignerImportPublicKey sets Q from 2L bytes (and builds its
 * verification table). Returns 0, or VRT_ERROR_INVALID_ARGUMENT for a key
 * that is not a point of the curve or, on a cofactor-4 set, not of order q
 * (the previous key stays). */
VRT_API uint32_t vrtSignerImportPublicKey(SignerHandle* handle, const uint8_t* key);
/* vrtSignerExportPublicKey writes Q in 2L bytes. Returns 0, or
 * VRT_ERROR_NOT_INITIALIZED (nothing written) when the handle has no public
 * key. */
VRT_API uint32_t vrtSignerExportPublicKey(SignerHandle* handle, uint8_t* key);
/* vrtSignerSign signs an L-byte digest with the L-byte nonce into 2L bytes.
 * Returns 0; VRT_ERROR_NOT_INITIALIZED before a secret key is imported;
 * VRT_ERROR_INVALID_ARGUMENT for a nonce of 0 or q or more (draw another);
 * VRT_ERROR_FAILED when r or s came out zero (draw another nonce) or d is a
 * multiple of q. A handle made before library initialisation reduces the
 * nonce modulo q instead and reports r = 0 or s = 0 as VRT_ERROR_SIGNATURE.
 * Nothing is written on failure. */
VRT_API uint32_t vrtSignerSign(SignerHandle* handle, const uint8_t* digest, const uint8_t* nonce,
                               uint8_t* signature);
/* vrtSignerVerify returns 0 for a valid signature of the digest under Q, and
 * VRT_ERROR_FAILED for any invalid one (r or s of 0, q or more is refused
 * before any computation) and when the handle has no public key. */
VRT_API uint32_t vrtSignerVerify(SignerHandle* handle, const uint8_t* digest, const uint8_t* signature);
/* vrtSignerGenerateVKO computes the shared point (UKM * cofactor * d mod q)
 * * P for the peer's public key P, as (UKM * d mod q) * (cofactor * P).
 * Returns 0; VRT_ERROR_NOT_INITIALIZED before a secret key is imported;
 * VRT_ERROR_INVALID_ARGUMENT, nothing written, for a peer key that is not a
 * point of the curve or when the shared point is the point at infinity (a
 * UKM that is a multiple of q, a peer point of small order). */
VRT_API uint32_t vrtSignerGenerateVKO(SignerHandle* handle, const uint8_t* ukm, const uint8_t* peer_key,
                                      uint8_t* result);
/* vrtSignerRelease wipes the secret key and frees the handle, its signer and
 * its tables. Null is accepted. */
VRT_API void vrtSignerRelease(SignerHandle* handle);

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

/* sign2012_ctx_alloc makes a context with a key pair (secret of key_len
 * bytes and the given mask kind, public key of public_len bytes) and a
 * nonce buffer of nonce_len bytes (none for 0). 3 for a null out,
 * VRT_ERROR_NO_MEMORY. Release it with sign2012_ctx_free. */
VRT_API uint32_t sign2012_ctx_alloc(Sign2012Ctx** out, uint64_t key_len, uint32_t kind, uint64_t public_len,
                                    uint64_t nonce_len);
/* sign2012_ctx_free wipes the secret key and the nonce and frees ctx (null
 * accepted). */
VRT_API void sign2012_ctx_free(Sign2012Ctx* ctx);
/* __sign2012_ctx_init sets the parameter record and big-endian signature
 * halves. 3 for a null ctx or par. */
VRT_API uint32_t __sign2012_ctx_init(Sign2012Ctx* ctx, const sign2012_par_t* par);
/* sign2012_info_load loads whichever of these are given: the secret key
 * with its optional mask (genkey_load, stored as given), the public key and
 * the nonce (binstr_copy: 12 for another length). 3 for a null ctx, 1 when
 * nothing is given, else the first failing status. */
VRT_API uint32_t sign2012_info_load(Sign2012Ctx* ctx, const struct binstr* secret, const struct binstr* secret_mask,
                                    const struct binstr* public_key, const struct binstr* nonce);
/* sign2012_sign signs with the loaded nonce: 0, 11 for r = 0 or s = 0, 1
 * when d is a multiple of q, 3 for a missing context part or an unknown key
 * size, 6 before initialisation. */
VRT_API uint32_t sign2012_sign(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature);
/* sign2012_verify checks a signature against the loaded public key: 0 valid,
 * 1 invalid. */
VRT_API uint32_t sign2012_verify(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature);
/* sign2012_create_pub_key writes d*G into the key pair's public key: 0, 1
 * when d is a multiple of q. */
VRT_API uint32_t sign2012_create_pub_key(Sign2012Ctx* ctx);
/* sign2012_generate_pair takes L random bytes as d (reduced modulo q),
 * writes d*G into the public key and d, masked, into the secret: 0, 3 for
 * missing parts or a zero value, 1 when the value is a multiple of q. */
VRT_API uint32_t sign2012_generate_pair(Sign2012Ctx* ctx, const uint8_t* secret);
/* sign2012_generate_VKO writes the 2L-byte shared point of the loaded
 * secret, the loaded UKM (1 when none) and the peer key: 0, or 3 for a peer
 * key off the curve or a shared point at infinity. */
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
 * secret (L from par). 3 for null arguments, else as sign2012_generate_pair. */
VRT_API uint32_t sign2012_generate_pair_example(const uint8_t* secret, uint8_t* public_out,
                                                const sign2012_par_t* par);
/* sign2012_VKO_example computes the VKO key: the shared point of the secret,
 * the UKM (ukm_len bytes, at most L; 1 when empty) and the peer key, hashed
 * with Streebog into out_len (32 or 64) bytes of out. 3 for bad arguments or
 * a peer key off the curve. */
VRT_API uint32_t sign2012_VKO_example(const uint8_t* ukm, uint64_t ukm_len, const uint8_t* secret,
                                      const uint8_t* peer_key, uint32_t out_len, const sign2012_par_t* par,
                                      uint8_t* out);
/* sign2012_self_test checks the signature examples of GOST R 34.10-2012 and
 * two stored cases, and the VKO examples of RFC 7836: 0, 1 on a wrong
 * result, or a failing call's status. */
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

/* __binstr_init points b at length bytes at data; nothing else. */
VRT_API void __binstr_init(binstr_t* b, void* data, uint64_t length);
/* binstr_alloc gives b a new uninitialised heap block of length bytes.
 * 3 for a null b; 7 when the allocation fails, b unchanged. */
VRT_API uint32_t binstr_alloc(binstr_t* b, uint64_t length);
/* binstr_realloc resizes b's block, keeping the contents up to the smaller
 * length. 3 for a null b; 7 on failure, b and its old block unchanged. */
VRT_API uint32_t binstr_realloc(binstr_t* b, uint64_t length);
/* binstr_free releases b's block and empties b; nothing for an empty b. */
VRT_API void binstr_free(binstr_t* b);
/* binstr_dup allocates dst and copies src into it (3 for null records, 7). */
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
/* binstr_copy copies count bytes from src into b's bytes: 3 for a null b, b
 * data or src; 12 when count differs from b's length (nothing copied). */
VRT_API uint32_t binstr_copy(binstr_t* b, const void* src, uint64_t count);

/* ---- masked keys ---- */

#define GOST89_KEY_XOR       UINT32_C(1) /* stored = plain XOR mask */
#define GOST89_KEY_ADD       UINT32_C(2) /* stored = plain + mask, per 32-bit word */
#define GOST89_KEY_REVERSED  UINT32_C(4) /* GOST 28147-89 key records only */
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
 * length bytes of the given kind. 3 for a null g or a size that overflows; 7
 * when the allocation fails (g stays zeroed). */
VRT_API uint32_t genkey_alloc(genkey_t* g, uint64_t length, uint32_t kind);
/* genkey_load copies a plain key from src and, when mask_src and its data are
 * given, the mask from mask_src, then fills the filler with random bytes. The
 * key stays plain until genkey_mask. 3 for a null g, g key, src or src data;
 * 12 when src or mask_src declares fewer bytes than g holds. */
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
 * failure everything is released and the status (3 or 7) returned. */
VRT_API uint32_t genkey_pair_alloc(genkey_pair_t* p, uint64_t secret_length, uint32_t kind,
                                   uint64_t public_length);
/* genkey_pair_free releases the public bytes (unwiped) and frees the secret. */
VRT_API void genkey_pair_free(genkey_pair_t* p);
/* genkey_pair_wipe wipes the secret and overwrites the public bytes. */
VRT_API void genkey_pair_wipe(genkey_pair_t* p);
/* genkey_pair_sec_load is genkey_load on p's secret (3 for a null p). */
VRT_API uint32_t genkey_pair_sec_load(genkey_pair_t* p, const binstr_t* src, const binstr_t* mask_src);

/* ---- entropy estimation and statistical tests ---- */

/* Signed 64-bit fixed-point numbers with 20 fraction bits (1.0 = 0x100000). */
#define VRT_FIXED_ONE INT64_C(0x100000)

/* An entropy pool, or a sample of the same shape: a bit count (at most 1024)
 * and the bits, bit j being bit j % 8 of byte j / 8. */
typedef struct random_pool {
  uint32_t bits;
  uint8_t data[128];
} random_pool_t;

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

/* random_stat_collect counts over the first 8 * bytes bits of data: the ones,
 * the positions j with bit j != bit j + lag, and the longest runs of ones and
 * of zeros. Each output is optional and set to 0 first. 3 when bytes is 0 or
 * every output is null. */
VRT_API uint32_t random_stat_collect(const uint8_t* data, uint64_t bytes, uint32_t* ones, uint32_t lag,
                                     uint32_t* autocorrelation, uint32_t* longest_ones,
                                     uint32_t* longest_zeros);
/* random_dynamic_test checks one 32-byte output block: 0, or 13 when its ones,
 * lag-1 autocorrelation or longest runs fall outside their bounds. */
VRT_API uint32_t random_dynamic_test(const uint8_t block[32]);
/* random_reglament_test checks 4096 bytes of output (balance of ones and a
 * chi-square over the byte values): 0 to pass, 1 to fail. */
VRT_API uint32_t random_reglament_test(const uint8_t block[4096]);
/* random_stat_interval gives the bounds a statistic of n bits at the given lag
 * must lie strictly between. */
VRT_API void random_stat_interval(uint32_t n, uint32_t lag, int64_t* lo, int64_t* hi);
/* random_estimate_pool credits a pool with entropy bits, looking at its bits in
 * period interleaved classes: 0 below 64 bits, 0xFFFFFFFF for a failed
 * estimate. */
VRT_API uint32_t random_estimate_pool(const random_pool_t* pool, uint32_t period);
/* calculate_entropy_portion credits one sample (about ten bits per class) with
 * entropy bits; 0xFFFFFFFF for a failed estimate. */
VRT_API uint32_t calculate_entropy_portion(const random_pool_t* sample, uint32_t period);
/* random_calc_randomness is the pool estimate of length bytes (1..128) of
 * data; 0xFFFFFFFF for any other length or a failed estimate. */
VRT_API uint32_t random_calc_randomness(const uint8_t* data, uint64_t length, uint32_t period);

/* ==========================================================================
 * Text helpers
 * ========================================================================== */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VRT_H */
