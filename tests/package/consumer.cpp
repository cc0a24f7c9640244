// A program of a C++ user, built against the installed package only: logs on
// to a server with the wexel library, then loads the installed component
// module with the host helper and asks the KxServer object for its version.
//
//   consumer HOST PORT MODULE
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"
#include "wexel/wexel_errors.h"
#include "wexel/wexel_instance.h"

namespace {

class ConsoleLogger : public wexel::WexelLogger {
 public:
  void log(const char* line) override { std::fprintf(stderr, "wexel: %s\n", line); }
};

class Logon : public wexel::WexelLogonListener {
 public:
  void onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>&,
               const std::vector<std::string>&) override {
    finish("logged on, " + std::to_string(portfolios.size()) + " portfolios", true);
  }
  void onError(const std::string& message, int code) override {
    finish("logon failed: " + message + " (" + std::to_string(code) + ")", false);
  }
  void onUpdateInfo(const std::string&, int64_t, const std::string&) override {}

  bool wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait_for(hold, std::chrono::seconds(10), [&] { return done_; });
    return ok_;
  }

 private:
  void finish(const std::string& what, bool ok) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::printf("%s\n", what.c_str());
    ok_ = ok;
    done_ = true;
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false, ok_ = false;
};

bool logOn(const std::string& host, int port) {
  static ConsoleLogger logger;
  if (!wexel::libraryStartup(&logger, wexel::kLogError, "PackageConsumer/1,0,0,0")) return false;
  wexel::WexelInstance* instance = wexel::createInstance(wexel::WInstanceConfig{});
  Logon logon;
  const bool ok = instance->logonAndWait(host, static_cast<uint16_t>(port), "demo", "demo", 10000, false, &logon) &&
                  logon.wait();
  instance->logout();
  wexel::releaseInstance(instance);
  wexel::libraryShutdown();
  return ok;
}

bool askVersion(const std::string& modulePath) {
  std::string error;
  auto module = quarnel3::host::Module::load(modulePath, &error);
  if (!module) return std::fprintf(stderr, "consumer: %s\n", error.c_str()), false;
  IQuarnelVersion* version = nullptr;
  if (FAILED(module->createInstance(CLSID_KxServer, IID_IQuarnelVersion, reinterpret_cast<void**>(&version)))) {
    return std::fprintf(stderr, "consumer: no KxServer object from %s\n", modulePath.c_str()), false;
  }
  INT v[4] = {};
  const HRESULT hr = version->GetKxClientVersion(&v[0], &v[1], &v[2], &v[3]);
  version->Release();
  if (FAILED(hr)) return false;
  std::printf("component %d.%d.%d.%d\n", v[0], v[1], v[2], v[3]);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: consumer HOST PORT MODULE\n");
    return 2;
  }
  const bool ok = logOn(argv[1], std::stoi(argv[2])) && askVersion(argv[3]);
  return ok ? 0 : 1;
}
