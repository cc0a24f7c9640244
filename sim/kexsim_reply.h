// Writes one reply to a connection with the request's fault applied to its
// body: a text body (logon) or blocks of records, each record batch compressed
// as one block by the connection's own encoder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kexsim_connection.h"
#include "kexsim_encoder.h"
#include "kexsim_faults.h"
#include "kexsim_http.h"

namespace kexsim {

class Reply {
 public:
  Reply(Connection& connection, const Fault& fault) : connection_(connection), fault_(fault) {}

  // The status line and header. A content length below 0 sends none.
  bool sendHead(int status, const std::string& contentType, long contentLength = -1);
  // A whole text reply: head with its length, then the body.
  bool sendText(int status, const std::string& contentType, const std::string& body);
  // The same with a head of its own; its content length is the body's.
  bool sendText(ReplyHead head, const std::string& body);
  // A batch of decoded records as one compressed block.
  bool sendRecords(std::vector<std::string> records);
  // Blocks compressed elsewhere that refer to no earlier bytes (literals
  // only), as they are; no fault applies.
  bool sendEncoded(const std::string& blocks);
  // False once a fault has ended the reply or a write failed: the handler stops.
  bool open() const { return open_; }

  // Decoded bytes of a record that no reader of the client accepts: its first
  // nibble is the decimal point, which starts no field.
  static const std::string& corruptRecord();

 private:
  bool write(const std::string& bytes);
  std::string encode(const std::vector<std::string>& records);
  // Applies a body fault the first time a body is sent; answers false when the
  // reply ends with this write.
  bool applyRecordFault(std::vector<std::string>& records);

  Connection& connection_;
  Fault fault_;
  bool bodyStarted_ = false;
  bool open_ = true;
  // Made on the first compressed block: most replies are text and need none,
  // and its tables are large.
  std::optional<LZ77Encoder> encoder_;
};

}  // namespace kexsim
