#include "platform/mixer/mixer_watcher.h"

#include "platform/user/messages.h"
#include "platform/user/window.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace win::mixer {

bool CanNotify(HWND window) { return IsWindow(window) != FALSE; }

Watcher::Watcher(std::unique_ptr<Session> session, HWND window, HMIXER handle)
    : session_(std::move(session)), window_(window), handle_(handle),
      stop_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (stop_fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    close(stop_fd_);
    throw;
  }
}

Watcher::~Watcher() {
  const std::uint64_t one = 1;
  while (write(stop_fd_, &one, sizeof(one)) < 0 && errno == EINTR) {
  }
  thread_.join();
  close(stop_fd_);
}

void Watcher::Run() {
  const WPARAM mixer = reinterpret_cast<WPARAM>(handle_);
  ChangeSet changes;
  while (session_->WaitForChanges(stop_fd_, changes)) {
    for (DWORD line_id : changes.line_ids)
      PostMessageA(window_, MM_MIXM_LINE_CHANGE, mixer, static_cast<LPARAM>(line_id));
    for (DWORD control_id : changes.control_ids)
      PostMessageA(window_, MM_MIXM_CONTROL_CHANGE, mixer, static_cast<LPARAM>(control_id));
    changes = ChangeSet{};
  }
}

}  // namespace win::mixer
