// The simulated server's book without sockets: fills, holds, cancels,
// errors, paging and the watch list.
#include "tools/standin/book.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tessel::standin {
namespace {

Stamp FixedClock() { return {20261206, 93000, 1765013400000}; }

Ticket Buy(const std::string& requestNo, const std::string& code, double volume, double price,
           uint8_t market = kShanghai) {
  Ticket ticket;
  ticket.requestNo = requestNo;
  ticket.market = market;
  ticket.code = code;
  ticket.side = kBuy;
  ticket.volume = volume;
  ticket.price = price;
  return ticket;
}

Ticket Sell(const std::string& requestNo, const std::string& code, double volume, double price) {
  Ticket ticket = Buy(requestNo, code, volume, price);
  ticket.side = kSell;
  return ticket;
}

CancelTicket Withdraw(const std::string& orderNo, const std::string& cancelNo) {
  CancelTicket cancel;
  cancel.orderNo = orderNo;
  cancel.cancelNo = cancelNo;
  cancel.market = kShanghai;
  cancel.code = "600000";
  return cancel;
}

class BookTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(book_.Open("alice"), nullptr); }
  const Account& alice() const { return *book_.Find("alice"); }

  Book book_{FixedClock};
};

TEST_F(BookTest, CrossingBuyFillsAtTheSecurityPriceAndReportsOrderCashAndPosition) {
  // 600519 is priced 1700: a buy at 1800 crosses and fills at 1700.
  const Outcome outcome = book_.Submit("alice", Buy("1", "600519", 100, 1800));
  ASSERT_EQ(outcome.error, kNoError);
  ASSERT_EQ(outcome.changes.size(), 3u);
  EXPECT_EQ(outcome.changes[0].kind, Change::Kind::Order);
  EXPECT_EQ(outcome.changes[0].order.status, kOrderFilled);
  ASSERT_TRUE(outcome.changes[0].trade.has_value());
  EXPECT_DOUBLE_EQ(outcome.changes[0].trade->price, 1700);
  EXPECT_EQ(outcome.changes[1].kind, Change::Kind::Fund);
  EXPECT_DOUBLE_EQ(outcome.changes[1].balance, 1000000 - 170000);
  EXPECT_EQ(outcome.changes[2].kind, Change::Kind::Position);
  EXPECT_DOUBLE_EQ(outcome.changes[2].position.current, 100);
  EXPECT_DOUBLE_EQ(outcome.changes[2].tradedAmount, 170000);

  EXPECT_DOUBLE_EQ(alice().cash, 830000);
  EXPECT_DOUBLE_EQ(alice().frozenCash, 0);  // nothing stays held after the fill
  ASSERT_EQ(alice().trades.size(), 1u);
  const Position* held = alice().FindPosition(kShanghai, "600519");
  ASSERT_NE(held, nullptr);
  EXPECT_DOUBLE_EQ(held->enable, 100);
  EXPECT_DOUBLE_EQ(held->cost, 1700);

  // A second fill at another price averages the cost.
  ASSERT_TRUE(book_.SetPrice(kShanghai, "600519", 1600).error == kNoError);
  ASSERT_EQ(book_.Submit("alice", Buy("2", "600519", 100, 1600)).error, kNoError);
  EXPECT_DOUBLE_EQ(alice().FindPosition(kShanghai, "600519")->cost, 1650);
}

TEST_F(BookTest, OpenBuyHoldsCashUntilAPriceCrossesIt) {
  Outcome outcome = book_.Submit("alice", Buy("1", "600000", 1000, 10.00));  // priced 10.50
  ASSERT_EQ(outcome.error, kNoError);
  ASSERT_EQ(outcome.changes.size(), 2u);
  EXPECT_EQ(outcome.changes[0].order.status, kOrderOpen);
  EXPECT_FALSE(outcome.changes[0].trade.has_value());
  EXPECT_DOUBLE_EQ(outcome.changes[1].available, 1000000 - 10000);
  EXPECT_DOUBLE_EQ(alice().cash, 1000000);

  // A price above the limit fills nothing; one below fills at that price.
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600000", 10.20).changes.empty());
  outcome = book_.SetPrice(kShanghai, "600000", 9.50);
  ASSERT_EQ(outcome.changes.size(), 3u);
  EXPECT_EQ(outcome.changes[0].order.status, kOrderFilled);
  EXPECT_EQ(outcome.changes[0].user, "alice");
  EXPECT_DOUBLE_EQ(alice().cash, 1000000 - 9500);
  EXPECT_DOUBLE_EQ(alice().frozenCash, 0);
  EXPECT_DOUBLE_EQ(alice().FindPosition(kShanghai, "600000")->current, 2000);
}

TEST_F(BookTest, SellsHoldThePositionAndSellingOutDropsIt) {
  // The seed holds 1000 of 600000 bought at 10.00, priced 10.50.
  Outcome outcome = book_.Submit("alice", Sell("1", "600000", 400, 11.00));
  ASSERT_EQ(outcome.error, kNoError);
  ASSERT_EQ(outcome.changes.size(), 2u);
  EXPECT_EQ(outcome.changes[1].kind, Change::Kind::Position);
  EXPECT_DOUBLE_EQ(outcome.changes[1].position.enable, 600);
  EXPECT_EQ(book_.Submit("alice", Sell("2", "600000", 700, 11.00)).error, kInsufficientPosition);
  EXPECT_EQ(book_.Submit("alice", Sell("3", "600519", 100, 1700)).error, kInsufficientPosition);

  outcome = book_.Cancel("alice", Withdraw("1", "c1"));
  ASSERT_EQ(outcome.error, kNoError);
  EXPECT_EQ(outcome.changes[0].order.status, kOrderCancelled);
  EXPECT_EQ(outcome.changes[0].order.cancelNo, "c1");
  EXPECT_DOUBLE_EQ(alice().FindPosition(kShanghai, "600000")->enable, 1000);

  outcome = book_.Submit("alice", Sell("4", "600000", 1000, 10.00));  // crosses 10.50
  ASSERT_EQ(outcome.error, kNoError);
  EXPECT_DOUBLE_EQ(outcome.changes.back().position.current, 0);
  EXPECT_EQ(alice().FindPosition(kShanghai, "600000"), nullptr);
  EXPECT_DOUBLE_EQ(alice().realized, 500);  // 1000 x (10.50 - 10.00)
  EXPECT_DOUBLE_EQ(alice().cash, 1000000 + 10500);
}

// 000001 trades 20,000 at each price: a new price fills the oldest crossing
// order first, whoever placed it, not the first account by name.
TEST_F(BookTest, ANewPriceFillsTheOldestOrdersFirstWhoeverPlacedThem) {
  ASSERT_NE(book_.Open("zed"), nullptr);
  for (const char* user : {"zed", "alice"}) {
    ASSERT_EQ(book_.Submit(user, Buy(user, "000001", 15000, 12.00, kShenzhen)).error, kNoError);
  }
  ASSERT_EQ(book_.SetPrice(kShenzhen, "000001", 12.00).error, kNoError);
  EXPECT_EQ(book_.Find("zed")->orders.front().status, kOrderFilled);
  EXPECT_EQ(alice().orders.front().status, kOrderPartlyFilled);
  EXPECT_DOUBLE_EQ(alice().orders.front().filled, 5000);
}

TEST_F(BookTest, RefusedOrdersAndCancelsChangeNothing) {
  EXPECT_EQ(book_.Submit("bob", Buy("1", "600000", 100, 10)).error, kNotLoggedIn);
  EXPECT_EQ(book_.Submit("alice", Buy("1", "999999", 100, 10)).error, kUnknownSecurity);
  EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", 100, 10, kShenzhen)).error,
            kUnknownSecurity);  // the code exists, on the other market
  Ticket sideless = Buy("1", "600000", 100, 10);
  sideless.side = 1;  // the number, not the character '1'
  EXPECT_EQ(book_.Submit("alice", sideless).error, kBadSide);
  for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), 2e9}) {
    EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", bad, 10)).error, kBadQuantityOrPrice);
    EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", 100, bad)).error, kBadQuantityOrPrice);
  }
  EXPECT_EQ(book_.Submit("alice", Buy("1", "600519", 1000, 1700)).error, kInsufficientFunds);
  EXPECT_EQ(book_.Submit("alice", Buy("", "600000", 100, 10)).error, kDuplicateRequestNo);
  EXPECT_TRUE(alice().orders.empty());
  EXPECT_DOUBLE_EQ(alice().Available(), 1000000);

  ASSERT_EQ(book_.Submit("alice", Buy("1", "600000", 100, 11)).error, kNoError);  // fills
  EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", 100, 10)).error, kDuplicateRequestNo);
  EXPECT_EQ(book_.Cancel("alice", Withdraw("1", "c1")).error, kOrderAlreadyFilled);
  EXPECT_EQ(book_.Cancel("alice", Withdraw("nope", "c2")).error, kUnknownOrder);
  ASSERT_EQ(book_.Submit("alice", Buy("2", "600000", 100, 10)).error, kNoError);  // open
  ASSERT_EQ(book_.Cancel("alice", Withdraw("2", "c3")).error, kNoError);
  EXPECT_EQ(book_.Cancel("alice", Withdraw("2", "c4")).error, kOrderAlreadyCancelled);
  EXPECT_DOUBLE_EQ(alice().frozenCash, 0);
  EXPECT_EQ(book_.SetPrice(kShanghai, "999999", 1).error, kUnknownSecurity);
  EXPECT_EQ(book_.SetPrice(kShanghai, "600000", 0).error, kBadQuantityOrPrice);
}

TEST_F(BookTest, ClientsCannotGrowTheBookWithoutBound) {
  for (size_t i = 0; i < kMaxOrdersPerAccount; ++i) {
    ASSERT_EQ(book_.Submit("alice", Buy(std::to_string(i), "600000", 100, 9.50)).error, kNoError);
  }
  EXPECT_EQ(book_.Submit("alice", Buy("last", "600000", 100, 9.50)).error, kTooManyOrders);
  for (size_t i = 1; i < kMaxAccounts; ++i) {
    ASSERT_NE(book_.Open("user" + std::to_string(i)), nullptr);
  }
  EXPECT_EQ(book_.Open("one-too-many"), nullptr);
  EXPECT_NE(book_.Open("alice"), nullptr);  // known accounts still open
}

TEST_F(BookTest, MaximumQuantities) {
  // 1,000,000 at 1700 in lots of 100: 500 shares.
  EXPECT_EQ(book_.MaxBuy("alice", kShanghai, "600519", 1700, 100), 500.0);
  EXPECT_EQ(book_.MaxBuy("alice", kShanghai, "600519", 0, 0), 588.0);  // its price, unit 1
  EXPECT_EQ(book_.MaxSell("alice", kShanghai, "600000"), 1000.0);
  EXPECT_EQ(book_.MaxSell("alice", kShenzhen, "000001"), 0.0);
  EXPECT_FALSE(book_.MaxSell("alice", kShanghai, "999999").has_value());
}

TEST(BookPage, PositionsCountFromOneAndBadValuesFallBack) {
  EXPECT_EQ(Page(5, 2, "").first, 0u);
  EXPECT_EQ(Page(5, 2, "").last, 2u);
  EXPECT_EQ(Page(5, 2, "2").first, 2u);
  EXPECT_EQ(Page(5, 2, "4").last, 5u);
  EXPECT_EQ(Page(5, 2, "9").first, 5u);   // past the end: empty
  EXPECT_EQ(Page(5, 2, "x1").first, 0u);  // not a position: from the top
  EXPECT_EQ(Page(500, 0, "").last, static_cast<size_t>(kPageSize));
  EXPECT_EQ(Page(500, -1, "").last, static_cast<size_t>(kPageSize));
  EXPECT_EQ(Page(500, 100000, "").last, static_cast<size_t>(kPageSize));
  EXPECT_EQ(Page(500, 10, "99999999999999999999").first, 0u);
}

TEST_F(BookTest, WatchList) {
  ASSERT_EQ(alice().watch.size(), 2u);
  EXPECT_EQ(book_.Watch("alice", kShanghai, "600519"), kAlreadyOnWatchList);
  EXPECT_EQ(book_.Watch("alice", kShanghai, "999999"), kUnknownSecurity);
  EXPECT_EQ(book_.Watch("alice", kShenzhen, "000858"), kNoError);
  EXPECT_EQ(book_.Unwatch("alice", kShenzhen, "000858"), kNoError);
  EXPECT_EQ(book_.Unwatch("alice", kShenzhen, "000858"), kNotOnWatchList);

  // Replacing drops repeats, refuses unknown codes and more than the bound.
  EXPECT_EQ(book_.ReplaceWatch("alice", {{kShenzhen, "000858"}, {kShenzhen, "000858"}}), kNoError);
  ASSERT_EQ(alice().watch.size(), 1u);
  EXPECT_EQ(book_.ReplaceWatch("alice", {{kShenzhen, "000858"}, {kShenzhen, "12"}}),
            kUnknownSecurity);
  EXPECT_EQ(alice().watch.size(), 1u);
  EXPECT_EQ(book_.ReplaceWatch("alice", std::vector<WatchItem>(kMaxWatchList + 1,
                                                              {kShanghai, "600000"})),
            kWatchListFull);
}

}  // namespace
}  // namespace tessel::standin
