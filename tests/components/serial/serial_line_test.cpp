// Serial line settings, match strings and timers: baud codes and their texts.
#include "components/serial/serial_line.h"

#include <gtest/gtest.h>

#include "components/serial/serial_match.h"
#include "components/serial/serial_timer.h"

namespace dashtune::serial {
namespace {

TEST(SerialLine, BaudCodes) {
  const std::pair<win::DWORD, win::DWORD> cases[] = {
      {0xFEFF, 115200}, {0xFF10, 110},    {0xFF11, 300},    {0xFF12, 600},    {0xFF13, 1200},
      {0xFF14, 2400},   {0xFF15, 4800},   {0xFF16, 9600},   {0xFF17, 14400},  {0xFF18, 19200},
      {0xFF19, 0xFF19}, {0xFF1A, 0xFF1A}, {0xFF1B, 38400},  {0xFF1F, 56000},  {0xFF23, 128000},
      {0xFF27, 256000}, {0xFF26, 0xFF26}, {0xFF28, 0xFF28}, {0xFF0F, 0xFF0F}, {9600, 9600},
      {57600, 57600},
  };
  for (const auto& [code, rate] : cases) EXPECT_EQ(BaudFromCode(code), rate) << std::hex << code;
}

struct SettleCase {
  win::DWORD baud;
  int byteSize;
  int parity;
  int stopCode;
  win::DWORD milliseconds;
};

TEST(SerialLine, SettleTimeIsEighteenCharacterTimes) {
  const SettleCase cases[] = {
      // 10 bits of 1041 * 100 ns: 18 characters are 18.7 ms.
      {9600, 8, 0, 0, 19},
      // 12 bits with parity and two stop bits.
      {9600, 8, 2, 2, 23},
      // 10 bits of 86 * 100 ns: 18 characters are 1.548 ms.
      {115200, 8, 0, 0, 2},
      // 18 characters of 39 * 100 ns stay under a millisecond: 36 are taken.
      {256000, 8, 0, 0, 2},
      // At low rates the wait stops at a second: 1637 ms at 110 baud, 3600 ms at 50, 180 s at 1.
      {110, 8, 0, 0, 1000},
      {50, 8, 0, 0, 1000},
      {1, 8, 0, 0, 1000},
      {0, 8, 0, 0, 0},
  };
  for (const SettleCase& c : cases) {
    EXPECT_EQ(DrainSettleMilliseconds(c.baud, c.byteSize, c.parity, c.stopCode), c.milliseconds) << c.baud;
  }
}

TEST(SerialTimer, ExpiresOnlyAfterItsDuration) {
  EventTimer timer;
  NewTimerAt(timer, 1000, 5);
  EXPECT_FALSE(TimerExpiredAt(timer, 1000));
  EXPECT_FALSE(TimerExpiredAt(timer, 1005));
  EXPECT_TRUE(TimerExpiredAt(timer, 1006));
}

TEST(SerialTimer, StartedJustBeforeTheTickCounterWrapsFiresOnTime) {
  EventTimer timer;
  NewTimerAt(timer, kTickRange - 2, 5);
  EXPECT_FALSE(TimerExpiredAt(timer, kTickRange - 1));
  EXPECT_FALSE(TimerExpiredAt(timer, 0));
  EXPECT_FALSE(TimerExpiredAt(timer, 3));
  EXPECT_TRUE(TimerExpiredAt(timer, 4));
  // The tick derived from a millisecond clock that wrapped to 0.
  EXPECT_TRUE(TimerExpiredAt(timer, 0x00001000u / kTickMilliseconds));
}

TEST(SerialTimer, DurationsAreClamped) {
  EventTimer timer;
  NewTimerAt(timer, 10, -4);
  EXPECT_EQ(timer.ExpireTicks, 10u);
  EXPECT_TRUE(TimerExpiredAt(timer, 11));
  NewTimerAt(timer, 10, 0x7FFFFFFF);
  EXPECT_EQ(timer.ExpireTicks - timer.StartTicks, kMaxTimerTicks);
  EXPECT_FALSE(TimerExpiredAt(timer, 10 + kMaxTimerTicks));
  EXPECT_TRUE(TimerExpiredAt(timer, 11 + kMaxTimerTicks));
}

// Feeds the input and answers the positions (counted from 1) at which the match completed.
std::vector<int> MatchPositions(MatchState state, const std::string& input) {
  std::vector<int> positions;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (AdvanceMatch(state, static_cast<std::uint8_t>(input[i]))) positions.push_back(static_cast<int>(i) + 1);
  }
  return positions;
}

TEST(SerialMatch, MatchesFollowOverlappingInput) {
  struct Case {
    const char* match;
    bool ignoreCase;
    const char* input;
    std::vector<int> positions;
  };
  const Case cases[] = {
      {"aab", false, "aaab", {4}},
      {"aa", false, "aaa", {2, 3}},
      {"OK\r\n", false, "xxOK\r\nOK\r\n", {6, 10}},
      {"abab", false, "abababab", {4, 6, 8}},
      {"RING", true, "ring Ring", {4, 9}},
      {"RING", false, "ring RING", {9}},
      {"aba", false, "abba", {}},
      {"", false, "abc", {}},
  };
  for (const Case& c : cases) {
    MatchState state;
    state.Match = c.match;
    state.IgnoreCase = c.ignoreCase;
    EXPECT_EQ(MatchPositions(state, c.input), c.positions) << c.match << " in " << c.input;
  }
}

}  // namespace
}  // namespace dashtune::serial
