// The simulated server's baskets, basket plans, algorithms and condition
// orders, driven on the book directly.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "tools/standin/book.h"

namespace tessel::standin {
namespace {

Stamp FixedClock() { return {20261206, 93000, 1765013400000}; }

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

class ProgramsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(book_.Open("alice"), nullptr); }
  const Account& alice() const { return *book_.Find("alice"); }

  std::string NewBasket(std::vector<BasketSecurity> securities) {
    std::string no;
    EXPECT_EQ(book_.CreateBasket("alice", "b", "NORMAL", no), kNoError);
    std::vector<std::string> ids;
    EXPECT_EQ(book_.AddBasketSecurities("alice", no, std::move(securities), ids), kNoError);
    return no;
  }

  const Order* OrderOf(const std::string& requestNo) const {
    return book_.FindOrder(alice(), requestNo);
  }

  Book book_{FixedClock};
};

TEST_F(ProgramsTest, BasketsAndTheirSecuritiesChangeWholeOrNotAtAll) {
  std::string no;
  EXPECT_EQ(book_.CreateBasket("alice", "", "NORMAL", no), kBadBasketName);
  ASSERT_EQ(book_.CreateBasket("alice", "tech", "NORMAL", no), kNoError);
  std::string other;
  ASSERT_EQ(book_.CreateBasket("alice", "banks", "NORMAL", other), kNoError);
  EXPECT_NE(no, other);

  // One unknown security refuses the whole batch.
  std::vector<std::string> ids;
  EXPECT_EQ(book_.AddBasketSecurities("alice", no,
                                      {Line("600519", kBuy, 100), Line("999999", kBuy, 100)}, ids),
            kUnknownSecurity);
  EXPECT_TRUE(book_.FindBasket("alice", no)->securities.empty());
  EXPECT_EQ(book_.AddBasketSecurities("alice", no, {Line("600519", '7', 100)}, ids), kBadSide);
  EXPECT_EQ(book_.AddBasketSecurities("alice", no, {Line("600519", kBuy, 0)}, ids),
            kBadQuantityOrPrice);
  EXPECT_EQ(book_.AddBasketSecurities("alice", "nope", {Line("600519", kBuy, 100)}, ids),
            kUnknownBasket);

  ASSERT_EQ(book_.AddBasketSecurities(
                "alice", no, {Line("600519", kBuy, 100), Line("000001", kSell, 200, 0, kShenzhen)},
                ids),
            kNoError);
  ASSERT_EQ(ids.size(), 2u);
  const Basket* basket = book_.FindBasket("alice", no);
  ASSERT_EQ(basket->securities.size(), 2u);
  EXPECT_EQ(basket->securities[0].name, "Kweichow Moutai");  // the book's name when none given

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
  EXPECT_NE(book_.FindBasket("alice", other), nullptr);
}

TEST_F(ProgramsTest, PlanOrdersFillOrWaitAndAPriceMoveFinishesThePlan) {
  // A buy at the price fills at once; a buy below it waits; a sell of the
  // seed holding at the price fills.
  const std::string no = NewBasket({Line("600519", kBuy, 100), Line("000001", kBuy, 1000, 12.00, kShenzhen),
                                    Line("600000", kSell, 400)});
  std::string batch;
  const Outcome outcome = book_.StartPlan("alice", no, "NORMAL", "", {}, batch);
  ASSERT_EQ(outcome.error, kNoError);
  ASSERT_FALSE(batch.empty());
  const Plan* plan = book_.FindPlan("alice", no, batch);
  ASSERT_NE(plan, nullptr);
  ASSERT_EQ(plan->lines.size(), 3u);
  // Reported like any order: three changes per fill, two for the open buy.
  EXPECT_EQ(outcome.changes.size(), 3u + 2u + 3u);
  EXPECT_EQ(OrderOf(plan->lines[0].requestNo)->status, kOrderFilled);
  EXPECT_DOUBLE_EQ(OrderOf(plan->lines[0].requestNo)->fillPrice, 1700);
  EXPECT_EQ(OrderOf(plan->lines[1].requestNo)->status, kOrderOpen);
  EXPECT_EQ(OrderOf(plan->lines[2].requestNo)->status, kOrderFilled);
  EXPECT_EQ(book_.PlanStatus(alice(), *plan), "running");

  const Outcome moved = book_.SetPrice(kShenzhen, "000001", 11.90);
  EXPECT_EQ(moved.changes.size(), 3u);
  EXPECT_EQ(OrderOf(plan->lines[1].requestNo)->status, kOrderFilled);
  EXPECT_EQ(book_.PlanStatus(alice(), *plan), "finished");
  EXPECT_EQ(alice().trades.size(), 3u);
  EXPECT_EQ(book_.FindPlan("alice", "", batch), plan);  // the batch alone names it
  EXPECT_EQ(book_.FindPlan("alice", "K999", batch), nullptr);
}

TEST_F(ProgramsTest, PlanLinesOverrideTheBasketAndRefusalsStayWithTheirLine) {
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
  const Order* waiting = OrderOf(plan->lines[1].requestNo);
  ASSERT_NE(waiting, nullptr);
  EXPECT_EQ(waiting->status, kOrderOpen);
  EXPECT_DOUBLE_EQ(waiting->price, 140);
  EXPECT_EQ(plan->basketType, "NORMAL");  // the basket's when the request names none
  EXPECT_EQ(plan->fundAccount, alice().fundAccount);

  // An emptied basket starts no plan.
  ASSERT_EQ(book_.DeleteBasketSecurity("alice", ids[0]), kNoError);
  ASSERT_EQ(book_.DeleteBasketSecurity("alice", ids[1]), kNoError);
  EXPECT_EQ(book_.StartPlan("alice", no, "", "", {}, batch).error, kEmptyBasket);
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

TEST_F(ProgramsTest, ConditionTriggersOnceItsPriceIsCrossedAndNotWhilePaused) {
  std::string no;
  EXPECT_EQ(book_.CreateCondition("alice", When("SIDEWAYS", 1600), no), kBadConditionType);
  EXPECT_EQ(book_.CreateCondition("alice", When("DOWN", 0), no), kBadQuantityOrPrice);
  ConditionOrder elsewhere = When("DOWN", 1600);
  elsewhere.code = "999999";
  EXPECT_EQ(book_.CreateCondition("alice", elsewhere, no), kUnknownSecurity);

  ASSERT_EQ(book_.CreateCondition("alice", When("DOWN", 1600), no), kNoError);
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1650).changes.empty());  // not yet
  EXPECT_EQ(Condition(alice(), no).status, kConditionWaiting);

  ASSERT_EQ(book_.OperateCondition("alice", no, Book::Operation::Pause), kNoError);
  EXPECT_EQ(book_.OperateCondition("alice", no, Book::Operation::Pause), kBadConditionOperation);
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1590).changes.empty());  // paused
  ASSERT_EQ(book_.OperateCondition("alice", no, Book::Operation::Resume), kNoError);

  // Crossed: a buy of 100 at that price, filled and reported as any order.
  const Outcome crossed = book_.SetPrice(kShanghai, "600519", 1580);
  ASSERT_EQ(crossed.changes.size(), 3u);
  const ConditionOrder& done = Condition(alice(), no);
  EXPECT_EQ(done.status, kConditionTriggered);
  const Order* order = OrderOf(done.requestNo);
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->status, kOrderFilled);
  EXPECT_DOUBLE_EQ(order->fillPrice, 1580);
  EXPECT_DOUBLE_EQ(order->volume, 100);

  // Once only, and nothing left to operate.
  EXPECT_TRUE(book_.SetPrice(kShanghai, "600519", 1570).changes.empty());
  EXPECT_EQ(book_.OperateCondition("alice", no, Book::Operation::Cancel), kConditionEnded);
  EXPECT_EQ(book_.ChangeCondition("alice", no, "", 1500, 100), kConditionEnded);
  EXPECT_EQ(book_.OperateCondition("alice", "C999", Book::Operation::Cancel), kUnknownCondition);
}

TEST_F(ProgramsTest, ConditionChangedCancelledOrRefusedAtTrigger) {
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

TEST_F(ProgramsTest, AlgorithmPlacesOneSlicePerPriceMoveWhileRunning) {
  Algorithm algorithm;
  algorithm.market = kShenzhen;
  algorithm.code = "000858";
  algorithm.side = kBuy;
  algorithm.amount = 300;
  algorithm.slice = 100;
  std::string no;
  const Outcome started = book_.StartAlgorithm("alice", algorithm, no);
  ASSERT_EQ(started.error, kNoError);
  EXPECT_EQ(started.changes.size(), 3u);  // the first slice, filled
  const Algorithm* held = &alice().algorithms.front();
  ASSERT_EQ(held->orders.size(), 1u);

  ASSERT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Pause).error, kNoError);
  EXPECT_TRUE(book_.SetPrice(kShenzhen, "000858", 151).changes.empty());
  EXPECT_EQ(held->orders.size(), 1u);
  EXPECT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Pause).error,
            kBadAlgorithmOperation);
  // Resuming places a slice at once; the next move the last one.
  EXPECT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Resume).changes.size(), 3u);
  EXPECT_EQ(book_.SetPrice(kShenzhen, "000858", 152).changes.size(), 3u);
  EXPECT_EQ(held->orders.size(), 3u);
  EXPECT_EQ(held->status, kAlgorithmDone);
  EXPECT_DOUBLE_EQ(OrderOf(held->orders[2])->fillPrice, 152);
  EXPECT_TRUE(book_.SetPrice(kShenzhen, "000858", 153).changes.empty());
  EXPECT_EQ(book_.OperateAlgorithm("alice", no, Book::Operation::Cancel).error, kAlgorithmEnded);
  EXPECT_EQ(book_.OperateAlgorithm("alice", "A999", Book::Operation::Cancel).error,
            kUnknownAlgorithm);

  // Cancelled, it places nothing more; a refused slice stops it.
  std::string second;
  algorithm.amount = 1000;
  ASSERT_EQ(book_.StartAlgorithm("alice", algorithm, second).error, kNoError);
  ASSERT_EQ(book_.OperateAlgorithm("alice", second, Book::Operation::Cancel).error, kNoError);
  EXPECT_TRUE(book_.SetPrice(kShenzhen, "000858", 154).changes.empty());
  std::string greedy;
  algorithm.amount = 1e6;
  algorithm.slice = 0;  // all at once: far more than the cash
  EXPECT_TRUE(book_.StartAlgorithm("alice", algorithm, greedy).changes.empty());
  EXPECT_EQ(alice().algorithms.back().status, kAlgorithmStopped);
  EXPECT_EQ(alice().algorithms.back().message, "insufficient funds");
}

TEST_F(ProgramsTest, WalkIsDrawnFromItsInputAndMovesAtMostHalfAPercent) {
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
