#include "aldpanel/core/quarterdb.h"

#include <gtest/gtest.h>

namespace aldpanel {
namespace {

TEST(QuarterDb, KeepsEveryQuarterAndOnlyTheDecimalsNeeded) {
  EXPECT_EQ(FormatQuarterDb(0), "0");
  EXPECT_EQ(FormatQuarterDb(48), "12");
  EXPECT_EQ(FormatQuarterDb(45), "11.25");
  EXPECT_EQ(FormatQuarterDb(22), "5.5");
  EXPECT_EQ(FormatQuarterDb(51), "12.75");
  EXPECT_EQ(FormatQuarterDb(-3), "-0.75");
  EXPECT_EQ(FormatQuarterDb(-8), "-2");
  EXPECT_EQ(FormatQuarterDb(45, ','), "11,25");
}

}  // namespace
}  // namespace aldpanel
