// Shell services on POSIX.
#include "q3_shell.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace q3 {

std::optional<std::string> localAppDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return std::string(data);
  const char* home = std::getenv("HOME");
  if (home && *home) return pathAppend(pathAppend(home, ".local"), "share");
  return std::nullopt;
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

bool createDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0 || isDirectory(path); }

bool createDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    createDirectory(path.substr(0, slash));
  }
  return createDirectory(path);
}

bool renameFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

std::string modulePath(const void* address) {
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string(info.dli_fname);
}

}  // namespace q3
