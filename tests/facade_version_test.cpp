// IQuarnelVersion through the real module: the component's own version and
// the server's, read from the version line of the logon reply.
#include "facade_test_support.h"
#include "kexsim_server.h"

namespace {

using namespace facade_testing;

Ref<IQuarnelVersion> versionOf(Client& client) {
  Ref<IQuarnelVersion> version;
  EXPECT_EQ(client.server->QueryInterface(IID_IQuarnelVersion, version.outVoid()), S_OK);
  return version;
}

TEST(Version, TheClientVersionNeedsNoConnection) {
  Client client;
  auto version = versionOf(client);
  BSTR text = nullptr;
  ASSERT_EQ(version->GetKxClientVersionString(&text), S_OK);
  EXPECT_EQ(Text(text).str(), u"3,0,137,4293");
  INT numbers[4] = {};
  ASSERT_EQ(version->GetKxClientVersion(&numbers[0], &numbers[1], &numbers[2], &numbers[3]), S_OK);
  EXPECT_EQ(std::vector<INT>(numbers, numbers + 4), (std::vector<INT>{3, 0, 137, 4293}));
}

TEST(Version, TheServerVersionNeedsAnInstance) {
  Client client;
  auto version = versionOf(client);
  client.disconnect();
  BSTR text = nullptr;
  EXPECT_EQ(version->GetServerVersionString(&text), E_FAIL);
  EXPECT_EQ(takeErrorInfo().description, u"Try to connect first..");
  INT numbers[4] = {9, 9, 9, 9};
  EXPECT_EQ(version->GetServerVersion(&numbers[0], &numbers[1], &numbers[2], &numbers[3]), E_FAIL);
  EXPECT_EQ(takeErrorInfo().description, u"Try to connect first..");
  EXPECT_EQ(std::vector<INT>(numbers, numbers + 4), (std::vector<INT>{0, 0, 0, 0}));
}

TEST(Version, TheServerVersionIsSplitAfterTheFirstDash) {
  struct Case {
    const char* text;
    std::vector<INT> numbers;
  } cases[] = {
      {"Kexora-2.5.11", {2, 5, 11, 0}},
      {"Kexora 4.12 (kexsim)", {0, 0, 0, 0}},
      {"K-1.x.3.4.5", {1, 0, 3, 4}},
      {"K-7-8", {7, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    kexsim::ServerOptions options;
    options.scenario.version = c.text;
    kexsim::Server server(options);
    ASSERT_TRUE(server.start());
    Client client;
    ASSERT_EQ(client.connect("127.0.0.1", server.tlsPort(), "demo", "demo"), S_OK);
    ASSERT_TRUE(client.sink->waitFor(DISPID_Connected)) << c.text;
    auto version = versionOf(client);
    BSTR text = nullptr;
    ASSERT_EQ(version->GetServerVersionString(&text), S_OK);
    EXPECT_EQ(Text(text).str(), u16(c.text)) << c.text;
    INT numbers[4] = {9, 9, 9, 9};
    ASSERT_EQ(version->GetServerVersion(&numbers[0], &numbers[1], &numbers[2], &numbers[3]), S_OK);
    EXPECT_EQ(std::vector<INT>(numbers, numbers + 4), c.numbers) << c.text;
  }
}

}  // namespace
