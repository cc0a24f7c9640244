// The logon's TLS settings end to end: kxcli drives the real module against
// kexsim, whose TLS port holds a self-signed certificate for 127.0.0.1.
// tlsVerify checks the chain (against tlsCaFile) and the name; with it, or
// with allowPlainLogon=no, a failed TLS logon is the outcome and no logon goes
// out in clear text.
#include <fstream>

#include "facade_forwarder.h"
#include "kxcli_test_support.h"

namespace {

using namespace kxcli_testing;
using facade_testing::PlainOnlyPort;

struct TlsCase {
  const char* name;
  std::string configure;  // the ConfigureClient text
  const char* host;       // the host given to connect
  bool tlsPort;           // else a port of a plain-only server, which closes a TLS handshake at once
  const char* outcome;    // "Connected", or a text the Disconnected message holds
};

TEST(KxcliTls, VerificationAndClearTextRefusalDecideTheLogon) {
  Simulator sim;
  PlainOnlyPort plainOnly(sim.server().plainPort());
  Home home;
  const std::string caFile = home.path() + "/kexsim.pem";
  std::ofstream(caFile) << sim.server().certificatePem();
  const std::string tls = std::to_string(sim.server().tlsPort());
  const TlsCase cases[] = {
      {"trusted, name matches", "tlsVerify=yes; tlsCaFile=" + caFile, "127.0.0.1", true, "Connected"},
      {"unknown issuer", "tlsVerify=yes; tlsCaFile=/etc/ssl/certs/ca-certificates.crt", "127.0.0.1", true,
       "server certificate refused: self-signed certificate"},
      {"other name", "tlsVerify=yes; tlsCaFile=" + caFile, "localhost", true,
       "server certificate refused: hostname mismatch"},
      {"unreadable trust file", "tlsVerify=yes; tlsCaFile=" + home.path() + "/none.pem", "127.0.0.1", true,
       "cannot be read as PEM certificates"},
      {"no TLS, clear text refused", "allowPlainLogon=no", "127.0.0.1", false, "Create SSL session failed"},
      {"no TLS, clear text allowed", "", "127.0.0.1", false, "Connected"},
      {"unchecked certificate", "", "127.0.0.1", true, "Connected"},
  };
  for (const TlsCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim.server().log().clear();
    const std::string port = c.tlsPort ? tls : std::to_string(plainOnly.port());
    const std::string script = "ConfigureClient '" + c.configure + "'\nconnect " + c.host + " " + port +
                               " demo demo\nwait " + (std::string(c.outcome) == "Connected" ? "Connected" : "Disconnected") +
                               "\n";
    const Result r = run(home, {"--script", "-"}, script);
    EXPECT_EQ(r.status, 0);
    if (std::string(c.outcome) == "Connected") {
      EXPECT_EQ(r.events("Connected").size(), 1u);
      EXPECT_EQ(r.events("Disconnected").size(), 0u);
      continue;
    }
    const auto disconnected = r.events("Disconnected");
    ASSERT_EQ(disconnected.size(), 1u);
    EXPECT_NE(disconnected[0].find(c.outcome), std::string::npos) << disconnected[0];
    EXPECT_NE(disconnected[0].find("127.0.0.1:" + port), std::string::npos) << disconnected[0];
    EXPECT_TRUE(r.events("Connected").empty());
    // The password never travelled in clear text.
    for (const auto& logon : sim.server().log().ofKind("logon")) EXPECT_TRUE(logon.tls) << logon.url();
  }
}

}  // namespace
