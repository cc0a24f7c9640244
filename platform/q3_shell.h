// The shell services the component expects: the local application-data folder,
// path joining and tests, one-level directory creation, renaming, and the path
// of the loaded module.
#pragma once

#include <optional>
#include <string>

namespace q3 {

// $XDG_DATA_HOME, else $HOME/.local/share, created (mode 0700, parents too)
// when missing; nullopt when neither HOME nor XDG_DATA_HOME is set.
std::optional<std::string> localAppDataFolder();

// Joins with one "/" between the parts.
std::string pathAppend(const std::string& directory, const std::string& name);

bool isDirectory(const std::string& path);
bool fileExists(const std::string& path);
// Creates one level; false when it cannot (the parent missing included).
bool createDirectory(const std::string& path);
// Creates every missing level.
bool createDirectories(const std::string& path);
bool renameFile(const std::string& from, const std::string& to);

// Absolute path of the shared object (or executable) holding `address`.
std::string modulePath(const void* address);

}  // namespace q3
