// The adapters through which the client library reports a session's results.
// Each belongs to one Session and reaches the KxServer only while that
// session is current.
#pragma once

#include "kx_server.h"
#include "wexel_instance.h"

namespace kx {
class Session;
}

class KxServer::NativeLogonListener : public wexel::WexelLogonListener {
 public:
  explicit NativeLogonListener(kx::Session& session) : session_(session) {}
  void onLogon(const std::vector<wexel::WPortfolioEntry>& portfolios, const std::vector<std::string>& news,
               const std::vector<std::string>& exchanges) override;
  void onError(const std::string& message, int code) override;
  void onUpdateInfo(const std::string& name, int64_t version, const std::string& url) override;

 private:
  kx::Session& session_;
};

class KxServer::NativeReferenceSecuritiesListener : public wexel::WexelReferenceSecuritiesListener {
 public:
  explicit NativeReferenceSecuritiesListener(kx::Session& session) : session_(session) {}
  void onSecurities(const std::vector<wexel::WSecurity>& securities, const std::vector<wexel::WGuidePair>& section1,
                    const std::vector<wexel::WGuidePair>& section2,
                    const std::vector<wexel::WGuidePair>& section3) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

class KxServer::NativeQuotesListener : public wexel::WexelQuotesListener {
 public:
  explicit NativeQuotesListener(kx::Session& session) : session_(session) {}
  void onQuote(const std::string& exchange, const std::string& security, const wexel::WQuote& quote) override;
  void onError(const std::string& message, int code) override;

 private:
  kx::Session& session_;
};

class KxServer::NativeOrderActionResultListener : public wexel::WexelOrderActionResultListener {
 public:
  explicit NativeOrderActionResultListener(kx::Session& session) : session_(session) {}
  void onActionResult(void* reserved, const std::string& portfolio, const std::string& exchange,
                      const std::string& security, int64_t orderNo, const std::string& message,
                      const std::string& action, wexel::WCookie cookie, wexel::WContext context) override;
  void onError(wexel::WCookie cookie, wexel::WContext context, const std::string& message, int code) override;

 private:
  kx::Session& session_;
};
