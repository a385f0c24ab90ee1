#include "components/serial/serial_match.h"

#include <cctype>

namespace dashtune::serial {
namespace {

unsigned char Normalised(const MatchState& state, char c) {
  auto byte = static_cast<unsigned char>(c);
  return state.IgnoreCase ? static_cast<unsigned char>(std::toupper(byte)) : byte;
}

// The longest proper prefix of Match[0, length) that is also its suffix.
std::size_t Border(const MatchState& state, std::size_t length) {
  for (std::size_t k = length - 1; k > 0; --k) {
    bool same = true;
    for (std::size_t i = 0; i < k && same; ++i) {
      same = Normalised(state, state.Match[i]) == Normalised(state, state.Match[length - k + i]);
    }
    if (same) return k;
  }
  return 0;
}

}  // namespace

bool AdvanceMatch(MatchState& state, std::uint8_t byte) {
  if (state.Match.empty()) return false;
  unsigned char c = Normalised(state, static_cast<char>(byte));
  std::size_t matched = state.Matched;
  while (matched > 0 && Normalised(state, state.Match[matched]) != c) matched = Border(state, matched);
  if (Normalised(state, state.Match[matched]) == c) ++matched;
  if (matched == state.Match.size()) {
    state.Matched = Border(state, matched);
    return true;
  }
  state.Matched = matched;
  return false;
}

}  // namespace dashtune::serial
