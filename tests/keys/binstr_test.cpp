// Byte strings.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Hex;

TEST(Binstr, AllocReallocDupFree) {
  binstr_t b{};
  ASSERT_EQ(binstr_alloc(&b, 5), VRT_SUCCESS);
  ASSERT_NE(b.data, nullptr);
  EXPECT_EQ(b.length, 5u);
  std::memcpy(b.data, "abcde", 5);
  ASSERT_EQ(binstr_realloc(&b, 3), VRT_SUCCESS);
  EXPECT_EQ(Hex(b.data, b.length), Hex("abc", 3));
  ASSERT_EQ(binstr_realloc(&b, 4000), VRT_SUCCESS);
  EXPECT_EQ(Hex(b.data, 3), Hex("abc", 3));
  binstr_t copy{};
  ASSERT_EQ(binstr_dup(&copy, &b), VRT_SUCCESS);
  EXPECT_NE(copy.data, b.data);
  EXPECT_EQ(binstr_equals(&copy, &b), 1u);
  binstr_free(&b);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.length, 0u);
  binstr_free(&b);  // a second free does nothing
  binstr_free(&copy);
}

TEST(Binstr, FailedAllocationLeavesTheRecord) {
  uint8_t byte = 7;
  binstr_t b;
  __binstr_init(&b, &byte, 1);
  EXPECT_EQ(binstr_alloc(&b, UINT64_MAX), VRT_ERROR_NO_MEMORY);
  EXPECT_EQ(b.data, &byte);
  EXPECT_EQ(b.length, 1u);
  binstr_t owned{};
  ASSERT_EQ(binstr_alloc(&owned, 4), VRT_SUCCESS);
  uint8_t* old = owned.data;
  EXPECT_EQ(binstr_realloc(&owned, UINT64_MAX), VRT_ERROR_NO_MEMORY);
  EXPECT_EQ(owned.data, old);
  EXPECT_EQ(owned.length, 4u);
  binstr_free(&owned);
  EXPECT_EQ(binstr_alloc(nullptr, 4), VRT_ERROR_INVALID_ARGUMENT);
}

TEST(Binstr, Available) {
  binstr_t b;
  uint8_t buf[10];
  __binstr_init(&b, buf, 10);
  struct {
    uint64_t offset, count;
    uint32_t want;
  } const cases[] = {
      {0, 10, 1}, {10, 0, 1}, {9, 1, 1}, {9, 2, 0}, {11, 0, 0}, {UINT64_MAX, 1, 0}, {1, UINT64_MAX, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(binstr_available(&b, c.offset, c.count), c.want) << c.offset << "+" << c.count;
}

TEST(Binstr, EqualsAndContains) {
  uint8_t whole[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0};
  uint8_t* x = whole + 1;
  uint8_t y[8] = {1, 2, 3, 4, 5, 6, 7, 9};
  binstr_t a, b, c, empty1{}, empty2{};
  __binstr_init(&a, x, 8);
  __binstr_init(&b, y, 8);
  __binstr_init(&c, y, 7);
  EXPECT_EQ(binstr_equals(&a, &b), 0u);
  EXPECT_EQ(binstr_equals(&a, &c), 0u);  // lengths differ
  __binstr_init(&c, x, 7);
  __binstr_init(&b, y, 7);
  EXPECT_EQ(binstr_equals(&c, &b), 1u);
  EXPECT_EQ(binstr_equals(&empty1, &empty2), 1u);

  EXPECT_EQ(binstr_contains(&a, &a), 0u);
  binstr_t inner, longer, before;
  __binstr_init(&inner, x + 2, 4);
  __binstr_init(&longer, x, 9);
  __binstr_init(&before, x - 1, 2);
  EXPECT_EQ(binstr_contains(&a, &inner), 0u);
  EXPECT_EQ(binstr_contains(&a, &longer), 1u);
  EXPECT_EQ(binstr_contains(&a, &before), 1u);
}

TEST(Binstr, CopyDemandsTheExactLength) {
  uint8_t dst[32] = {}, src[32];
  std::memset(src, 0x5a, sizeof src);
  binstr_t b;
  __binstr_init(&b, dst, 32);
  EXPECT_EQ(binstr_copy(&b, src, 31), VRT_ERROR_LENGTH);
  EXPECT_EQ(Hex(dst, 32), std::string(64, '0'));
  EXPECT_EQ(binstr_copy(&b, src, 32), VRT_SUCCESS);
  EXPECT_EQ(Hex(dst, 32), Hex(src, 32));
  EXPECT_EQ(binstr_copy(nullptr, src, 32), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(binstr_copy(&b, nullptr, 32), VRT_ERROR_INVALID_ARGUMENT);
  binstr_t none{};
  none.length = 32;
  EXPECT_EQ(binstr_copy(&none, src, 32), VRT_ERROR_INVALID_ARGUMENT);
}

}  // namespace
