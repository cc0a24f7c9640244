// Reading requests off a connection, whole and split at every byte, and the
// decoding of queries and form bodies.
#include <gtest/gtest.h>

#include "kexsim_http.h"

namespace kexsim {
namespace {

struct RequestCase {
  const char* name;
  std::string bytes;
  std::string method, path, query, body, rest;
};

void expectRequest(const RequestReader& reader, const RequestCase& c) {
  EXPECT_EQ(reader.request().method, c.method);
  EXPECT_EQ(reader.request().path, c.path);
  EXPECT_EQ(reader.request().query, c.query);
  EXPECT_EQ(reader.request().body, c.body);
  EXPECT_EQ(reader.rest(), c.rest);
}

TEST(KexsimHttp, RequestsReadTheSameWholeAndSplitAtEveryByte) {
  const RequestCase cases[] = {
      {"logon post with the CR LF after its body",
       "POST /kx2/login.php?user=demo HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 9\r\n\r\npass=demo\r\n",
       "POST", "/kx2/login.php", "user=demo", "pass=demo", "\r\n"},
      {"feed with lines in the same segment",
       "GET /kx2/quotes-zbin?sid=1 HTTP/1.0\r\nHost: 127.0.0.1:1\r\n\r\nADD 1 MB SBER\n",
       "GET", "/kx2/quotes-zbin", "sid=1", "", "ADD 1 MB SBER\n"},
      {"guide query starting with &", "GET /kx2/get-symbols-zbin.php?&sid=2 HTTP/1.0\r\n\r\n",
       "GET", "/kx2/get-symbols-zbin.php", "&sid=2", "", ""},
      {"typed by hand with bare LF", "GET /kx2/trades-zbin?sid=3 HTTP/1.0\nHost: x\n\nPING 1\n",
       "GET", "/kx2/trades-zbin", "sid=3", "", "PING 1\n"},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (size_t split = 0; split <= c.bytes.size(); ++split) {
      RequestReader reader;
      RequestReader::State first = reader.feed(c.bytes.data(), split);
      RequestReader::State second = reader.feed(c.bytes.data() + split, c.bytes.size() - split);
      ASSERT_EQ(second, RequestReader::State::kComplete) << split;
      if (split < c.bytes.size() - c.rest.size()) {
        EXPECT_EQ(first, RequestReader::State::kIncomplete) << split;
      }
      expectRequest(reader, c);
    }
  }
}

TEST(KexsimHttp, HeadersAndBadRequests) {
  RequestReader reader;
  std::string bytes = "GET /a HTTP/1.0\r\ncontent-length:   0\r\nX-Empty:\r\nno colon line\r\n\r\n";
  ASSERT_EQ(reader.feed(bytes.data(), bytes.size()), RequestReader::State::kComplete);
  EXPECT_EQ(reader.request().header("Content-Length"), "0");
  EXPECT_EQ(reader.request().headers.size(), 2u);
  for (std::string bad : {"GARBAGE\r\n\r\n", "POST /a HTTP/1.0\r\nContent-Length: -1\r\n\r\n"}) {
    RequestReader badReader;
    EXPECT_EQ(badReader.feed(bad.data(), bad.size()), RequestReader::State::kBad) << bad;
  }
}

TEST(KexsimHttp, FormDecoding) {
  auto form = parseForm("&user=a%20b%26c&pass=p@ss+1%2B&sid=&flag");
  EXPECT_EQ(form.find("user")->second, "a b&c");
  EXPECT_EQ(form.find("pass")->second, "p@ss+1+");  // '+' is not a blank
  EXPECT_EQ(form.find("sid")->second, "");
  EXPECT_EQ(form.count("flag"), 1u);
  EXPECT_EQ(urlDecode("%zz%4"), "%zz%4");  // broken escapes stay as they are
}

}  // namespace
}  // namespace kexsim
