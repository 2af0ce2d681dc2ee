// The simulated server's book without sockets, where the end-to-end trading
// tests cannot reach: refusals, bounds, paging and the watch list; the edges
// of baskets, basket plans, algorithms and condition orders; the price walk's
// bound.
#include "tools/standin/book.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

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

BasketSecurity Line(const std::string& code, uint8_t side, int32_t amount, double price = 0,
                    uint8_t market = kShanghai) {
  BasketSecurity s;
  s.market = market;
  s.code = code;
  s.side = side;
  s.amount = amount;
  s.price = price;
  return s;
}

class BookTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(book_.Open("alice"), nullptr); }
  const Account& alice() const { return *book_.Find("alice"); }

  const Order* OrderOf(const std::string& requestNo) const {
    return book_.FindOrder(alice(), requestNo);
  }

  Book book_{FixedClock};
};

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

// What no request through the library can carry: numbers JSON cannot hold
// or the field does not bound, a code on the other market, request numbers
// the simulator makes itself, and prices a test sets.
TEST_F(BookTest, RefusedOrdersChangeNothing) {
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
    ASSERT_EQ(book_.Submit("alice", Buy(std::to_string(i), "600000", 100, 9.50)).error, kNoError);
  }
  EXPECT_EQ(book_.Submit("alice", Buy("last", "600000", 100, 9.50)).error, kTooManyOrders);
  for (size_t i = 1; i < kMaxAccounts; ++i) {
    ASSERT_NE(book_.Open("user" + std::to_string(i)), nullptr);
  }
  EXPECT_EQ(book_.Open("one-too-many"), nullptr);
  EXPECT_NE(book_.Open("alice"), nullptr);  // known accounts still open
}

TEST(BookPage, PastTheEndAndBadValuesFallBack) {
  EXPECT_EQ(Page(5, 2, "4").last, 5u);
  EXPECT_EQ(Page(5, 2, "9").first, 5u);   // past the end: empty
  EXPECT_EQ(Page(5, 2, "x1").first, 0u);  // not a position: from the top
  EXPECT_EQ(Page(500, 0, "").last, static_cast<size_t>(kPageSize));
  EXPECT_EQ(Page(500, -1, "").last, static_cast<size_t>(kPageSize));
  EXPECT_EQ(Page(500, 100000, "").last, static_cast<size_t>(kPageSize));
  EXPECT_EQ(Page(500, 10, "99999999999999999999").first, 0u);
}

TEST_F(BookTest, WatchList) {
  EXPECT_EQ(book_.Watch("alice", kShanghai, "999999"), kUnknownSecurity);
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

TEST_F(BookTest, BasketsAndTheirSecuritiesChangeWholeOrNotAtAll) {
  std::string no;
  EXPECT_EQ(book_.CreateBasket("alice", "", "NORMAL", no), kBadBasketName);
  ASSERT_EQ(book_.CreateBasket("alice", "tech", "NORMAL", no), kNoError);

  std::vector<std::string> ids;
  EXPECT_EQ(book_.AddBasketSecurities("alice", no, {Line("600519", '7', 100)}, ids), kBadSide);
  EXPECT_EQ(book_.AddBasketSecurities("alice", no, {Line("600519", kBuy, 0)}, ids),
            kBadQuantityOrPrice);

  ASSERT_EQ(book_.AddBasketSecurities(
                "alice", no, {Line("600519", kBuy, 100), Line("000001", kSell, 200, 0, kShenzhen)},
                ids),
            kNoError);
  const Basket* basket = book_.FindBasket("alice", no);

  // A change keeps the security itself; a removed id stays unknown.
  BasketSecurity changed = Line("000858", kSell, 300, 1750, kShenzhen);
  changed.detailId = ids[0];
  ASSERT_EQ(book_.UpdateBasketSecurity("alice", changed), kNoError);
  EXPECT_EQ(basket->securities[0].code, "600519");
  EXPECT_EQ(basket->securities[0].market, kShanghai);
  EXPECT_EQ(basket->securities[0].amount, 300);
  EXPECT_EQ(basket->securities[0].side, kSell);
  ASSERT_EQ(book_.DeleteBasketSecurity("alice", ids[1]), kNoError);
  EXPECT_EQ(book_.DeleteBasketSecurity("alice", ids[1]), kUnknownBasketSecurity);
  changed.detailId = ids[1];
  EXPECT_EQ(book_.UpdateBasketSecurity("alice", changed), kUnknownBasketSecurity);
  EXPECT_EQ(basket->securities.size(), 1u);

  // A new id never repeats a removed one.
  ASSERT_EQ(book_.AddBasketSecurities("alice", no, {Line("600000", kBuy, 100)}, ids), kNoError);
  EXPECT_NE(ids[0], changed.detailId);

  // Bounded: a batch that would overfill the basket is refused whole.
  std::vector<BasketSecurity> many(kMaxBasketSecurities, Line("600000", kBuy, 1));
  EXPECT_EQ(book_.AddBasketSecurities("alice", no, many, ids), kBasketFull);

  ASSERT_EQ(book_.RenameBasket("alice", no, "tech2"), kNoError);
  EXPECT_EQ(book_.FindBasket("alice", no)->name, "tech2");
  ASSERT_EQ(book_.DeleteBasket("alice", no), kNoError);
  EXPECT_EQ(book_.FindBasket("alice", no), nullptr);
  EXPECT_EQ(book_.DeleteBasket("alice", no), kUnknownBasket);
  EXPECT_EQ(book_.RenameBasket("alice", no, "x"), kUnknownBasket);
}

TEST_F(BookTest, PlanLinesOverrideTheBasketAndRefusalsStayWithTheirLine) {
  std::string no;
  ASSERT_EQ(book_.CreateBasket("alice", "b", "NORMAL", no), kNoError);
  std::vector<std::string> ids;
  ASSERT_EQ(book_.AddBasketSecurities("alice", no,
                                      {Line("600519", kBuy, 100), Line("000858", kBuy, 100, 0,
                                                                       kShenzhen)},
                                      ids),
            kNoError);
  std::string batch;
  PlanLine unknown;
  unknown.detailId = "K1-99";
  EXPECT_EQ(book_.StartPlan("alice", no, "", "", {unknown}, batch).error, kUnknownBasketSecurity);
  EXPECT_EQ(book_.StartPlan("alice", "K99", "", "", {}, batch).error, kUnknownBasket);
  EXPECT_TRUE(alice().orders.empty());  // nothing placed by a refused plan

  // 1000 of 600519 costs 1.7 million: refused; the other line still goes.
  PlanLine big;
  big.detailId = ids[0];
  big.amount = 1000;
  PlanLine priced;
  priced.detailId = ids[1];
  priced.price = 140;  // below 150: waits
  const Outcome outcome = book_.StartPlan("alice", no, "", "", {big, priced}, batch);
  ASSERT_EQ(outcome.error, kNoError);
  const Plan* plan = book_.FindPlan("alice", no, batch);
  ASSERT_EQ(plan->lines.size(), 2u);
  EXPECT_EQ(plan->lines[0].refusal, kInsufficientFunds);
  EXPECT_TRUE(plan->lines[0].requestNo.empty());
  EXPECT_DOUBLE_EQ(plan->lines[0].amount, 1000);
  EXPECT_NE(OrderOf(plan->lines[1].requestNo), nullptr);
  EXPECT_EQ(plan->basketType, "NORMAL");  // the basket's when the request names none
  EXPECT_EQ(plan->fundAccount, alice().fundAccount);
}

ConditionOrder When(const char* type, double trigger, uint8_t side = kBuy, double amount = 100) {
  ConditionOrder c;
  c.market = kShanghai;
  c.code = "600519";
  c.type = type;
  c.side = side;
  c.triggerPrice = trigger;
  c.amount = amount;
  return c;
}

const ConditionOrder& Condition(const Account& account, const std::string& no) {
  for (const ConditionOrder& c : account.conditions) {
    if (c.no == no) return c;
  }
  throw std::runtime_error("no condition " + no);
}

TEST_F(BookTest, ConditionTriggersOnceAndNotWhilePaused) {
  std::string no;
  EXPECT_EQ(book_.CreateCondition("alice", When("DOWN", 0), no), kBadQuantityOrPrice);
  ConditionOrder elsewhere = When("DOWN", 1600);
  elsewhere.code = "999999";
  EXPECT_EQ(book_.CreateCondition("alice", elsewhere, no), kUnknownSecurity);

  ASSERT_EQ(book_.CreateCondition("alice", When("DOWN", 1600), no), kNoError);
  ASSERT_EQ(book_.OperateCondition("alice", no, Book::Operation::Pause), kNoError);
  EXPECT_EQ(book_.OperateCondition("alice", no, Book::Operation::Pause), kBadConditionOperation);
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1590).changes.empty());  // paused
  ASSERT_EQ(book_.OperateCondition("alice", no, Book::Operation::Resume), kNoError);
  EXPECT_EQ(book_.SetPrice(kShanghai, "600519", 1580).changes.size(), 3u);
  EXPECT_EQ(Condition(alice(), no).status, kConditionTriggered);

  // Once only, and nothing left to change.
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1570).changes.empty());
  EXPECT_EQ(book_.ChangeCondition("alice", no, "", 1500, 100), kConditionEnded);
}

TEST_F(BookTest, ConditionChangedCancelledOrRefusedAtTrigger) {
  std::string up;
  ASSERT_EQ(book_.CreateCondition("alice", When("UP", 1800, kSell), up), kNoError);
  ASSERT_EQ(book_.ChangeCondition("alice", up, "20261207", 1750, 100), kNoError);
  EXPECT_EQ(book_.ChangeCondition("alice", up, "", 1750, -1), kBadQuantityOrPrice);
  // No 600519 held: the sell it places is refused and it ends failed.
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1760).changes.empty());
  EXPECT_EQ(Condition(alice(), up).status, kConditionFailed);
  EXPECT_EQ(Condition(alice(), up).message, "insufficient position");
  EXPECT_TRUE(Condition(alice(), up).requestNo.empty());

  std::string cancelled;
  ASSERT_EQ(book_.CreateCondition("alice", When("UP", 1800), cancelled), kNoError);
  ASSERT_EQ(book_.OperateCondition("alice", cancelled, Book::Operation::Cancel), kNoError);
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1860).changes.empty());
  EXPECT_EQ(Condition(alice(), cancelled).status, kConditionCancelled);
}

TEST_F(BookTest, AlgorithmPlacesNothingOnceCancelledAndStopsAtARefusedSlice) {
  Algorithm algorithm;
  algorithm.market = kShenzhen;
  algorithm.code = "000858";
  algorithm.side = kBuy;
  algorithm.amount = 1000;
  algorithm.slice = 100;
  std::string no;
  ASSERT_EQ(book_.StartAlgorithm("alice", algorithm, no).error, kNoError);
  ASSERT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Pause).error, kNoError);
  EXPECT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Pause).error,
            kBadAlgorithmOperation);
  ASSERT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Cancel).error, kNoError);
  EXPECT_TRUE(book_.SetPrice(kShenzhen, "000858", 151).changes.empty());

  std::string greedy;
  algorithm.amount = 1e6;
  algorithm.slice = 0;  // all at once: far more than the cash
  EXPECT_TRUE(book_.StartAlgorithm("alice", algorithm, greedy).changes.empty());
  EXPECT_EQ(alice().algorithms.back().status, kAlgorithmStopped);
  EXPECT_EQ(alice().algorithms.back().message, "insufficient funds");
}

TEST_F(BookTest, WalkIsDrawnFromItsInputAndMovesAtMostHalfAPercent) {
  Book again{FixedClock};
  for (uint32_t draw : {7u, 123456u, 99u, 4000000000u, 31u, 8u}) {
    const Security before = book_.Securities()[draw % book_.Securities().size()];
    ASSERT_EQ(book_.Walk(draw).error, kNoError);
    ASSERT_EQ(again.Walk(draw).error, kNoError);
    const Security& after = book_.Securities()[draw % book_.Securities().size()];
    EXPECT_LE(std::fabs(after.price - before.price), before.price * 0.005 + 0.005) << draw;
    EXPECT_NEAR(after.price * 100, std::round(after.price * 100), 1e-6);  // whole cents
  }
  for (size_t i = 0; i < book_.Securities().size(); ++i) {
    EXPECT_EQ(book_.Securities()[i].price, again.Securities()[i].price);
  }
}

}  // namespace
}  // namespace tessel::standin
