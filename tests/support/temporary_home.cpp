// A temporary HOME and XDG tree made before GLib's first call, removed at the end.
#include "temporary_home.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace dashtune::testing {
namespace {

std::string& Home() {
  static std::string home;
  return home;
}

pid_t& OwnerProcess() {
  static pid_t owner = 0;
  return owner;
}

void RemoveHome() {
  // Forked children (death tests) leave the tree to the process that made it.
  if (getpid() != OwnerProcess() || Home().empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(Home(), ignored);
}

void MakeFolder(const std::filesystem::path& path) {
  std::filesystem::create_directories(path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

}  // namespace

void UseTemporaryHome(const std::string& root) {
  std::filesystem::create_directories(root);
  std::string pattern = root + "/home-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary home in " + root);
  const std::filesystem::path home = pattern;
  MakeFolder(home / ".config");
  MakeFolder(home / ".local/share");
  MakeFolder(home / ".cache");
  MakeFolder(home / ".runtime");
  // X clients find their cookie below HOME unless told otherwise.
  if (std::getenv("XAUTHORITY") == nullptr && std::getenv("HOME") != nullptr)
    setenv("XAUTHORITY", (std::string(std::getenv("HOME")) + "/.Xauthority").c_str(), 1);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (home / ".runtime").c_str(), 1);
  Home() = home.string();
  OwnerProcess() = getpid();
  std::atexit(RemoveHome);
}

const std::string& TemporaryHome() { return Home(); }

}  // namespace dashtune::testing
