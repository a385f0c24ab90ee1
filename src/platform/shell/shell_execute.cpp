#include "platform/shell/shell_execute.h"

#include "platform/core/errors.h"
#include "platform/core/strings.h"
#include "platform/shell/applications.h"
#include "platform/shell/child_process.h"
#include "platform/shell/desktop_entry.h"
#include "platform/shell/namespace_model.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace win {
namespace {

constexpr std::string_view kLinkSuffix = ".desktop";
// A link to a link to... stops here.
constexpr int kMaxLinkDepth = 8;

// What one request asks, in UTF-8.
struct Request {
  ULONG mask = 0;
  std::string verb;
  std::string file;
  std::string parameters;
  std::string directory;
  LPCITEMIDLIST list = nullptr;
};

// How a request ended: a pid, or the error to report.
struct Started {
  pid_t pid = -1;
  INT_PTR failure = 0;
};

Started Failure(INT_PTR code) { return Started{-1, code}; }

INT_PTR FailureOfErrno(int error) {
  switch (error) {
    case ENOENT: return SE_ERR_FNF;
    case ENOTDIR: return SE_ERR_PNF;
    case EACCES:
    case EPERM: return SE_ERR_ACCESSDENIED;
    case ENOMEM: return SE_ERR_OOM;
    default: return SE_ERR_FNF;
  }
}

DWORD LastErrorOf(INT_PTR failure) {
  switch (failure) {
    case SE_ERR_PNF: return ERROR_PATH_NOT_FOUND;
    case SE_ERR_ACCESSDENIED: return ERROR_ACCESS_DENIED;
    case SE_ERR_OOM: return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_NOASSOC: return ERROR_NO_ASSOCIATION;
    default: return ERROR_FILE_NOT_FOUND;
  }
}

Started SpawnCommand(const std::vector<std::string>& command, const std::string& directory) {
  const pid_t pid = child_process::Spawn(command, directory);
  return pid < 0 ? Failure(FailureOfErrno(errno)) : Started{pid, 0};
}

std::optional<std::vector<std::string>> WithParameters(std::vector<std::string> command, const std::string& parameters) {
  std::optional<std::vector<std::string>> extra = applications::SplitArguments(parameters);
  if (!extra) return std::nullopt;
  command.insert(command.end(), extra->begin(), extra->end());
  return command;
}

Started OpenDocument(const std::string& path, bool is_folder, const std::string& directory) {
  if (const char* opener = std::getenv(std::string(kOpenerVariable).c_str()); opener != nullptr && *opener != '\0') {
    std::optional<std::vector<std::string>> command = applications::SplitArguments(opener);
    if (!command || command->empty()) return Failure(SE_ERR_NOASSOC);
    command->push_back(path);
    return SpawnCommand(*command, directory);
  }
  const std::optional<applications::Application> application =
      applications::DefaultFor(applications::ContentTypeOf(path, is_folder));
  if (!application) return Failure(SE_ERR_NOASSOC);
  const std::optional<std::vector<std::string>> command = applications::CommandFor(application->id, path);
  if (!command) return Failure(SE_ERR_NOASSOC);
  return SpawnCommand(*command, directory);
}

Started StartPath(const std::string& path, const Request& request, int depth);

Started StartLink(const std::string& path, const Request& request, int depth) {
  const std::optional<desktop_entry::LinkData> link = desktop_entry::ReadFile(path);
  if (!link) return OpenDocument(path, false, request.directory);
  // An application link runs its Exec; a link to a file or folder opens its target.
  const std::optional<std::vector<std::string>> exec = applications::SplitArguments(link->arguments);
  if (exec && link->target.front() == '/' && access(link->target.c_str(), X_OK) == 0) {
    struct stat info {};
    if (stat(link->target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      std::vector<std::string> command{link->target};
      command.insert(command.end(), exec->begin(), exec->end());
      const std::optional<std::vector<std::string>> full = WithParameters(std::move(command), request.parameters);
      if (!full) return Failure(SE_ERR_FNF);
      return SpawnCommand(*full, request.directory.empty() ? link->working_directory : request.directory);
    }
  }
  if (depth >= kMaxLinkDepth || link->target.front() != '/') return Failure(SE_ERR_NOASSOC);
  return StartPath(link->target, request, depth + 1);
}

Started StartPath(const std::string& path, const Request& request, int depth) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return Failure(FailureOfErrno(errno));
  if (S_ISDIR(info.st_mode)) return OpenDocument(path, true, request.directory);
  if (S_ISREG(info.st_mode) && path.ends_with(kLinkSuffix)) return StartLink(path, request, depth);
  if (S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0) {
    const std::optional<std::vector<std::string>> command = WithParameters({path}, request.parameters);
    if (!command) return Failure(SE_ERR_FNF);
    return SpawnCommand(*command, request.directory);
  }
  return OpenDocument(path, false, request.directory);
}

// The item of the request: the path behind its list, the parsing name of a virtual folder, or the
// file named.
std::optional<std::string> ItemPath(const Request& request, bool& virtual_folder) {
  virtual_folder = false;
  if ((request.mask & SEE_MASK_IDLIST) != 0 && request.list != nullptr) {
    const std::optional<shell_model::Item> item = shell_model::Resolve(request.list);
    if (!item) return std::nullopt;
    if (!item->path.empty()) return item->path;
    virtual_folder = shell_model::IsContainer(*item);
    return Utf16ToUtf8(shell_model::ParsingName(*item));
  }
  if (request.file.empty()) return std::nullopt;
  return request.file;
}

bool IsOpenVerb(const std::string& verb) { return verb.empty() || verb == "open"; }

template <class Info>
BOOL Execute(Info* info, const Request& request) {
  Started started;
  bool virtual_folder = false;
  if (!IsOpenVerb(request.verb)) {
    started = Failure(SE_ERR_NOASSOC);
  } else if (const std::optional<std::string> path = ItemPath(request, virtual_folder); !path) {
    started = Failure(SE_ERR_FNF);
  } else {
    started = virtual_folder ? OpenDocument(*path, true, request.directory) : StartPath(*path, request, 0);
  }
  info->hProcess = nullptr;
  if (started.pid < 0) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(started.failure);
    SetLastError(LastErrorOf(started.failure));
    return FALSE;
  }
  info->hProcess = child_process::Adopt(started.pid, (request.mask & SEE_MASK_NOCLOSEPROCESS) != 0);
  info->hInstApp = reinterpret_cast<HINSTANCE>(kShellExecuteSucceeded);
  return TRUE;
}

std::string Narrow(LPCWSTR text) { return text == nullptr ? std::string() : Utf16ToUtf8(text); }
std::string Narrow(LPCSTR text) { return text == nullptr ? std::string() : std::string(text); }

template <class Info>
Request RequestOf(const Info& info) {
  Request request;
  request.mask = info.fMask;
  request.verb = Narrow(info.lpVerb);
  request.file = Narrow(info.lpFile);
  request.parameters = Narrow(info.lpParameters);
  request.directory = Narrow(info.lpDirectory);
  request.list = static_cast<LPCITEMIDLIST>(info.lpIDList);
  return request;
}

}  // namespace

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Execute(info, RequestOf(*info));
}

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Execute(info, RequestOf(*info));
}

namespace shell_execute {

bool OpenWith(const std::string& application_id, const std::string& path, const std::string& directory) {
  const std::optional<std::vector<std::string>> command = applications::CommandFor(application_id, path);
  if (!command) return false;
  const pid_t pid = child_process::Spawn(*command, directory);
  if (pid < 0) return false;
  child_process::Adopt(pid, false);
  return true;
}

}  // namespace shell_execute
}  // namespace win
