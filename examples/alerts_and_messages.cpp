// Using the wexel library directly, without the automation component: start
// the library, log on, add a price alert, list the alerts, read a message
// channel by number and by time, and remove the alert. Every result comes
// back through a listener, on the library's own threads; this program waits
// for each before the next.
//
//   alerts_and_messages                                  the built-in simulated server
//   alerts_and_messages HOST PORT LOGIN PASSWORD [PORTFOLIO] [CHANNEL]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "kexsim_server.h"  // only to run the example on its own
#include "wexel/wexel_errors.h"
#include "wexel/wexel_instance.h"

namespace {

// Prints the library's log lines of level 2 (errors) and below.
class ConsoleLogger : public wexel::WexelLogger {
 public:
  void log(const char* line) override { std::fprintf(stderr, "wexel: %s\n", line); }
};

// A listener call ends a step: the main thread waits for it.
class Step {
 public:
  void done(const std::string& what) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::printf("%s\n", what.c_str());
    finished_ = true;
    changed_.notify_all();
  }
  bool wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    const bool ok = changed_.wait_for(hold, std::chrono::seconds(10), [&] { return finished_; });
    finished_ = false;
    return ok;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
};

class Listeners : public wexel::WexelLogonListener,
                  public wexel::WexelAlertResultListener,
                  public wexel::WexelAlertsListener,
                  public wexel::WexelMessagesQueryListener {
 public:
  explicit Listeners(Step& step) : step_(step) {}

  // Logon: the portfolios granted, or why not.
  void onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>&,
               const std::vector<std::string>&) override {
    step_.done("logged on, " + std::to_string(portfolios.size()) + " portfolios");
  }
  void onError(const std::string& message, int code) override {
    step_.done("logon failed: " + message + " (" + std::to_string(code) + ")");
  }
  void onUpdateInfo(const std::string&, int64_t, const std::string&) override {}

  int64_t lastAlert() const { return lastAlert_; }

  // An alert added or removed: an empty message is success.
  void onResult(wexel::WContext, const std::string& portfolio, int64_t alertNo, const std::string& message,
                const std::string& action) override {
    lastAlert_ = alertNo;
    step_.done(action + " " + portfolio + " alert " + std::to_string(alertNo) +
               (message.empty() ? " ok" : " refused: " + message));
  }
  // The alert list.
  void onAlerts(void*, const std::vector<wexel::WAlert>& alerts, wexel::WContext) override {
    std::string text = std::to_string(alerts.size()) + " alerts";
    for (const wexel::WAlert& a : alerts) {
      text += "\n  #" + std::to_string(a.number3) + " " + a.text1 + " " + a.text2 + " at " + std::to_string(a.value10);
    }
    step_.done(text);
  }
  // Messages of a channel (texts in the server's code page, CP1251).
  void onResult(const std::string& channel, const std::vector<wexel::WChannelMessage>& messages,
                wexel::WContext) override {
    std::string text = std::to_string(messages.size()) + " messages on " + channel;
    for (const wexel::WChannelMessage& m : messages) {
      const wexel::WDateTime t = wexel::unpackTime(m.time);
      char when[32];
      std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                    t.second);
      text += "\n  #" + std::to_string(m.messageNumber) + " " + when + ", " + std::to_string(m.text1.size()) +
              "+" + std::to_string(m.text2.size()) + "+" + std::to_string(m.text3.size()) + " bytes of text";
    }
    step_.done(text);
  }
  // Errors of the queries and alert actions.
  void onError(wexel::WContext, const std::string& message, int code) override {
    step_.done("failed: " + message + " (" + std::to_string(code) + ")");
  }

 private:
  Step& step_;
  int64_t lastAlert_ = 0;  // written before the step ends, read after it
};

// Today at hh:mm:ss as a packed time (BCD digits, see wexel_packed_time.h).
wexel::PackedTime todayAt(int hour, int minute, int second) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return wexel::packTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, hour, minute, second});
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<kexsim::Server> simulated;
  std::string host = "127.0.0.1", login = "demo", password = "demo", portfolio = "D-10001", channel = "NEWS";
  uint16_t port = 0;
  if (argc >= 5) {
    host = argv[1];
    port = static_cast<uint16_t>(std::stoi(argv[2]));
    login = argv[3];
    password = argv[4];
    if (argc >= 6) portfolio = argv[5];
    if (argc >= 7) channel = argv[6];
  } else {
    simulated = std::make_unique<kexsim::Server>();
    std::string error;
    if (!simulated->start(&error)) {
      std::fprintf(stderr, "the simulated server did not start: %s\n", error.c_str());
      return 1;
    }
    port = simulated->plainPort();
  }

  static ConsoleLogger logger;
  wexel::libraryStartup(&logger, wexel::kLogError, "AlertsExample/1,0,0,0");
  wexel::WexelInstance* instance = wexel::createInstance(wexel::WInstanceConfig{});
  Step step;
  Listeners listeners(step);

  // logonAndWait returns once the logon is decided; the listener has the details.
  if (!instance->logonAndWait(host, port, login, password, 10000, false, &listeners)) {
    wexel::releaseInstance(instance);
    return 1;
  }
  step.wait();

  wexel::WAlertFields alert{};
  alert.fieldIndex = 1;      // LAST
  alert.conditionIndex = 2;  // RAISE
  alert.conditionValue = 260;
  alert.days = 1;
  alert.email = "robot@example.com";
  // Each operation answers whether it handed the request over; the outcome
  // comes to the listener.
  bool ok = instance->addAlert(portfolio, &listeners, 1, "MB", "SBER", 0, alert) && step.wait();
  ok = ok && instance->getAlerts(0, &listeners, 2) && step.wait();
  ok = ok && instance->getMessagesByNumber(channel, 1, 5, &listeners, 3) && step.wait();
  ok = ok && instance->getMessagesByTime(channel, todayAt(0, 0, 0), todayAt(23, 59, 59), &listeners, 4) && step.wait();
  ok = ok && instance->removeAlert(listeners.lastAlert(), portfolio, &listeners, 5) && step.wait();

  instance->logout();
  wexel::releaseInstance(instance);
  wexel::libraryShutdown();
  return ok ? 0 : 1;
}
