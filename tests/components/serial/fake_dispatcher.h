// A dispatcher over an in-process device for tests: what a pseudo-terminal cannot show (modem
// lines, line errors, a slow transmitter) is scripted here, and the dispatch passes run on the
// test's thread.
#pragma once

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "components/serial/dispatcher.h"
#include "components/serial/serial_queue.h"

namespace dashtune::serial {

class FakeDispatcher : public TSerBaseDispatcher {
 public:
  explicit FakeDispatcher(TComponent* owner = nullptr) : TSerBaseDispatcher(owner) {}
  ~FakeDispatcher() override { Close(); }

  // The device.
  int EscapeComFunction(int function) override {
    escapes.push_back(function);
    return 0;
  }
  int FlushCom(int) override { return 0; }
  int GetComError(win::COMSTAT&) override {
    int errors = static_cast<int>(lineErrors);
    lineErrors = 0;
    return errors;
  }
  int GetComState(win::DCB& state) override {
    state = dcb;
    return 0;
  }
  int ReadCom(std::uint8_t* buffer, int count) override {
    int copied = 0;
    while (copied < count && !incoming.empty()) {
      buffer[copied++] = incoming.front();
      incoming.pop_front();
    }
    return copied;
  }
  int SetComState(win::DCB& state) override {
    dcb = state;
    ++stateWrites;
    return 0;
  }
  int WriteCom(const std::uint8_t* bytes, int count) override {
    sent.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
    outUsed += count;
    return count;
  }
  int SetupCom(int, int) override { return 0; }
  win::DWORD ReadModemStatus() override { return modemLines; }
  void StartDispatcher() override {}
  void StopDispatcher() override {}
  int OutBufUsed() override { return outUsed; }
  int InQueueCount() override { return static_cast<int>(incoming.size()); }
  int OpenCom(const std::string&, int, int) override { return 0; }
  int CloseCom() override { return 0; }

  // Test controls.
  void Receive(const std::string& bytes) { incoming.insert(incoming.end(), bytes.begin(), bytes.end()); }
  void Event(win::DWORD mask) { input_queue_.Push(std::make_unique<TStatusBuffer>(mask)); }
  void Transmit(int count) { outUsed -= count; }

  win::DCB dcb;
  int stateWrites = 0;
  std::deque<std::uint8_t> incoming;
  std::string sent;
  std::atomic<int> outUsed{0};  // also read by a thread that waits for the output to drain
  win::DWORD modemLines = 0;
  win::DWORD lineErrors = 0;
  std::vector<int> escapes;
};

}  // namespace dashtune::serial
