// The sample folder the page shows when no folder is given: pictures made by the project's own
// PNG and GIF encoders, a short clip from GStreamer's test sources and a sub-folder. Made once
// under the user's cache folder.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace carpc {

// Receives one line of progress for work that takes longer than a second.
using ProgressLine = std::function<void(const std::string& line)>;

// The cache folder of the user: $XDG_CACHE_HOME, else $HOME/.cache.
std::filesystem::path UserCacheFolder();

// Answers the sample folder, making it first when it is missing or incomplete. Raises
// std::runtime_error when it cannot be made.
std::filesystem::path EnsureSampleFolder(const ProgressLine& progress);

}  // namespace carpc
