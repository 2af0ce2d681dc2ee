// The simulated server's book without sockets, where the end-to-end trading
// tests cannot reach: refusals, bounds, paging and the watch list.
#include "tools/standin/book.h"

#include <gtest/gtest.h>

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

class BookTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(book_.Open("alice"), nullptr); }
  const Account& alice() const { return *book_.Find("alice"); }

  Book book_{FixedClock};
};

// What no request through the library can carry: numbers JSON cannot hold
// or the field does not bound, a code on the other market, request numbers
// the simulator makes itself, and prices a test sets.
TEST_F(BookTest, RefusedOrdersChangeNothing) {
  EXPECT_EQ(book_.Submit("bob", Buy("1", "600000", 100, 10)).error, kNotLoggedIn);
  EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", 100, 10, kShenzhen)).error,
            kUnknownSecurity);  // the code exists, on the other market
  for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(), 2e9}) {
    EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", bad, 10)).error, kBadQuantityOrPrice);
    EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", 100, bad)).error, kBadQuantityOrPrice);
  }
  EXPECT_EQ(book_.Submit("alice", Buy("", "600000", 100, 10)).error, kDuplicateRequestNo);
  EXPECT_TRUE(alice().orders.empty());
  EXPECT_DOUBLE_EQ(alice().Available(), 1000000);

  ASSERT_EQ(book_.Submit("alice", Buy("1", "600000", 100, 11)).error, kNoError);  // fills
  EXPECT_EQ(book_.Submit("alice", Buy("1", "600000", 100, 10)).error, kDuplicateRequestNo);
  EXPECT_EQ(book_.SetPrice(kShanghai, "999999", 1).error, kUnknownSecurity);
  EXPECT_EQ(book_.SetPrice(kShanghai, "600000", 0).error, kBadQuantityOrPrice);
}

TEST_F(BookTest, ClientsCannotGrowTheBookWithoutBound) {
  for (size_t i = 0; i < kMaxOrdersPerAccount; ++i) {
    ASSERT_EQ(book_.Submit("alice", Buy(std::to_string(i), "600000", 1, 1)).error, kNoError);
  }
  EXPECT_EQ(book_.Submit("alice", Buy("last", "600000", 1, 1)).error, kTooManyOrders);
  for (size_t i = 1; i < kMaxAccounts; ++i) {
    ASSERT_NE(book_.Open("user" + std::to_string(i)), nullptr);
  }
  EXPECT_EQ(book_.Open("one-too-many"), nullptr);
  EXPECT_NE(book_.Open("alice"), nullptr);  // known accounts still open
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
