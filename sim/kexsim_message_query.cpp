#include "kexsim_message_query.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "kexsim_message_board.h"
#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

constexpr const char* kPath = "/kx2/get-messages-zbin.php";

// The parameter read in the given base; nullopt when absent or not a number.
template <typename T>
std::optional<T> parameter(const std::multimap<std::string, std::string>& form, const char* name, int base) {
  auto it = form.find(name);
  if (it == form.end() || it->second.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  T value = base == 16 ? static_cast<T>(std::strtoull(it->second.c_str(), &end, 16))
                       : static_cast<T>(std::strtoll(it->second.c_str(), &end, 10));
  if (*end != '\0' || errno != 0) return std::nullopt;
  return value;
}

std::string messageRecord(const ChannelMessage& message) {
  // A string field is exactly a group mark, the raw bytes and their NUL.
  RecordWriter w;
  w.int64(message.number).dateTime(message.time);
  w.string(message.text1).string(message.text2).string(message.text3);
  return w.recordEnd().take();
}

void serveMessages(Exchange& exchange) {
  std::multimap<std::string, std::string> form = parseForm(exchange.request.query);
  auto channel = form.find("channel");
  std::string name = channel == form.end() ? "" : channel->second;
  const MessageBoard& board = exchange.server.messages;
  std::vector<ChannelMessage> messages;
  if (std::optional<uint64_t> since = parameter<uint64_t>(form, "since", 16)) {
    messages = board.byTime(name, *since, parameter<uint64_t>(form, "till", 16));
  } else if (std::optional<int64_t> from = parameter<int64_t>(form, "from", 10)) {
    messages = board.byNumber(name, *from, parameter<int64_t>(form, "to", 10));
  }
  std::vector<std::string> records;
  records.reserve(messages.size() + 1);
  for (const ChannelMessage& message : messages) records.push_back(messageRecord(message));
  records.push_back(RecordWriter().recordEnd().take());
  if (exchange.reply.sendHead(200, "application/octet-stream")) exchange.reply.sendRecords(std::move(records));
}

}  // namespace

std::vector<Route> messageQueryRoutes() { return {{kPath, kMessageQueryKind, true, serveMessages}}; }

}  // namespace kexsim
