// What the shell's file operations answer when the system refuses: the system error, its result
// code and its text, and a copy onto a full file system that says the disk is full.
#include "platform/com/result.h"
#include "platform/core/errors.h"
#include "platform/core/format_message.h"
#include "platform/shell/file_info.h"
#include "platform/shell/file_operations.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "mount_namespace.h"

namespace win {
namespace {

namespace fs = std::filesystem;

TEST(ErrorCodesTest, FullDisksAndOtherDevicesAnswerTheirOwnErrors) {
  const struct {
    int errno_value;
    DWORD error;
    HRESULT result;
    const char* text;
  } kCases[] = {
      {ENOSPC, ERROR_DISK_FULL, static_cast<HRESULT>(0x80070070), "There is not enough space on the disk."},
      {EDQUOT, ERROR_DISK_FULL, static_cast<HRESULT>(0x80070070), "There is not enough space on the disk."},
      {EXDEV, ERROR_NOT_SAME_DEVICE, static_cast<HRESULT>(0x80070011),
       "The system cannot move the file to a different disk drive."},
      {EIO, ERROR_GEN_FAILURE, static_cast<HRESULT>(0x8007001F), "A device attached to the system is not functioning."},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.errno_value);
    const DWORD error = file_info::Win32ErrorOfErrno(c.errno_value);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(HRESULT_FROM_WIN32(error), c.result);
    EXPECT_EQ(SystemErrorText(error), c.text);
  }
}

TEST(ErrorCodesTest, ACopyOntoAFullFileSystemSaysTheDiskIsFull) {
  const fs::path root = fs::path(getenv("HOME")) / "full-disk";
  fs::create_directories(root / "small");
  std::ofstream(root / "big", std::ios::binary) << std::string(1 << 20, 'b');
  DWORD error = ERROR_SUCCESS;
  std::vector<fs::path> left;
  const std::string reason = dashtune::testing::InPrivateMountNamespace([&]() -> std::string {
    const std::string mounted = dashtune::testing::Mount("tmpfs", (root / "small").string(), "tmpfs", 0, "size=64k");
    if (!mounted.empty()) return mounted;
    EXPECT_EQ(file_operations::TransferInto((root / "big").string(), (root / "small").string(),
                                            file_operations::Transfer::Copy, error),
              std::nullopt);
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "small")) left.push_back(entry.path());
    return {};
  });
  const std::uintmax_t source_size = fs::file_size(root / "big");
  fs::remove_all(root);
  if (!reason.empty()) GTEST_SKIP() << reason;
  EXPECT_EQ(error, ERROR_DISK_FULL);
  EXPECT_EQ(HRESULT_FROM_WIN32(error), static_cast<HRESULT>(0x80070070));
  EXPECT_TRUE(left.empty()) << left.front();
  EXPECT_EQ(source_size, 1u << 20);
}

}  // namespace
}  // namespace win
