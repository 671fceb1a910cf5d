#include "support/TestPictures.h"

#include <gtest/gtest.h>

TEST(Placeholder, Builds) { EXPECT_EQ(GetRValue(RGB(1, 2, 3)), 1); }
