// Data-trigger matching: a match string followed across the received bytes one byte at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dashtune::serial {

struct MatchState {
  std::string Match;
  std::size_t Matched = 0;  // characters of Match that the latest input ends with
  bool IgnoreCase = false;
};

// Takes one byte; answers whether it completes the match string. Overlapping input is kept: "aab"
// fires on "aaab", and "aa" fires on every "a" after the first of "aaa".
bool AdvanceMatch(MatchState& state, std::uint8_t byte);

}  // namespace dashtune::serial
