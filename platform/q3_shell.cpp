// Shell services on POSIX.
#include "q3_shell.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace q3 {

namespace {

// Private to the user, as the XDG rules ask of the data home.
constexpr mode_t kDataHomeMode = 0700;

bool makeDirectory(const std::string& path, mode_t mode) { return ::mkdir(path.c_str(), mode) == 0 || isDirectory(path); }

// Every missing level of `path`, each with `mode`.
bool makeDirectories(const std::string& path, mode_t mode) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    makeDirectory(path.substr(0, slash), mode);
  }
  return makeDirectory(path, mode);
}

}  // namespace

// The local application-data folder always exists on the system the component
// was designed for; on a new account here the data home may not, so it is made.
std::optional<std::string> localAppDataFolder() {
  std::string folder;
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (data && *data) {
    folder = data;
  } else if (home && *home) {
    folder = pathAppend(pathAppend(home, ".local"), "share");
  } else {
    return std::nullopt;
  }
  if (!isDirectory(folder)) makeDirectories(folder, kDataHomeMode);
  return folder;
}

std::string pathAppend(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool createDirectory(const std::string& path) { return makeDirectory(path, 0755); }

bool createDirectories(const std::string& path) { return makeDirectories(path, 0755); }

bool renameFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

std::string modulePath(const void* address) {
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

}  // namespace q3
