// Volume, balance and aspect conversions of the video library.
#include "components/video/ds_conversions.h"

#include <gtest/gtest.h>

#include <cstring>

namespace dashtune::video {
namespace {

struct Mapping {
  win::LONG input;
  win::LONG expected;
};

class LinearToDSVolumeTest : public ::testing::TestWithParam<Mapping> {};

TEST_P(LinearToDSVolumeTest, MapsLogarithmically) {
  EXPECT_EQ(LinearToDSVolume(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, LinearToDSVolumeTest,
                         ::testing::Values(Mapping{0, -10000}, Mapping{100, -4989}, Mapping{1000, -2499},
                                           Mapping{5000, -752}, Mapping{9999, 0}, Mapping{10000, 0},
                                           // Out of range: clamped rather than taking Ln of <= 0.
                                           Mapping{-1, -10000}, Mapping{-50, -10000}, Mapping{20000, 0}));

class LinearToDSBalanceTest : public ::testing::TestWithParam<Mapping> {};

TEST_P(LinearToDSBalanceTest, MapsLogarithmicallyWithTheSignTurned) {
  EXPECT_EQ(LinearToDSBalance(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, LinearToDSBalanceTest,
                         ::testing::Values(Mapping{0, 0}, Mapping{10000, -10000}, Mapping{-10000, 10000},
                                           Mapping{100, -5011}, Mapping{-100, 5011},
                                           Mapping{-2147483647 - 1, 10000}, Mapping{40000, -10000}));

struct Fit {
  win::RECT destination;
  win::RECT source;
  win::RECT expected;
};

class FitRectKeepAspectTest : public ::testing::TestWithParam<Fit> {};

TEST_P(FitRectKeepAspectTest, CentresTheSourceShape) {
  win::RECT result{-1, -1, -1, -1};
  FitRectKeepAspect(GetParam().destination, GetParam().source, result);
  EXPECT_EQ(result.left, GetParam().expected.left);
  EXPECT_EQ(result.top, GetParam().expected.top);
  EXPECT_EQ(result.right, GetParam().expected.right);
  EXPECT_EQ(result.bottom, GetParam().expected.bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitRectKeepAspectTest,
    ::testing::Values(
        // 4:3 into 16:9: pillar-boxed.
        Fit{{0, 0, 1600, 900}, {0, 0, 640, 480}, {200, 0, 1400, 900}},
        // 16:9 into 4:3 with an offset destination: letter-boxed.
        Fit{{10, 20, 650, 500}, {0, 0, 1920, 1080}, {10, 80, 650, 440}},
        // Halving rounds toward zero.
        Fit{{0, 0, 101, 100}, {0, 0, 1, 1}, {0, 0, 100, 100}},
        // A source without height or width gives an empty rectangle at the centre.
        Fit{{0, 0, 200, 100}, {0, 0, 320, 0}, {100, 50, 100, 50}},
        Fit{{0, 0, 200, 100}, {0, 0, 0, 0}, {100, 50, 100, 50}}));

TEST(SplitDVDTimeCodeTest, TakesTheDigitsFromTheTopNibbleDown) {
  win::tagDVD_TIMECODE parts;
  SplitDVDTimeCode(0x12345679u, parts);
  const win::BYTE expected[9] = {1, 2, 3, 4, 5, 6, 7, 2, 1};
  EXPECT_EQ(0, std::memcmp(&parts, expected, sizeof expected));
}

TEST(RefTimeToMsTest, DividesAndKeepsTheLowWord) {
  EXPECT_EQ(RefTimeToMs(25000000), 2500);
  EXPECT_EQ(RefTimeToMs(-25000000), -2500);
  // 2^32 + 5 ms: only the low 32 bits stay.
  EXPECT_EQ(RefTimeToMs((4294967296LL + 5) * 10000), 5);
}

TEST(FPUControlWordTest, LoadsAndRemembersTheWord) {
  const std::uint16_t original = GetFPUControlWord();
  EXPECT_EQ(LastFPUControlWord(), 0x1372);
  SetFPUControlWord(0x133F);
  EXPECT_EQ(LastFPUControlWord(), 0x133F);
#if defined(__x86_64__) || defined(__i386__)
  EXPECT_EQ(GetFPUControlWord() & 0x1F3F, 0x133F & 0x1F3F);
#endif
  SetFPUControlWord(original);
}

}  // namespace
}  // namespace dashtune::video
