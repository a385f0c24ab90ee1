// The committed crasher folders: each holds the inputs that once broke a codec and an ORIGINS
// file naming each of them with where it came from.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dashtune::crashers {

// The file names ORIGINS lists, in its order; its lines read "name: origin", '#' starts a comment.
inline std::vector<std::string> Listed(const std::string& folder) {
  std::ifstream in(folder + "/ORIGINS");
  std::vector<std::string> names;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') names.push_back(line.substr(0, line.find(':')));
  return names;
}

// The names of the files in `folder` ending in `extension` ("name.gif"), sorted.
inline std::vector<std::string> Present(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == extension) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// `names` sorted, for comparing a listing with the folder.
inline std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace dashtune::crashers
