// Every error code the library hands to a listener's error operation, with
// its meaning and the standard text it travels with. Any other code is a
// socket error number (Windows numbering, hosts compare them), whose text is
// the system's message followed by " (ip:port)".
#pragma once

namespace wexel {

enum WErrorCode : int {
  kErrorForbidden = -1003,      // HTTP 403, logged only: listeners see kErrorMalformed
  kErrorNotAuthorized = -1002,  // not logged on, or refused by the server (HTTP 401, an error reply body)
  kErrorMalformed = -1001,      // malformed reply, parse error, or an HTTP status the request does not accept
  kErrorTimeout = -1,           // the synchronous logon ran out of time; a reply or feed stayed silent
  kErrorClosed = 0,             // the server closed the connection
  kErrorTls = 100,              // the TLS handshake or a TLS read or write failed
  kErrorDnsLookup = 1000,       // the server's host name does not resolve
};

// The standard texts. Two-dot endings and spellings are the wire's and the
// log's own: hosts match them as they stand.
inline constexpr char kTextNotAuthorized[] = "Not autorized..";
inline constexpr char kTextTimeout[] = "Connection timeout..";
inline constexpr char kTextDnsLookup[] = "DNS lookup error";
inline constexpr char kTextBadServerResponse[] = "Bad Server response";
inline constexpr char kTextBadHttpResponse[] = "Bad http response";
inline constexpr char kTextClosedByServer[] = "Connection closed by server";
inline constexpr char kTextBadParameter[] = "Bad request parameter";
inline constexpr char kTextBadOrderParameters[] = "Bad order parameters";
inline constexpr char kTextClosedBeforeReply[] = "Connection closed before the reply";
inline constexpr char kTextSilentServer[] = "No data from server";  // " for N s" (or " for N ms") follows
inline constexpr char kTextHeaderTooLong[] = "Reply header too long: no end of header in 8191 bytes";

}  // namespace wexel
