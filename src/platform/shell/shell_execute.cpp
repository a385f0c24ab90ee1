#include "platform/shell/shell_execute.h"

#include "platform/core/errors.h"
#include "platform/core/message_box.h"
#include "platform/core/strings.h"
#include "platform/shell/applications.h"
#include "platform/shell/child_process.h"
#include "platform/shell/desktop_entry.h"
#include "platform/shell/namespace_model.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

namespace win {
namespace {

constexpr std::string_view kLinkSuffix = ".desktop";

// What one request asks, in UTF-8.
struct Request {
  ULONG mask = 0;
  HWND window = nullptr;
  std::string verb;
  std::string file;
  std::string parameters;
  std::string directory;
  LPCITEMIDLIST list = nullptr;
};

// How a request ended: a pid, or the error to report (hInstApp, last error, the text shown).
struct Started {
  pid_t pid = -1;
  INT_PTR failure = 0;
  DWORD last_error = ERROR_SUCCESS;
  std::string text;
};

Started Failure(INT_PTR code, DWORD last_error, std::string text) { return Started{-1, code, last_error, std::move(text)}; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

Started NoAssociation(const std::string& path) {
  return Failure(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION, "No application is set to open " + Quoted(path) + ".");
}

// A program that could not be started, by the error the system gave.
Started FailureOfErrno(int error, const std::string& program) {
  switch (error) {
    case ENOENT: return Failure(SE_ERR_FNF, ERROR_FILE_NOT_FOUND, "Cannot find " + Quoted(program) + ".");
    case ENOTDIR: return Failure(SE_ERR_PNF, ERROR_PATH_NOT_FOUND, "Cannot find the folder of " + Quoted(program) + ".");
    case EACCES:
    case EPERM: return Failure(SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED, "Access to " + Quoted(program) + " is denied.");
    case ENOMEM: return Failure(SE_ERR_OOM, ERROR_NOT_ENOUGH_MEMORY, "Not enough memory to start " + Quoted(program) + ".");
    case E2BIG:
      return Failure(static_cast<INT_PTR>(ERROR_BAD_ENVIRONMENT), ERROR_BAD_ENVIRONMENT,
                     "The argument list of " + Quoted(program) + " is too long to start it.");
    case ENOEXEC:
      return Failure(static_cast<INT_PTR>(ERROR_BAD_FORMAT), ERROR_BAD_FORMAT,
                     Quoted(program) + " is not a program this system can run.");
    default:
      return Failure(SE_ERR_FNF, ERROR_FILE_NOT_FOUND, "Cannot start " + Quoted(program) + ": " + std::strerror(error) + ".");
  }
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Started SpawnCommand(const std::vector<std::string>& command, const std::string& directory) {
  if (!directory.empty() && !IsFolder(directory))
    return Failure(SE_ERR_PNF, ERROR_PATH_NOT_FOUND, "The working folder " + Quoted(directory) + " does not exist.");
  const pid_t pid = child_process::Spawn(command, directory);
  return pid < 0 ? FailureOfErrno(errno, command.front()) : Started{pid};
}

// Runs the command with the request's parameters split and appended; parameters that do not
// split (an open quote) start nothing.
Started SpawnWithParameters(std::vector<std::string> command, const Request& request, const std::string& directory) {
  const std::optional<std::vector<std::string>> extra = applications::SplitArguments(request.parameters);
  if (!extra)
    return Failure(SE_ERR_FNF, ERROR_INVALID_PARAMETER, "The parameters " + Quoted(request.parameters) + " have an open quote.");
  command.insert(command.end(), extra->begin(), extra->end());
  return SpawnCommand(command, directory);
}

Started OpenDocument(const std::string& path, bool is_folder, const std::string& directory) {
  if (const char* opener = std::getenv(std::string(kOpenerVariable).c_str()); opener != nullptr && *opener != '\0') {
    std::optional<std::vector<std::string>> command = applications::SplitArguments(opener);
    if (!command || command->empty()) return NoAssociation(path);
    command->push_back(path);
    return SpawnCommand(*command, directory);
  }
  const std::optional<applications::Application> application =
      applications::DefaultFor(applications::ContentTypeOf(path, is_folder));
  if (!application) return NoAssociation(path);
  const std::optional<std::vector<std::string>> command = applications::CommandFor(application->id, path);
  if (!command) return NoAssociation(path);
  return SpawnCommand(*command, directory);
}

// A Type=Link opens what it names, whatever that is: it never runs it.
Started OpenLinkTarget(const desktop_entry::LinkData& link, const std::string& path, const std::string& directory) {
  if (!link.target.starts_with('/')) return NoAssociation(link.target);
  struct stat info {};
  if (stat(link.target.c_str(), &info) != 0)
    return Failure(SE_ERR_FNF, ERROR_FILE_NOT_FOUND,
                   "The target " + Quoted(link.target) + " of the link " + Quoted(path) + " does not exist.");
  return OpenDocument(link.target, S_ISDIR(info.st_mode), directory);
}

// An application link runs only an executable program its Exec line names, with the Exec
// line's arguments as they stand.
Started RunLinkProgram(const desktop_entry::LinkData& link, const std::string& path, const Request& request,
                       const std::string& directory) {
  const std::string& program = link.target;
  const std::string refusal = "The link " + Quoted(path) + " cannot run " + Quoted(program) + ": ";
  struct stat info {};
  if (!program.starts_with('/') || stat(program.c_str(), &info) != 0)
    return Failure(SE_ERR_FNF, ERROR_FILE_NOT_FOUND, refusal + "there is no such program.");
  if (S_ISDIR(info.st_mode)) return Failure(SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED, refusal + "it is a folder.");
  if (!S_ISREG(info.st_mode) || access(program.c_str(), X_OK) != 0)
    return Failure(SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED, refusal + "it is not an executable program.");
  std::vector<std::string> command{program};
  command.insert(command.end(), link.argv.begin(), link.argv.end());
  return SpawnWithParameters(std::move(command), request, directory);
}

Started StartLink(const std::string& path, const Request& request) {
  std::string error;
  const std::optional<desktop_entry::LinkData> link = desktop_entry::ReadFile(path, error);
  if (!link)
    return Failure(static_cast<INT_PTR>(ERROR_BAD_FORMAT), ERROR_BAD_FORMAT,
                   "The link " + Quoted(path) + " is not valid: " + error + ".");
  // The link's own working folder wins over the one the caller suggests.
  const std::string& directory = link->working_directory.empty() ? request.directory : link->working_directory;
  if (link->kind == desktop_entry::LinkKind::Link) return OpenLinkTarget(*link, path, directory);
  return RunLinkProgram(*link, path, request, directory);
}

Started StartPath(const std::string& path, const Request& request) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return FailureOfErrno(errno, path);
  if (S_ISDIR(info.st_mode)) return OpenDocument(path, true, request.directory);
  if (S_ISREG(info.st_mode) && path.ends_with(kLinkSuffix)) return StartLink(path, request);
  // Started by its full path: a bare name would be looked up in PATH, and a relative one would
  // be taken from the working folder the program starts in.
  if (S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0)
    return SpawnWithParameters({std::filesystem::absolute(path).string()}, request, request.directory);
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
    started = Failure(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION, "The verb " + Quoted(request.verb) + " is not known.");
  } else if (const std::optional<std::string> path = ItemPath(request, virtual_folder); !path) {
    started = Failure(SE_ERR_FNF, ERROR_FILE_NOT_FOUND, "The item to open cannot be found.");
  } else {
    started = virtual_folder ? OpenDocument(*path, true, request.directory) : StartPath(*path, request);
  }
  info->hProcess = nullptr;
  if (started.pid < 0) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(started.failure);
    if ((request.mask & SEE_MASK_FLAG_NO_UI) == 0)
      MessageBoxA(request.window, started.text.c_str(), "Error", MB_OK | MB_ICONERROR);
    SetLastError(started.last_error);
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
  request.window = info.hwnd;
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
