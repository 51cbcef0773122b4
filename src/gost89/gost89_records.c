/* The five GOST 28147-89 block-algorithm records and the two pointers that
 * select the ones in use. Written in C for its designated initialisers: each
 * operation slot names the gost89 member of its union. */
#include "vrt.h"

/* The scalar scheduled operations take the address of T0 instead of the set. */
static void alu_mac(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89alu_mac_block(in, state, key, &sbox->tables[0][0]);
}
static void alu_encrypt(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89alu_encrypt_block(in, out, key, &sbox->tables[0][0]);
}
static void alu_decrypt(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89alu_decrypt_block(in, out, key, &sbox->tables[0][0]);
}

/* The AVX operations load the set's nibble-pair tables themselves. */
static void avx_mac(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx_mac_block(in, state, key, sbox->cpu);
}
static void avx_encrypt(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx_encrypt_block(in, out, key, sbox->cpu);
}
static void avx_decrypt(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx_decrypt_block(in, out, key, sbox->cpu);
}
static void avx_mac8(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx_mac8(in, state, key, sbox->cpu);
}
static void avx_encrypt8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx_encrypt8(in, out, key, sbox->cpu);
}
static void avx_decrypt8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx_decrypt8(in, out, key, sbox->cpu);
}

static void avx512_mac8(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx512_mac8(in, state, key, sbox->cpu);
}
static void avx512_encrypt8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx512_encrypt8(in, out, key, sbox->cpu);
}
static void avx512_decrypt8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  __gost89avx512_decrypt8(in, out, key, sbox->cpu);
}

/* The begin and end hooks of the AVX records; nothing is left to do around
 * a call, since every AVX operation loads and clears its own registers. */
static void avx_hook(void* ctx) { (void)ctx; }

VRT_API const vrt_block_alg_t vrtpGost89AlgG1 = {
    .lanes = 1,
    .block_size = 8,
    .mac_block.gost89 = gost89_mac_block,
    .encrypt.gost89 = gost89_encrypt_block,
    .decrypt.gost89 = gost89_decrypt_block,
    .xor_block = gost89_xor_block,
    .copy_block = gost89_copy_block,
};

VRT_API const vrt_block_alg_t vrtpGost89AlgG8 = {
    .lanes = 8,
    .block_size = 64,
    .mac_block.gost89 = gost89_mac_block8,
    .encrypt.gost89 = gost89_encrypt_block8,
    .decrypt.gost89 = gost89_decrypt_block8,
    .xor_block = gost89_xor_block8,
    .copy_block = gost89_copy_block8,
};

VRT_API const vrt_block_alg_t vrtpGost89AlgAluG1 = {
    .lanes = 1,
    .block_size = 8,
    .mac_block.gost89 = alu_mac,
    .encrypt.gost89 = alu_encrypt,
    .decrypt.gost89 = alu_decrypt,
    .xor_block = __gost89alu_xor_block,
    .copy_block = __gost89alu_copy_block,
};

VRT_API const vrt_block_alg_t vrtpGost89AlgAvxG1 = {
    .lanes = 1,
    .block_size = 8,
    .hook_begin = avx_hook,
    .hook_end = avx_hook,
    .mac_block.gost89 = avx_mac,
    .encrypt.gost89 = avx_encrypt,
    .decrypt.gost89 = avx_decrypt,
    .xor_block = gost89_xor_block,
    .copy_block = gost89_copy_block,
};

VRT_API const vrt_block_alg_t vrtpGost89AlgAvxG8 = {
    .lanes = 8,
    .block_size = 64,
    .hook_begin = avx_hook,
    .hook_end = avx_hook,
    .mac_block.gost89 = avx_mac8,
    .encrypt.gost89 = avx_encrypt8,
    .decrypt.gost89 = avx_decrypt8,
    .xor_block = gost89_xor_block8,
    .copy_block = gost89_copy_block8,
};

VRT_API const vrt_block_alg_t vrtpGost89AlgAvx512G8 = {
    .lanes = 8,
    .block_size = 64,
    .hook_begin = avx_hook,
    .hook_end = avx_hook,
    .mac_block.gost89 = avx512_mac8,
    .encrypt.gost89 = avx512_encrypt8,
    .decrypt.gost89 = avx512_decrypt8,
    .xor_block = gost89_xor_block8,
    .copy_block = gost89_copy_block8,
};

/* Written only by library initialisation, under the library lock. */
VRT_API const vrt_block_alg_t* vrtpGost89AlgG1ptr = &vrtpGost89AlgG1;
VRT_API const vrt_block_alg_t* vrtpGost89AlgG8ptr = &vrtpGost89AlgG8;
