#include "kexsim_reply.h"

#include "kexsim_http.h"

namespace kexsim {

const std::string& Reply::corruptRecord() {
  static const std::string kBytes("\xDD\xF0", 2);
  return kBytes;
}

bool Reply::write(const std::string& bytes) {
  if (!open_) return false;
  if (!connection_.writeAll(bytes)) open_ = false;
  return open_;
}

bool Reply::sendHead(int status, const std::string& contentType, long contentLength) {
  return write(responseHead(status, contentType, contentLength));
}

bool Reply::sendText(int status, const std::string& contentType, const std::string& body) {
  return sendText(ReplyHead{status, contentType}, body);
}

bool Reply::sendText(ReplyHead head, const std::string& body) {
  head.contentLength = static_cast<long>(body.size());
  if (!write(responseHead(head))) return false;
  bodyStarted_ = true;
  switch (fault_.type) {
    case FaultType::kCloseMidBody:
      write(body.substr(0, body.size() / 2));
      return open_ = false;
    case FaultType::kCloseBeforeEnd: {
      // The last line plays the end record of a text reply.
      size_t cut = body.find_last_of('\n', body.size() >= 2 ? body.size() - 2 : 0);
      write(body.substr(0, cut == std::string::npos ? 0 : cut + 1));
      return open_ = false;
    }
    default:
      return write(body);
  }
}

bool Reply::sendEncoded(const std::string& blocks) {
  bodyStarted_ = true;
  return write(blocks);
}

std::string Reply::encode(const std::vector<std::string>& records) {
  std::string block;
  if (!encoder_) encoder_.emplace();
  for (const std::string& record : records) encoder_->compress(record, block);
  encoder_->endBlock(block);
  return block;
}

bool Reply::applyRecordFault(std::vector<std::string>& records) {
  switch (fault_.type) {
    case FaultType::kCorruptRecord:
      records.insert(records.begin() + (records.empty() ? 0 : 1), corruptRecord());
      return false;
    case FaultType::kCloseBeforeEnd:
      if (!records.empty()) records.pop_back();
      return false;
    default:
      return true;
  }
}

bool Reply::sendRecords(std::vector<std::string> records) {
  if (!open_) return false;
  bool first = !bodyStarted_;
  bodyStarted_ = true;
  bool goesOn = first ? applyRecordFault(records) : true;
  std::string block = encode(records);
  if (first && fault_.type == FaultType::kCloseMidBody) {
    block.resize(block.size() / 2);
    goesOn = false;
  }
  write(block);
  if (!goesOn) open_ = false;
  return open_;
}

}  // namespace kexsim
