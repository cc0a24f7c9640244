// Replies the fuzz targets (fuzz/) found mishandled, each with the smallest
// input that showed it, read the way a channel reads them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "alerts/wexel_alerts.h"
#include "kexsim_portfolio_records.h"
#include "kexsim_record_writer.h"
#include "orders/wexel_cancel_order_request.h"
#include "portfolio/wexel_get_portfolio.h"
#include "portfolio/wexel_get_real_pos.h"
#include "portfolio/wexel_portfolio_records.h"
#include "record_test_support.h"

namespace wexel {
namespace {

using kexsim::RecordWriter;
using testing::compressed;
using testing::deliverResponse;
using testing::okResponse;

// Counts every outcome a one-shot query reports: its answer or an error.
struct Outcomes : WexelAlertsListener,
                  WexelMessagesQueryListener,
                  WexelGetMyOrdersListener,
                  WexelRealPositionsListener,
                  WexelOrderErrorListener {
  int count = 0;
  void onAlerts(void*, const std::vector<WAlert>&, WContext) override { ++count; }
  void onResult(const std::string&, const std::vector<WChannelMessage>&, WContext) override { ++count; }
  void onResult(const std::string&, const std::vector<WMyOrder>&, WContext) override { ++count; }
  void onResult(WContext, const std::string&, const std::vector<WRealPosition>&) override { ++count; }
  void onOrderError(const WOrderErrorInfo&, WContext) override { ++count; }
  void onError(WContext, const std::string&, int) override { ++count; }
};

// The reply read in pieces of `piece` bytes, then the server's close, which
// the request reports when the parser has not answered yet.
template <typename Parser>
int outcomesOf(Parser& parser, Outcomes& outcomes, const std::string& records, size_t piece) {
  deliverResponse(parser, okResponse(compressed(records)), piece);
  if (parser.claimOutcome()) outcomes.onError(0, "closed", kErrorClosed);
  return outcomes.count;
}

WLayoutRead readQueryOrder(WLZ77Parser& p, WNibbleCursor& c, WMyOrder& order, const char* source) {
  return readOrderRecord(p, c, order, WPortfolioForm::kQuery, source);
}

std::string endNibble() { return RecordWriter().recordEnd().take(); }
std::string orderError(int64_t number) {
  return RecordWriter().int64(number).dateTime(kexsim::packTime(2026, 12, 10, 14, 30, 5)).string("x").recordEnd().take();
}

struct OneShotCase {
  const char* reply;
  std::function<int(Outcomes&, const std::string&, size_t)> read;
  std::string records;
};

// A reply that goes on after its end (a second end record, a second order
// error) was answered a second time; the first answer is the only one.
TEST(FuzzRegressions, OneShotQueryIsAnsweredOnceWhateverFollowsItsEnd) {
  const std::vector<OneShotCase> cases = {
      {"alert list",
       [](Outcomes& o, const std::string& r, size_t piece) {
         WAlertsParser parser(&o, 1);
         return outcomesOf(parser, o, r, piece);
       },
       endNibble() + endNibble()},
      {"message query",
       [](Outcomes& o, const std::string& r, size_t piece) {
         WGetMessagesParser parser(&o, "desk", 1);
         return outcomesOf(parser, o, r, piece);
       },
       endNibble() + endNibble()},
      {"my orders",
       [](Outcomes& o, const std::string& r, size_t piece) {
         WMyOrdersParser parser(&o, "D-10001", 1, 3, &readQueryOrder, 10000);
         return outcomesOf(parser, o, r, piece);
       },
       kexsim::smallPrefix(14) + endNibble() + kexsim::smallPrefix(14) + endNibble()},
      {"real positions",
       [](Outcomes& o, const std::string& r, size_t piece) {
         WRealPosParser parser(&o, "D-10001", 1);
         return outcomesOf(parser, o, r, piece);
       },
       kexsim::smallPrefix(14) + endNibble() + kexsim::smallPrefix(14) + endNibble()},
      {"order error",
       [](Outcomes& o, const std::string& r, size_t piece) {
         WGetCancelOrderDescrParser parser(&o, 1);
         return outcomesOf(parser, o, r, piece);
       },
       orderError(1000000002) + orderError(1000000003)},
  };
  for (const OneShotCase& c : cases) {
    for (size_t piece : {size_t{1}, size_t{8192}}) {
      Outcomes outcomes;
      EXPECT_EQ(c.read(outcomes, c.records, piece), 1) << c.reply << ", read " << piece << " bytes at a time";
    }
  }
}

}  // namespace
}  // namespace wexel
