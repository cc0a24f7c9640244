#include "kexsim_script.h"

#include <array>
#include <cctype>
#include <functional>
#include <string_view>

#include "kexsim_record_writer.h"

namespace kexsim {
namespace {

using TokenWriter = std::function<void(RecordWriter&, const std::string& argument, int32_t subscription)>;

struct TokenKind {
  const char* prefix;  // the token up to and including ':' (or the whole token)
  TokenWriter write;
};

int64_t integer(const std::string& text) {
  size_t used = 0;
  int64_t value = std::stoll(text, &used);
  if (used != text.size()) throw ScriptError("not an integer: '" + text + "'");
  return value;
}

const std::array<TokenKind, 10>& tokenKinds() {
  static const std::array<TokenKind, 10> kKinds{{
      {"#", [](RecordWriter& w, const std::string&, int32_t n) { w.int32(n); }},
      {"i:", [](RecordWriter& w, const std::string& a, int32_t) { w.int32(static_cast<int32_t>(integer(a))); }},
      {"l:", [](RecordWriter& w, const std::string& a, int32_t) { w.int64(integer(a)); }},
      {"d:",
       [](RecordWriter& w, const std::string& a, int32_t) {
         if (a.empty()) w.emptyNumber(); else w.decimal(std::string_view(a));
       }},
      {"t:", [](RecordWriter& w, const std::string& a, int32_t) { w.dateTime(packedTimeFromText(a)); }},
      {"e:", [](RecordWriter& w, const std::string& a, int32_t) { w.small(static_cast<int>(integer(a)) & 15); }},
      {"s:", [](RecordWriter& w, const std::string& a, int32_t) { w.string(a); }},
      {"g", [](RecordWriter& w, const std::string&, int32_t) { w.groupMark(); }},
      {"f", [](RecordWriter& w, const std::string&, int32_t) { w.recordEnd(); }},
      {"n:", [](RecordWriter& w, const std::string& a, int32_t) { w.nibble(std::stoi(a, nullptr, 16) & 15); }},
  }};
  return kKinds;
}

void writeToken(RecordWriter& writer, const std::string& token, int32_t subscription) {
  for (const TokenKind& kind : tokenKinds()) {
    std::string_view prefix(kind.prefix);
    bool withArgument = prefix.back() == ':';
    if (withArgument ? token.starts_with(prefix) : token == prefix) {
      kind.write(writer, token.substr(withArgument ? prefix.size() : token.size()), subscription);
      return;
    }
  }
  throw ScriptError("unknown record token '" + token + "'");
}

}  // namespace

std::string compileRecord(const std::vector<std::string>& tokens, int32_t subscription) {
  RecordWriter writer;
  try {
    for (const std::string& token : tokens) writeToken(writer, token, subscription);
  } catch (const std::logic_error& error) {  // std::stoll and friends
    throw ScriptError(std::string("bad record token: ") + error.what());
  }
  return writer.take();
}

void checkRecords(const std::vector<std::vector<std::string>>& records) {
  for (const auto& record : records) compileRecord(record, 1);
}

uint64_t packedTimeFromText(const std::string& text) {
  bool digits = text.size() == 14;
  for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  if (!digits) throw ScriptError("date-time must be YYYYMMDDhhmmss: '" + text + "'");
  auto part = [&](size_t at, size_t length) { return std::stoi(text.substr(at, length)); };
  return packTime(part(0, 4), part(4, 2), part(6, 2), part(8, 2), part(10, 2), part(12, 2));
}

}  // namespace kexsim
