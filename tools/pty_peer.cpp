// pty_peer: the far end of a serial line for tests. It opens a pseudo-terminal pair, prints the
// path of the terminal side on its first output line and then answers one command per input
// line on the controlling side:
//   write HEX            write the bytes, answer "ok"
//   read N               read N bytes (5 s at most), answer "data HEX" or "timeout HEX"
//   quiet MS             answer "quiet" when nothing arrives for MS ms, else "data HEX"
//   exchange S R SEED    write the S-byte test pattern of SEED while reading R bytes, answer
//                        "ok HASH" with the FNV-1a hash of what was read, or "timeout COUNT"
//   pace N SEED CHUNK MS write the N-byte test pattern of SEED in pieces of CHUNK bytes, MS ms
//                        apart, answer "ok" or "failed"
//   stop                 send XOFF and answer "stopped" once the terminal side has stopped its
//                        output (5 s at most; "timeout" otherwise, "data HEX" if output came)
//   termios              answer the line settings as the terminal side has them
//   exit                 close the pair and end
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kReadTimeoutMs = 5000;
constexpr int kExchangeIdleTimeoutMs = 10000;

std::uint8_t PatternByte(std::uint64_t index, unsigned seed) {
  return static_cast<std::uint8_t>((index * 131 + seed) ^ (index >> 8));
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (std::uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

std::vector<std::uint8_t> FromHex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
  }
  return bytes;
}

bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  return poll(&entry, 1, timeoutMs) > 0 && (entry.revents & (events | POLLHUP | POLLERR)) != 0;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return false;
    } else if (!WaitFor(fd, POLLOUT, kReadTimeoutMs)) {
      return false;
    }
  }
  return true;
}

// Reads up to count bytes until nothing arrives for timeoutMs.
std::vector<std::uint8_t> ReadUpTo(int fd, std::size_t count, int timeoutMs) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  while (bytes.size() < count && WaitFor(fd, POLLIN, timeoutMs)) {
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n <= 0) {
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

std::string Exchange(int fd, std::uint64_t sendCount, std::uint64_t receiveCount, unsigned seed) {
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  std::uint32_t hash = 2166136261u;
  std::uint8_t out[4096];
  std::uint8_t in[4096];
  while (sent < sendCount || received < receiveCount) {
    pollfd entry{fd, static_cast<short>((received < receiveCount ? POLLIN : 0) | (sent < sendCount ? POLLOUT : 0)), 0};
    int ready = poll(&entry, 1, kExchangeIdleTimeoutMs);
    if (ready <= 0 || (entry.revents & (POLLERR | POLLNVAL)) != 0) break;
    if ((entry.revents & POLLIN) != 0) {
      ssize_t n = read(fd, in, std::min<std::uint64_t>(sizeof in, receiveCount - received));
      for (ssize_t i = 0; i < n; ++i) hash = (hash ^ in[i]) * 16777619u;
      if (n > 0) received += static_cast<std::uint64_t>(n);
    }
    if ((entry.revents & POLLOUT) != 0 && sent < sendCount) {
      std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof out, sendCount - sent));
      for (std::size_t i = 0; i < chunk; ++i) out[i] = PatternByte(sent + i, seed);
      ssize_t n = write(fd, out, chunk);
      if (n > 0) sent += static_cast<std::uint64_t>(n);
    }
    if ((entry.revents & POLLHUP) != 0 && (entry.revents & POLLIN) == 0) break;
  }
  if (sent < sendCount || received < receiveCount) {
    return "timeout " + std::to_string(sent) + " " + std::to_string(received);
  }
  return "ok " + std::to_string(hash);
}

std::string Pace(int fd, std::uint64_t count, unsigned seed, std::size_t chunk, int pauseMs) {
  std::vector<std::uint8_t> piece;
  for (std::uint64_t sent = 0; sent < count; sent += piece.size()) {
    if (sent > 0) poll(nullptr, 0, pauseMs);
    piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::size_t>(chunk, 1), count - sent)));
    for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = PatternByte(sent + i, seed);
    if (!WriteAll(fd, piece)) return "failed";
  }
  return "ok";
}

// Packet mode reports the terminal side's flow state as a status byte on the controlling side,
// so the answer waits for the stop itself rather than for a time that a slow machine may exceed.
std::string SendXoff(int fd) {
  int packet = 1;
  if (ioctl(fd, TIOCPKT, &packet) != 0) return std::string("error ") + std::strerror(errno);
  std::string answer = "timeout";
  std::vector<std::uint8_t> data;
  if (WriteAll(fd, {0x13})) {
    std::uint8_t buffer[4096];
    while (answer == "timeout" && WaitFor(fd, POLLIN, kReadTimeoutMs)) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        break;
      }
      // A packet is a status byte, or TIOCPKT_DATA (0) followed by output.
      if (buffer[0] == TIOCPKT_DATA) {
        data.insert(data.end(), buffer + 1, buffer + n);
      } else if ((buffer[0] & TIOCPKT_STOP) != 0) {
        answer = "stopped";
      }
    }
  } else {
    answer = "failed";
  }
  packet = 0;
  ioctl(fd, TIOCPKT, &packet);
  return data.empty() ? answer : "data " + Hex(data);
}

std::string DescribeSettings(int fd) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return std::string("error ") + std::strerror(errno);
  const char* parity = "n";
  if ((tio.c_cflag & PARENB) != 0) {
    bool odd = (tio.c_cflag & PARODD) != 0;
    parity = (tio.c_cflag & CMSPAR) != 0 ? (odd ? "m" : "s") : (odd ? "o" : "e");
  }
  int bits = 8;
  switch (tio.c_cflag & CSIZE) {
    case CS5: bits = 5; break;
    case CS6: bits = 6; break;
    case CS7: bits = 7; break;
    default: break;
  }
  std::ostringstream text;
  text << "speed " << tio.c_ospeed << " bits " << bits << " parity " << parity << " stop "
       << ((tio.c_cflag & CSTOPB) != 0 ? 2 : 1) << " crtscts " << ((tio.c_cflag & CRTSCTS) != 0 ? 1 : 0) << " ixon "
       << ((tio.c_iflag & IXON) != 0 ? 1 : 0) << " ixoff " << ((tio.c_iflag & IXOFF) != 0 ? 1 : 0);
  return text.str();
}

bool MakeRaw(int fd) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace

int main() {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !MakeRaw(master)) {
    std::perror("pty_peer");
    return 1;
  }
  std::cout << ptsname(master) << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    std::string answer;
    if (command == "write") {
      std::string hex;
      words >> hex;
      answer = WriteAll(master, FromHex(hex)) ? "ok" : "failed";
    } else if (command == "read") {
      std::size_t count = 0;
      words >> count;
      std::vector<std::uint8_t> bytes = ReadUpTo(master, count, kReadTimeoutMs);
      answer = (bytes.size() == count ? "data " : "timeout ") + Hex(bytes);
    } else if (command == "quiet") {
      int ms = 0;
      words >> ms;
      std::vector<std::uint8_t> bytes = ReadUpTo(master, 1 << 20, ms);
      answer = bytes.empty() ? "quiet" : "data " + Hex(bytes);
    } else if (command == "exchange") {
      std::uint64_t sendCount = 0;
      std::uint64_t receiveCount = 0;
      unsigned seed = 0;
      words >> sendCount >> receiveCount >> seed;
      answer = Exchange(master, sendCount, receiveCount, seed);
    } else if (command == "pace") {
      std::uint64_t count = 0;
      unsigned seed = 0;
      std::size_t chunk = 0;
      int pauseMs = 0;
      words >> count >> seed >> chunk >> pauseMs;
      answer = Pace(master, count, seed, chunk, pauseMs);
    } else if (command == "stop") {
      answer = SendXoff(master);
    } else if (command == "termios") {
      answer = DescribeSettings(master);
    } else if (command == "exit") {
      break;
    } else {
      answer = "unknown " + command;
    }
    std::cout << answer << std::endl;
  }
  close(master);
  return 0;
}
