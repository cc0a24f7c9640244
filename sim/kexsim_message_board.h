// The messages of each message channel, kept for the message queries. Every
// news channel of the scenario starts with kStartingMessages messages numbered
// from 1, one a minute, the last a minute before the market starts; tests add
// more (long texts included) to any channel, known or not.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kexsim_scenario.h"

namespace kexsim {

// Texts in the server's code page (CP1251), without NUL bytes.
struct ChannelMessage {
  int64_t number = 0;
  uint64_t time = 0;  // packed
  std::string text1;  // subject
  std::string text2;  // body
  std::string text3;  // source
};

class MessageBoard {
 public:
  static constexpr int kStartingMessages = 20;

  MessageBoard(const Scenario& scenario, std::time_t marketStart);

  // Appends a message under the channel's next number and answers the number.
  int64_t add(const std::string& channel, uint64_t time, std::string text1, std::string text2,
              std::string text3);
  // Numbers from..to, both included; `to` 0 or absent: no upper bound.
  std::vector<ChannelMessage> byNumber(const std::string& channel, int64_t from,
                                       std::optional<int64_t> to) const;
  // Times since..till as the client sends them: packed times shifted right by 8.
  std::vector<ChannelMessage> byTime(const std::string& channel, uint64_t since,
                                     std::optional<uint64_t> till) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<ChannelMessage>> channels_;
};

}  // namespace kexsim
