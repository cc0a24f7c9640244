#include "kexsim_message_board.h"

#include "kexsim_cp1251.h"
#include "kexsim_market.h"

namespace kexsim {

MessageBoard::MessageBoard(const Scenario& scenario, std::time_t marketStart) {
  for (const NamedEntry& channel : scenario.news) {
    std::vector<ChannelMessage>& messages = channels_[channel.code];
    for (int n = 1; n <= kStartingMessages; ++n) {
      ChannelMessage message;
      message.number = n;
      message.time = packedTime(marketStart - static_cast<std::time_t>(kStartingMessages - n + 1) * 60);
      message.text1 = toCp1251("Сообщение " + std::to_string(n));
      message.text2 = channel.code + toCp1251(": текст сообщения " + std::to_string(n));
      message.text3 = channel.description;
      messages.push_back(std::move(message));
    }
  }
}

int64_t MessageBoard::add(const std::string& channel, uint64_t time, std::string text1, std::string text2,
                          std::string text3) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ChannelMessage>& messages = channels_[channel];
  ChannelMessage message;
  message.number = messages.empty() ? 1 : messages.back().number + 1;
  message.time = time;
  message.text1 = std::move(text1);
  message.text2 = std::move(text2);
  message.text3 = std::move(text3);
  messages.push_back(std::move(message));
  return messages.back().number;
}

std::vector<ChannelMessage> MessageBoard::byNumber(const std::string& channel, int64_t from,
                                                   std::optional<int64_t> to) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ChannelMessage> found;
  auto it = channels_.find(channel);
  if (it == channels_.end()) return found;
  for (const ChannelMessage& message : it->second) {
    if (message.number >= from && (!to || *to == 0 || message.number <= *to)) found.push_back(message);
  }
  return found;
}

std::vector<ChannelMessage> MessageBoard::byTime(const std::string& channel, uint64_t since,
                                                 std::optional<uint64_t> till) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ChannelMessage> found;
  auto it = channels_.find(channel);
  if (it == channels_.end()) return found;
  for (const ChannelMessage& message : it->second) {
    uint64_t time = message.time >> 8;
    if (time >= since && (!till || time <= *till)) found.push_back(message);
  }
  return found;
}

}  // namespace kexsim
