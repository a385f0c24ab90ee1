// MulDiv: rounding half away from zero and refusing what does not fit.
#include "platform/core/mul_div.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct MulDivCase {
  win::INT number, numerator, denominator, expected;
};

class MulDivTest : public ::testing::TestWithParam<MulDivCase> {};

TEST_P(MulDivTest, RoundsHalfAwayFromZeroAndRefusesWhatDoesNotFit) {
  const MulDivCase& c = GetParam();
  EXPECT_EQ(win::MulDiv(c.number, c.numerator, c.denominator), c.expected)
      << c.number << " * " << c.numerator << " / " << c.denominator;
}

constexpr win::INT kMax = std::numeric_limits<win::INT>::max();
constexpr win::INT kMin = std::numeric_limits<win::INT>::min();

INSTANTIATE_TEST_SUITE_P(
    Table, MulDivTest,
    ::testing::Values(MulDivCase{10, 10, 4, 25}, MulDivCase{5, 1, 2, 3}, MulDivCase{-5, 1, 2, -3},
                      MulDivCase{5, -1, 2, -3}, MulDivCase{5, 1, -2, -3}, MulDivCase{-5, -1, -2, -3},
                      MulDivCase{7, 1, 3, 2}, MulDivCase{8, 1, 3, 3}, MulDivCase{-7, 1, 3, -2},
                      MulDivCase{-8, 1, 3, -3}, MulDivCase{1, 1, 0, -1}, MulDivCase{0, 5, 0, -1},
                      MulDivCase{kMax, 2, 1, -1}, MulDivCase{kMax, 2, 2, kMax},
                      MulDivCase{kMin, 1, 1, kMin}, MulDivCase{kMin, -1, 1, -1},
                      MulDivCase{65535, 100, 65535, 100}, MulDivCase{0, 0, 1, 0}));

}  // namespace
