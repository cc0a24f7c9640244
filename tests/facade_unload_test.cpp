// Unloading the component module (a host's dlclose once DllCanUnloadNow says
// so) after its sessions are gone: the library's process-wide state is shut
// down, every thread of the module has been joined, the module really leaves
// the process (its log file closed), and loading it again starts everything
// afresh.
#include <sys/wait.h>

#include <fstream>
#include <thread>

#include "facade_test_support.h"
#include "kexsim_server.h"
#include "process_usage.h"

namespace {

using facade_testing::TempDir;

bool moduleMapped() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("libquarnel3.so") != std::string::npos) return true;
  }
  return false;
}

// Whether a descriptor of this process is open on the component's log file.
bool logFileOpen() {
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
    if (target.find("quarnel3-cli.log") != std::string::npos) return true;
  }
  return false;
}

template <typename Predicate>
bool eventually(Predicate p) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!p()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Creates an object, connects `sessions` times over TLS, disconnects and
// releases the object. False (after printing why) on a failure.
bool useObject(const quarnel3::host::Module& module, uint16_t port, int sessions) {
  IKxServer* server = nullptr;
  if (module.createInstance(CLSID_KxServer, IID_IKxServer, reinterpret_cast<void**>(&server)) != S_OK) {
    return std::fprintf(stderr, "no object\n"), false;
  }
  const quarnel3::host::Runtime& runtime = module.runtime();
  BSTR host = runtime.SysAllocString(u"127.0.0.1");
  BSTR demo = runtime.SysAllocString(u"demo");
  bool ok = true;
  for (int i = 0; i < sessions && ok; ++i) {
    ok = server->connect(host, port, demo, demo) == S_OK && eventually([&] {
           VARIANT_BOOL connected = VARIANT_FALSE;
           return server->IsConnected(&connected) == S_OK && connected == VARIANT_TRUE;
         });
    ok = server->disconnect() == S_OK && ok;
    if (!ok) std::fprintf(stderr, "session %d did not connect\n", i);
  }
  runtime.SysFreeString(host);
  runtime.SysFreeString(demo);
  server->Release();
  return ok;
}

// Loads the module, uses an object on a host thread, and unloads the module.
// The object is used on a thread that has ended before the unload: the module
// keeps thread_local objects with destructors (text converters, error
// information), and the C library keeps a module loaded while a live thread
// still has such objects to destroy.
bool loadUseAndUnload(uint16_t port, int sessions) {
  std::string error;
  std::shared_ptr<quarnel3::host::Module> module = quarnel3::host::Module::load(QUARNEL3_MODULE_PATH, &error);
  if (!module) return std::fprintf(stderr, "load: %s\n", error.c_str()), false;
  bool ok = false;
  std::thread host([&] { ok = useObject(*module, port, sessions); });
  host.join();
  // The last session retires on a teardown thread; the module can unload once
  // that has let go of it.
  if (!eventually([&] { return module->canUnloadNow() == S_OK; })) {
    return std::fprintf(stderr, "the module stays in use\n"), false;
  }
  module.reset();  // dlclose
  if (moduleMapped()) return std::fprintf(stderr, "the module is still mapped\n"), false;
  if (logFileOpen()) return std::fprintf(stderr, "the log file is still open\n"), false;
  return ok;
}

struct UnloadCase {
  const char* name;
  int sessions;  // per load; 0 leaves the library unstarted
};

const UnloadCase kCases[] = {
    {"NeverConnected", 0},
    {"OneSession", 1},
    {"ThreeSessions", 3},
};

// Two rounds of every case against kexsim; false (after printing why) on a
// failure or when threads are left behind.
bool unloadRounds() {
  kexsim::Server kexsim;
  if (!kexsim.start()) return false;
  const process_usage::Usage base = process_usage::now();
  for (int round = 0; round < 2; ++round) {
    for (const UnloadCase& c : kCases) {
      if (!loadUseAndUnload(kexsim.tlsPort(), c.sessions)) {
        std::fprintf(stderr, "%s, round %d failed\n", c.name, round);
        return false;
      }
      // kexsim's threads for the session's connections end as they see
      // the client's close, which may take a moment on a loaded machine.
      eventually([&] { return process_usage::now().threads <= base.threads; });
      const process_usage::Usage after = process_usage::now();
      if (after.threads > base.threads) {
        std::fprintf(stderr, "%s: %s before, %s after\n", c.name, process_usage::describe(base).c_str(),
                     process_usage::describe(after).c_str());
        return false;
      }
    }
  }
  return true;
}

// In a child process: the parent never loads the module, so the child can
// watch it leave completely.
TEST(ModuleUnload, EachLoadStartsAfreshAndTheUnloadLeavesNoThreadOrMapping) {
  TempDir root;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("XDG_DATA_HOME", (root.path() + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root.path() + "/config").c_str(), 1);
    ::setenv("QUARNEL3_REGISTRY_ROOT", (root.path() + "/registry").c_str(), 1);
    std::filesystem::create_directories(root.path() + "/registry");
    const bool ok = unloadRounds();
    std::fflush(nullptr);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
