#include <gtest/gtest.h>

#include <cerrno>

#include "q3_socket.h"

namespace {

TEST(SocketErrors, ErrnoMapsToWindowsNumbers) {
  const std::pair<int, int> cases[] = {
      {0, 0},
      {EWOULDBLOCK, 10035},
      {EAGAIN, 10035},
      {EINPROGRESS, 10035},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {ECONNREFUSED, 10061},
      {ETIMEDOUT, 10060},
      {EHOSTUNREACH, 10065},
      {ENETUNREACH, 10051},
      {ECONNABORTED, 10053},
      {ENOTCONN, 10057},
      {EADDRNOTAVAIL, 10049},
      {EADDRINUSE, 10048},
      {ENOENT, 10000 + ENOENT},
  };
  for (const auto& [err, wsa] : cases) EXPECT_EQ(q3::wsaErrorFromErrno(err), wsa) << err;
}

TEST(SocketErrors, TextIsTheSystemMessage) {
  EXPECT_EQ(q3::socketErrorText(10061), "Connection refused");
  EXPECT_EQ(q3::socketErrorText(10054), "Connection reset by peer");
}

TEST(SocketErrors, RefusedConnectReports10061) {
  q3::Socket listener = q3::openStreamSocket(6);
  ASSERT_NE(listener, q3::kInvalidSocket);
  uint32_t loopback = 0;
  ASSERT_TRUE(q3::resolveIPv4("127.0.0.1", &loopback));
  EXPECT_EQ(q3::ipv4Text(loopback), "127.0.0.1");
  // Port 1 on loopback has no listener in the test environment.
  EXPECT_EQ(q3::connectIPv4(listener, loopback, 1), q3::kSocketError);
  EXPECT_EQ(q3::lastSocketError(), 10061);
  q3::closeSocket(listener);
}

}  // namespace
