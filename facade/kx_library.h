// Process-wide start of the facade's logging and of the client library:
// done by the first connect of the process, undone when the module unloads.
#pragma once

#include <string>

namespace kx {

inline constexpr int kVersion[4] = {3, 0, 137, 4293};
inline constexpr const char* kVersionText = "3,0,137,4293";
inline constexpr const char* kProduct = "Quarnel3/3,0,137,4293";

// Creates the logger in `logDirectory` (ending with "/") and starts the client
// library unless that has happened already. False when the start failed.
bool startLibraryOnce(const std::string& logDirectory, int logLevel, int workerThreads,
                      const std::string& logFilePath);

}  // namespace kx
