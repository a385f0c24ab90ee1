// The test side of the pseudo-terminal peer process (tools/pty_peer): starts it, points a comm
// port number at its terminal and sends it commands.
#pragma once

#include <string>

namespace dashtune::serial {

class PtyPeer {
 public:
  // Starts the peer and sets DASHTUNE_COM<port> to its terminal.
  explicit PtyPeer(unsigned port);
  // Ends the peer (when it still runs) and clears the variable.
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool Started() const { return pid_ > 0 && !path_.empty(); }
  const std::string& TerminalPath() const { return path_; }
  // Sends one command line; Answer reads the reply line (empty after 30 s without one).
  void Send(const std::string& command);
  std::string Answer();
  // Whether a reply line is ready now.
  bool AnswerReady();
  std::string Command(const std::string& command) {
    Send(command);
    return Answer();
  }
  // Ends the peer and waits for it.
  void Stop();
  // Kills the peer at once, as a crash would, and waits for it.
  void Kill();

 private:
  std::string ReadLine(int timeoutMs);

  unsigned port_;
  int pid_ = -1;
  int to_peer_ = -1;
  int from_peer_ = -1;
  std::string path_;
  std::string pending_;
};

// The byte the peer's test pattern of seed has at index.
inline unsigned char PatternByte(unsigned long long index, unsigned seed) {
  return static_cast<unsigned char>((index * 131 + seed) ^ (index >> 8));
}

// FNV-1a, as the peer hashes what it received.
inline unsigned Fnv1a(const std::string& bytes) {
  unsigned hash = 2166136261u;
  for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
  return hash;
}

}  // namespace dashtune::serial
