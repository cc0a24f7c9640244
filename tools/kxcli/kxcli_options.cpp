#include "kxcli_options.h"

#include <charconv>
#include <cmath>

#include "kxcli_arguments.h"

namespace kxcli {

const char* const kUsage =
    "usage: kxcli [connection] [--config TEXT] [--module PATH] [--format json|text] [--for SECONDS]\n"
    "             (--script FILE | COMMAND ARG...)\n"
    "connection:  --sim (the default) | --host HOST --port PORT --login LOGIN --password PASSWORD\n"
    "commands:    quotes SYMBOL...   book SYMBOL...   ticks SYMBOL...   symbols   portfolios\n"
    "             bars SYMBOL INTERVAL SINCE COUNT   trades SYMBOL FROM COUNT   portfolio NAME\n"
    "             place PORTFOLIO SYMBOL ACTION TYPE VALIDITY PRICE AMOUNT STOP COOKIE\n"
    "             cancel PORTFOLIO SYMBOL ORDERID   move PORTFOLIO ORDERID PRICE\n"
    "             orders NAME   my-trades NAME   closed NAME   version\n"
    "             watch SYMBOL...   (a live board of quotes and the first symbol's order book)\n"
    "script:      one directive per line: METHOD ARG... | wait EVENT [COUNT] [TIMEOUT_S] | sleep MS | quit\n"
    "             (FILE - reads standard input; $KXCLI_HOST, $KXCLI_PORT, $KXCLI_LOGIN and\n"
    "             $KXCLI_PASSWORD hold the connection's values)\n"
    "Documentation: docs/kxcli.md, or man kxcli once installed\n";

namespace {

class Reader {
 public:
  Reader(int argc, char** argv) : argc_(argc), argv_(argv) {}

  bool parse(Options* o, std::string* error) {
    bool optionsEnded = false;
    for (index_ = 1; index_ < argc_; ++index_) {
      const std::string word = argv_[index_];
      if (!optionsEnded && word == "--") {
        optionsEnded = true;
      } else if (optionsEnded || word.rfind("--", 0) != 0) {
        o->command.push_back(word);  // negative numbers have one dash: they stay words
      } else if (!option(o, word, error)) {
        return false;
      }
    }
    return check(o, error);
  }

 private:
  bool value(const std::string& name, std::string* out, std::string* error) {
    if (hasInline_) {
      *out = inlineValue_;
      return true;
    }
    if (index_ + 1 >= argc_) {
      *error = name + " needs a value";
      return false;
    }
    *out = argv_[++index_];
    return true;
  }

  bool option(Options* o, const std::string& word, std::string* error) {
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    hasInline_ = equals != std::string::npos;
    inlineValue_ = hasInline_ ? word.substr(equals + 1) : "";
    std::string v;
    if (name == "--sim" || name == "--help") {
      if (hasInline_) return fail(error, name + " takes no value");
      (name == "--sim" ? o->sim : o->help) = true;
      return true;
    }
    if (!value(name, &v, error)) return false;
    if (name == "--host") {
      o->host = v;
    } else if (name == "--port") {
      uint16_t port = 0;
      const auto r = std::from_chars(v.data(), v.data() + v.size(), port);
      if (r.ec != std::errc() || r.ptr != v.data() + v.size() || port == 0) return fail(error, "bad --port " + v);
      o->port = port;
    } else if (name == "--login") {
      o->login = v;
    } else if (name == "--password") {
      o->password = v;
    } else if (name == "--config") {
      o->config = v;
    } else if (name == "--module") {
      o->modulePath = v;
    } else if (name == "--format") {
      if (v != "json" && v != "text") return fail(error, "--format is json or text");
      o->format = v == "json" ? Format::kJson : Format::kText;
    } else if (name == "--for") {
      const auto seconds = parseDouble(v);
      if (!seconds || !(*seconds >= 0) || !std::isfinite(*seconds)) return fail(error, "bad --for " + v);
      o->forSeconds = *seconds;
    } else if (name == "--script") {
      o->script = v;
    } else {
      return fail(error, "unknown option " + name);
    }
    return true;
  }

  static bool fail(std::string* error, const std::string& reason) {
    *error = reason;
    return false;
  }

  static bool check(Options* o, std::string* error) {
    if (o->help) return true;
    if (o->host && o->sim) return fail(error, "--sim and --host exclude each other");
    if (o->host && !o->port) return fail(error, "--host needs --port");
    if (o->host && !o->login) return fail(error, "--host needs --login");
    if (!o->host && o->port) return fail(error, "--port needs --host");
    if (o->script && !o->command.empty()) return fail(error, "a script and a command exclude each other");
    if (!o->script && o->command.empty()) return fail(error, "give --script FILE or a command");
    return true;
  }

  int argc_;
  char** argv_;
  int index_ = 1;
  bool hasInline_ = false;
  std::string inlineValue_;
};

}  // namespace

bool parseOptions(int argc, char** argv, Options* options, std::string* error) {
  return Reader(argc, argv).parse(options, error);
}

}  // namespace kxcli
