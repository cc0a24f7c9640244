#include "kxcli_watch.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "kxcli_script.h"
#include "kxcli_watch_model.h"
#include "kxcli_watch_screen.h"

namespace kxcli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDrawGap = std::chrono::milliseconds(50);  // at most 20 repaints a second
constexpr auto kTick = std::chrono::milliseconds(50);     // how often stop, keys and changes are looked at

constexpr const char* kEnterScreen = "\x1b[?1049h\x1b[?25l\x1b[H\x1b[2J";  // alternate screen, cursor hidden
constexpr const char* kLeaveScreen = "\x1b[?25h\x1b[?1049l";
constexpr const char* kHome = "\x1b[H";
constexpr const char* kClearToEnd = "\x1b[K";

void writeAll(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nobody reads any more
    done += static_cast<size_t>(n);
  }
}

// The board's screen for the life of the object: the alternate screen with
// the cursor hidden, and, when standard input is a terminal, keys read one by
// one without echo (Ctrl-C still raises SIGINT). Both are undone at the end.
class Terminal {
 public:
  Terminal() {
    keys_ = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved_) == 0;
    if (keys_) {
      termios raw = saved_;
      raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
      raw.c_cc[VMIN] = 0;
      raw.c_cc[VTIME] = 0;
      ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    restoreKeys_ = keys_;  // keys_ goes off if the terminal hangs up; the settings come back all the same
    writeAll(kEnterScreen);
  }
  ~Terminal() {
    writeAll(kLeaveScreen);
    if (restoreKeys_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool keys() const { return keys_; }

  // What was typed within `wait` (nothing without keys: then it only waits).
  std::string read(Clock::duration wait) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
    if (::poll(&in, keys_ ? 1 : 0, static_cast<int>(ms)) <= 0) return {};
    char bytes[64];
    const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (n <= 0 && (in.revents & (POLLHUP | POLLERR))) keys_ = false;  // the terminal went away
    return n > 0 ? std::string(bytes, static_cast<size_t>(n)) : std::string();
  }

  ScreenSize size() const {
    winsize w{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0 && w.ws_row > 0) return {w.ws_col, w.ws_row};
    return {};
  }

  // Every line is rewritten and cleared to its end, so nothing scrolls and nothing old stays.
  void paint(const std::vector<std::string>& lines) {
    std::string out = kHome;
    for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\r\n" : "") + lines[i] + kClearToEnd;
    writeAll(out);
  }

 private:
  termios saved_{};
  bool keys_ = false;
  bool restoreKeys_ = false;
};

std::string errorOf(const Line& result) {
  for (const auto& [key, value] : result) {
    if (key == "error") return value.asText();
  }
  for (const auto& [key, value] : result) {
    if (key == "hresult") return "failed with " + std::to_string(value.asInteger());
  }
  return "failed";
}

// One run of the board: the calls, the keys and the repaints on the main
// thread; events change the model on the firing threads under the board's lock.
class Watch {
 public:
  Watch(WatchModel& model, Component& component, EventBoard& board, Terminal& terminal)
      : model_(model), component_(component), board_(board), terminal_(terminal) {}

  void run(const Connection& c, std::optional<double> forSeconds) {
    std::optional<Clock::time_point> deadline;
    if (forSeconds) deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(*forSeconds));
    repaintIfDue();
    call("connect", "", {c.host, std::to_string(c.port), c.login, c.password});
    while (!board_.stopped()) {
      const auto now = Clock::now();
      if (deadline && now >= *deadline) return;
      const auto wait = deadline ? std::min<Clock::duration>(kTick, *deadline - now) : Clock::duration(kTick);
      for (Key key : decodeKeys(terminal_.read(wait))) {
        if (key == Key::kQuit) return;
        choose(key == Key::kUp ? -1 : 1);
      }
      subscribeOnceConnected();
      repaintIfDue();
    }
  }

 private:
  // A refusal goes to the model, under `symbol` ("" for connect).
  bool call(const char* method, const std::string& symbol, const std::vector<std::string>& texts) {
    std::vector<Word> words;
    for (const std::string& t : texts) words.push_back(Word{t, false});
    HRESULT hr = S_OK;
    const Line result = component_.call(method, words, &hr);
    if (FAILED(hr)) board_.withLock([&] { model_.fail(symbol, errorOf(result)); });
    return SUCCEEDED(hr);
  }

  void subscribeOnceConnected() {
    if (subscribed_) return;
    std::vector<std::string> symbols;
    std::string selected;
    board_.withLock([&] {
      if (model_.state() != SessionState::kConnected) return;
      for (const QuoteRow& r : model_.rows()) symbols.push_back(r.symbol);
      selected = model_.selected();
    });
    if (symbols.empty()) return;
    subscribed_ = true;
    for (const std::string& s : symbols) call("ListenQuotes", s, {s});
    call("ListenBidAsks", selected, {selected});
  }

  // The book follows the selection: the old symbol's is cancelled (a refusal
  // there was already shown when it was listened to), the new one's listened to.
  void choose(int step) {
    std::string before;
    std::string after;
    board_.withLock([&] {
      before = model_.selected();
      if (model_.select(step)) after = model_.selected();
    });
    if (after.empty() || !subscribed_) return;
    HRESULT ignored = S_OK;
    component_.call("CancelBidAsks", {Word{before, false}}, &ignored);
    call("ListenBidAsks", after, {after});
  }

  // Rendered from a copy, so that events wait only for the copy.
  void repaintIfDue() {
    bool changed = false;
    board_.withLock([&] { changed = model_.dirty(); });
    if (!changed || !throttle_.allow(Clock::now())) return;
    std::optional<WatchModel> shown;
    board_.withLock([&] {
      shown = model_;
      model_.markClean();
    });
    terminal_.paint(renderBoard(*shown, terminal_.size(), terminal_.keys()));
  }

  WatchModel& model_;
  Component& component_;
  EventBoard& board_;
  Terminal& terminal_;
  DrawThrottle throttle_{kDrawGap};
  bool subscribed_ = false;
};

}  // namespace

int runWatch(const std::vector<std::string>& symbols, const Connection& connection, std::optional<double> forSeconds,
             Component& component, EventBoard& board) {
  WatchModel model(symbols, connection.host + ":" + std::to_string(connection.port));
  board.setWatcher([&model](const std::string& event, const Line& line) { model.apply(event, line); });
  {
    Terminal terminal;
    Watch(model, component, board, terminal).run(connection, forSeconds);
  }
  board.setWatcher(nullptr);  // later events must not reach the model
  for (const std::string& error : model.errors()) std::fprintf(stderr, "kxcli: %s\n", error.c_str());
  return model.errors().empty() ? kExitOk : kExitFailure;
}

}  // namespace kxcli
