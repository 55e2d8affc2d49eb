// Placeholder, replaced with the hash pinning tests.
#include <gtest/gtest.h>
TEST(HashInternal, Placeholder) {}
