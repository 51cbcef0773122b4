/* The two MGM records. Written in C for its designated initialisers; the
 * empty slots stay null. */
#include "vrt.h"

VRT_API const vrt_aead_alg_t AEAD_G1_KUZNECHIK = {
    .lanes = 1,
    .block_size = 16,
    .mul = mulGaloisField128,
    .encrypt = gost15KZN_encrypt_block,
    .incr_l = kuznechikCounterL,
    .incr_r = kuznechikCounterR,
    .concat_len = kuznechikConcatLen,
    .xor_block = gost15KZN_xor_block,
    .copy_block = gost15KZN_copy_block,
};

VRT_API const vrt_aead_alg_t AEAD_G1_MAGMA = {
    .lanes = 1,
    .block_size = 8,
    .mul = mulGaloisField64,
    .encrypt = gost15Magma_encrypt_block,
    .incr_l = magmaCounterL,
    .incr_r = magmaCounterR,
    .concat_len = magmaConcatLen,
    .xor_block = gost15Magma_xor_block,
    .copy_block = gost15Magma_copy_block,
};
