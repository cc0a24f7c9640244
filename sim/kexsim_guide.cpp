#include "kexsim_guide.h"

#include <charconv>

#include "kexsim_record_writer.h"
#include "kexsim_script.h"
#include "kexsim_security_fields.h"

namespace kexsim {
namespace {

constexpr int kSecuritiesSection = 4;

// The shortest fixed-point text that reads back as the value.
std::string decimalText(double value) {
  char text[400];
  auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

void writeField(RecordWriter& writer, const SecurityField& field, const Security& security) {
  std::visit(
      [&](auto member) {
        const auto& value = security.*member;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::string>) {
          if (field.type == WireType::kDateTime) {
            writer.dateTime(value.empty() ? 0 : packedTimeFromText(value));
          } else {
            writer.string(value);
          }
        } else if constexpr (std::is_same_v<T, int32_t>) {
          writer.int32(value);
        } else {
          writer.decimal(decimalText(value));
        }
      },
      field.member);
}

std::string sectionStart(int section) { return RecordWriter().small(section).recordEnd().take(); }

std::string sectionEnd() { return RecordWriter().recordEnd().take(); }

std::string pairRecord(const std::pair<std::string, std::string>& pair) {
  return RecordWriter().string(pair.first).string(pair.second).recordEnd().take();
}

}  // namespace

std::string securityRecord(const Security& security) {
  RecordWriter writer;
  size_t count = kRequiredSecurityFields + std::clamp(security.optionalFields, 0, 15);
  for (size_t i = 0; i < count; ++i) writeField(writer, securityFields()[i], security);
  return writer.recordEnd().take();
}

std::vector<std::string> guideRecords(const Scenario& scenario) {
  std::vector<std::string> records;
  for (int section = 1; section <= 3; ++section) {
    records.push_back(sectionStart(section));
    for (const auto& pair : scenario.guideSections[section - 1]) records.push_back(pairRecord(pair));
    records.push_back(sectionEnd());
  }
  records.push_back(sectionStart(kSecuritiesSection));
  for (const Security& security : scenario.securities) records.push_back(securityRecord(security));
  records.push_back(sectionEnd());
  return records;
}

void serveGuide(Exchange& exchange) {
  if (exchange.reply.sendHead(200, "application/octet-stream")) {
    exchange.reply.sendRecords(guideRecords(exchange.server.scenario));
  }
}

}  // namespace kexsim
