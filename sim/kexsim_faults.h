// Faults on demand: tests pick, per request kind, how the server misbehaves on
// the next requests of that kind.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace kexsim {

// The body faults act on the first body a reply sends: the text of a logon
// reply, the records of a guide reply, the first record batch of a feed. On a
// text reply the last line stands for the end record, and a corrupt record has
// no meaning there, so kCorruptRecord leaves a text reply alone.
enum class FaultType {
  kNone,
  kCloseMidBody,     // half of the first body write, then close
  kCloseBeforeEnd,   // the first body without its last record (or line), then close
  kCorruptRecord,    // a record no reader accepts after the first record, then close
  kStatus,           // reply with `status` (401, 403, 404, 500) and an empty body
  kDrip,             // every write carries one byte
  kDelay,            // wait `delayMs` before the reply starts
  kRefuseHandshake,  // TLS only: close before the handshake (kind "tls")
  kCloseUnanswered,  // read the request, then close without a reply
  kOmitOrderNo,      // order replies: no X-Order-NO header
  kCharset,          // order replies: texts in `charset` ("UTF-8", "CP1251", "windows-1251")
  kEndlessHeader,    // a status line and header lines without end (16 KiB), then silence for
                     // `delayMs` (default 2 s) with the connection open, then close
  kStall,            // feeds and portfolio streams: the first records, then nothing at all (no
                     // updates, no keep-alive answers) while the connection stays open
};

struct Fault {
  FaultType type = FaultType::kNone;
  int status = 0;
  int delayMs = 0;
  int times = 0;  // how many requests it hits; 0 = every request until cleared
  std::string charset = {};
};

// The pseudo-kind under which a TLS handshake refusal is set: the handshake
// happens before the request, so no route kind is known yet.
inline constexpr const char* kTlsKind = "tls";

// "close-mid-body", "close-before-end", "corrupt-record", "status", "drip",
// "delay", "refuse-handshake", "close-unanswered", "omit-order-no", "charset",
// "endless-header", "stall";
// nullopt for an unknown name.
std::optional<FaultType> faultTypeFromName(const std::string& name);

class FaultTable {
 public:
  void set(const std::string& kind, const Fault& fault);
  void clear(const std::string& kind);
  void clearAll();
  // The fault for one request of this kind (type kNone when none), counting it.
  Fault take(const std::string& kind);

 private:
  std::mutex mutex_;
  std::map<std::string, Fault> faults_;
};

}  // namespace kexsim
