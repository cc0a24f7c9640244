// End to end: kexsim's quotes firehose (a process of its own) through
// loopback into the component loaded with dlopen, each quote delivered as an
// UpdateQuote through IDispatch::Invoke to a sink that counts. Figures per
// run: events per second, CPU per event of the client process and of the
// server process, and the delay from kexsim's send to the sink (kexsim stamps
// one quote in 65 with its send time). A last row runs kxcli itself with its
// JSON lines read (and only counted) by this process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "quarnel3/host.h"
#include "quarnel3/quarnel3.h"

extern char** environ;

namespace {

constexpr int kStampStatus = 77;  // the trading status of a stamped quote
constexpr double kRunSeconds = 3;
const char* const kSymbols[] = {"SBER", "GAZP", "KXRA"};

// The component and kxcli built here, or others named in the environment
// (QUARNEL3_BENCH_MODULE, QUARNEL3_BENCH_KXCLI), to compare two builds with
// the same server.
std::string fromEnvironment(const char* name, const char* builtHere) {
  const char* value = std::getenv(name);
  return value && *value ? value : builtHere;
}

double monotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec / 1000);
}

double processCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double selfCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A child process with its standard output on a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;

  Child(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    out = pipeEnds[0];
  }
  ~Child() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }
  std::string readLine() {
    std::string line;
    char c;
    while (read(out, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
  }
};

// kexsim with its firehose at `rate` quotes a second (-1: unpaced); its port.
struct Kexsim : Child {
  int port = 0;
  explicit Kexsim(int rate) : Child({KEXSIM_PATH, "--port", "0", "--firehose", std::to_string(rate)}) {
    std::sscanf(readLine().c_str(), "kexsim plain port %d", &port);
    readLine();
  }
};

BSTR text(const quarnel3::host::Runtime& runtime, const char* ascii) {
  std::u16string wide(ascii, ascii + std::strlen(ascii));
  return runtime.SysAllocString(wide.c_str());
}

// The component with a counting sink, connected and listening to the quotes.
class Client {
 public:
  explicit Client(int port) {
    std::string error;
    module_ = quarnel3::host::Module::load(fromEnvironment("QUARNEL3_BENCH_MODULE", MODULE_PATH), &error);
    if (!module_ || FAILED(module_->createInstance(CLSID_KxServer, IID_IKxServer, reinterpret_cast<void**>(&server_)))) {
      throw std::runtime_error("the component did not load: " + error);
    }
    sink_ = quarnel3::host::newEventSink([this](const quarnel3::host::SinkCall& call) { return onEvent(call); });
    quarnel3::host::adviseEvents(server_, sink_, &cookie_);
    const auto& rt = module_->runtime();
    BSTR host = text(rt, "127.0.0.1"), login = text(rt, "demo"), password = text(rt, "demo");
    server_->connect(host, static_cast<USHORT>(port), login, password);
    rt.SysFreeString(host), rt.SysFreeString(login), rt.SysFreeString(password);
    for (int i = 0; i < 1000 && !connected_.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!connected_.load()) throw std::runtime_error("no Connected from kexsim");
    for (const char* symbol : kSymbols) {
      BSTR s = text(rt, symbol);
      server_->ListenQuotes(s);
      rt.SysFreeString(s);
    }
  }
  ~Client() {
    server_->disconnect();
    quarnel3::host::unadviseEvents(server_, cookie_);
    sink_->Release();
    server_->Release();
  }

  uint64_t quotes() const { return quotes_.load(); }
  // The delays measured since the last call, in microseconds.
  std::vector<double> takeDelays() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(delays_, {});
  }

 private:
  HRESULT onEvent(const quarnel3::host::SinkCall& call) {
    if (call.id == DISPID_Connected) connected_.store(true);
    if (call.id != DISPID_UpdateQuote || call.params.cArgs != 23) return S_OK;
    quotes_.fetch_add(1, std::memory_order_relaxed);
    // Arguments come last first: trading_status is the third from the end.
    if (call.params.rgvarg[2].lVal == kStampStatus) {
      const double delay = monotonicMicros() - call.params.rgvarg[0].dblVal;
      std::lock_guard<std::mutex> hold(mutex_);
      delays_.push_back(delay);
    }
    return S_OK;
  }

  std::shared_ptr<quarnel3::host::Module> module_;
  IKxServer* server_ = nullptr;
  IDispatch* sink_ = nullptr;
  DWORD cookie_ = 0;
  std::atomic<bool> connected_{false};
  std::atomic<uint64_t> quotes_{0};
  std::mutex mutex_;
  std::vector<double> delays_;
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

// One run of kRunSeconds after a second of warm-up.
void runFirehose(benchmark::State& state, int rate) {
  Kexsim kexsim(rate);
  if (kexsim.port == 0) return state.SkipWithError("kexsim did not start");
  Client client(kexsim.port);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (auto _ : state) {
    client.takeDelays();
    const uint64_t quotes0 = client.quotes();
    const double self0 = selfCpuSeconds(), server0 = processCpuSeconds(kexsim.pid);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(kRunSeconds));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double events = static_cast<double>(client.quotes() - quotes0);
    const double self = selfCpuSeconds() - self0, server = processCpuSeconds(kexsim.pid) - server0;
    const std::vector<double> delays = client.takeDelays();
    state.SetIterationTime(seconds);
    state.counters["events_per_second"] = events / seconds;
    state.counters["client_us_per_event"] = events > 0 ? self * 1e6 / events : 0;
    state.counters["server_us_per_event"] = events > 0 ? server * 1e6 / events : 0;
    state.counters["delay_p50_us"] = percentile(delays, 0.5);
    state.counters["delay_p99_us"] = percentile(delays, 0.99);
  }
}

void BM_E2EUnpaced(benchmark::State& state) { runFirehose(state, -1); }
void BM_E2EPaced(benchmark::State& state) { runFirehose(state, static_cast<int>(state.range(0))); }

// kxcli's own rate: its JSON lines read from a pipe and counted.
void BM_KxcliJsonLines(benchmark::State& state) {
  Kexsim kexsim(-1);
  if (kexsim.port == 0) return state.SkipWithError("kexsim did not start");
  for (auto _ : state) {
    std::vector<std::string> arguments{fromEnvironment("QUARNEL3_BENCH_KXCLI", KXCLI_PATH), "--host", "127.0.0.1", "--port", std::to_string(kexsim.port),
                                       "--login", "demo", "--password", "demo", "--for",
                                       std::to_string(static_cast<int>(kRunSeconds)), "quotes"};
    for (const char* symbol : kSymbols) arguments.push_back(symbol);
    Child kxcli(arguments);
    uint64_t lines = 0;
    double first = 0, last = 0;
    char buffer[1 << 16];
    for (long n; (n = read(kxcli.out, buffer, sizeof buffer)) > 0;) {
      const double now = monotonicMicros();
      if (first == 0) first = now;
      last = now;
      lines += static_cast<uint64_t>(std::count(buffer, buffer + n, '\n'));
    }
    const double seconds = std::max(last - first, 1.0) / 1e6;
    state.SetIterationTime(seconds);
    state.counters["lines_per_second"] = static_cast<double>(lines) / seconds;
  }
}

BENCHMARK(BM_E2EUnpaced)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_E2EPaced)->Arg(100000)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_KxcliJsonLines)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
