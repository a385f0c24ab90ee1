// A fresh HOME and XDG tree for one test process, so that no test reads or writes the real home.
#pragma once

#include <string>

namespace dashtune::testing {

// Makes "<root>/home-XXXXXX" with .config, .local/share, .cache and a runtime folder, points
// HOME and the XDG variables at it and removes it when the process ends. Call it in main before
// anything asks GLib (which caches these folders) or reads HOME. `root` is a folder on the file
// system the tests' files live on.
void UseTemporaryHome(const std::string& root);

// The home made by UseTemporaryHome (empty before).
const std::string& TemporaryHome();

}  // namespace dashtune::testing
