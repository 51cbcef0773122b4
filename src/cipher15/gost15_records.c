/* The two GOST R 34.12-2015 block-algorithm records. Written in C for its
 * designated initialisers: each operation slot names the gost15 member of
 * its union. Both leave the four hooks empty. */
#include "vrt.h"

VRT_API const vrt_block_alg_t GOST15_G1_KUZNECHIK = {
    .lanes = 1,
    .block_size = 16,
    .mac_block.gost15 = gost15KZN_mac_block,
    .encrypt.gost15 = gost15KZN_encrypt_block,
    .decrypt.gost15 = gost15KZN_decrypt_block,
    .xor_block = gost15KZN_xor_block,
    .copy_block = gost15KZN_copy_block,
};

VRT_API const vrt_block_alg_t GOST15_G1_MAGMA = {
    .lanes = 1,
    .block_size = 8,
    .mac_block.gost15 = gost15Magma_mac_block,
    .encrypt.gost15 = gost15Magma_encrypt_block,
    .decrypt.gost15 = gost15Magma_decrypt_block,
    .xor_block = gost15Magma_xor_block,
    .copy_block = gost15Magma_copy_block,
};
