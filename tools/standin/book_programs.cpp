// The book's baskets, basket plans, algorithms and condition orders. They
// trade only through Submit, so their orders fill, hold cash and report
// exactly as orders the client places itself.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "tools/standin/book.h"

namespace tessel::standin {

namespace {

bool Positive(double value, double max) {
  return std::isfinite(value) && value > 0 && value <= max;
}

template <typename T>
T* ByNo(std::vector<T>& items, const std::string& no) {
  const auto found =
      std::find_if(items.begin(), items.end(), [&](const T& item) { return item.no == no; });
  return found == items.end() ? nullptr : &*found;
}

bool Ended(const std::string& status) {
  return status == kAlgorithmCancelled || status == kAlgorithmDone ||
         status == kAlgorithmStopped;
}

}  // namespace

Basket* Book::FindBasketMutable(Account& account, const std::string& no) {
  return no.empty() ? nullptr : ByNo(account.baskets, no);
}

const Basket* Book::FindBasket(const std::string& user, const std::string& no) const {
  const Account* account = Find(user);
  if (account == nullptr || no.empty()) return nullptr;
  for (const Basket& basket : account->baskets) {
    if (basket.no == no) return &basket;
  }
  return nullptr;
}

int32_t Book::CreateBasket(const std::string& user, const std::string& name,
                           const std::string& type, std::string& no) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  if (name.empty()) return kBadBasketName;
  if (account->baskets.size() >= kMaxBaskets) return kTooManyBaskets;
  Basket basket;
  basket.no = no = "K" + std::to_string(++account->programSeq);
  basket.name = name;
  basket.type = type;
  account->baskets.push_back(std::move(basket));
  return kNoError;
}

int32_t Book::RenameBasket(const std::string& user, const std::string& no,
                           const std::string& name) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  Basket* basket = FindBasketMutable(*account, no);
  if (basket == nullptr) return kUnknownBasket;
  if (name.empty()) return kBadBasketName;
  basket->name = name;
  return kNoError;
}

// Its plans stay queryable: they name their orders, not the basket.
int32_t Book::DeleteBasket(const std::string& user, const std::string& no) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  Basket* basket = FindBasketMutable(*account, no);
  if (basket == nullptr) return kUnknownBasket;
  account->baskets.erase(account->baskets.begin() + (basket - account->baskets.data()));
  return kNoError;
}

int32_t Book::AddBasketSecurities(const std::string& user, const std::string& basketNo,
                                  std::vector<BasketSecurity> securities,
                                  std::vector<std::string>& ids) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  Basket* basket = FindBasketMutable(*account, basketNo);
  if (basket == nullptr) return kUnknownBasket;
  if (securities.size() > kMaxBasketSecurities - basket->securities.size()) return kBasketFull;
  for (BasketSecurity& security : securities) {
    const Security* known = FindSecurity(security.market, security.code);
    if (known == nullptr) return kUnknownSecurity;
    if (security.side != kBuy && security.side != kSell) return kBadSide;
    if (!Positive(security.amount, kMaxVolume) || !(std::isfinite(security.price) &&
                                                     security.price <= kMaxPrice)) {
      return kBadQuantityOrPrice;
    }
    if (security.name.empty()) security.name = known->name;
  }
  ids.clear();
  for (BasketSecurity& security : securities) {
    security.detailId = basket->no + "-" + std::to_string(++basket->detailSeq);
    ids.push_back(security.detailId);
    basket->securities.push_back(std::move(security));
  }
  return kNoError;
}

namespace {

// The basket holding `detailId` and its index there.
template <typename Baskets>
auto LocateDetail(Baskets& baskets, const std::string& detailId)
    -> std::pair<decltype(&baskets[0]), size_t> {
  for (auto& basket : baskets) {
    for (size_t i = 0; i < basket.securities.size(); ++i) {
      if (basket.securities[i].detailId == detailId) return {&basket, i};
    }
  }
  return {nullptr, 0};
}

}  // namespace

int32_t Book::UpdateBasketSecurity(const std::string& user, const BasketSecurity& security) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  auto [basket, index] = LocateDetail(account->baskets, security.detailId);
  if (basket == nullptr || security.detailId.empty()) return kUnknownBasketSecurity;
  if (security.side != kBuy && security.side != kSell) return kBadSide;
  if (!Positive(security.amount, kMaxVolume) ||
      !(std::isfinite(security.price) && security.price <= kMaxPrice)) {
    return kBadQuantityOrPrice;
  }
  BasketSecurity& held = basket->securities[index];
  BasketSecurity next = security;
  next.market = held.market;
  next.code = held.code;
  if (next.name.empty()) next.name = held.name;
  held = std::move(next);
  return kNoError;
}

int32_t Book::DeleteBasketSecurity(const std::string& user, const std::string& detailId) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  auto [basket, index] = LocateDetail(account->baskets, detailId);
  if (basket == nullptr || detailId.empty()) return kUnknownBasketSecurity;
  basket->securities.erase(basket->securities.begin() + static_cast<ptrdiff_t>(index));
  return kNoError;
}

Outcome Book::StartPlan(const std::string& user, const std::string& basketNo,
                        const std::string& basketType, const std::string& fundAccount,
                        const std::vector<PlanLine>& lines, std::string& batchNo) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  const Basket* basket = FindBasketMutable(*account, basketNo);
  if (basket == nullptr) return {kUnknownBasket, {}};
  if (account->plans.size() >= kMaxPlans) return {kTooManyPlans, {}};
  Plan plan;
  plan.basketNo = basket->no;
  plan.basketName = basket->name;
  plan.basketType = basketType.empty() ? basket->type : basketType;
  plan.fundAccount = fundAccount.empty() ? account->fundAccount : fundAccount;
  plan.started = clock_();
  // Every line is checked before any order goes out.
  const auto lineOf = [](const BasketSecurity& s) {
    PlanLine line;
    line.detailId = s.detailId;
    line.market = s.market;
    line.code = s.code;
    line.name = s.name;
    line.algorithmType = s.algorithmType;
    line.priceType = s.priceType;
    line.side = s.side;
    line.price = s.price;
    line.amount = s.amount;
    return line;
  };
  if (lines.empty()) {
    for (const BasketSecurity& s : basket->securities) plan.lines.push_back(lineOf(s));
  }
  for (const PlanLine& asked : lines) {
    const auto held = std::find_if(basket->securities.begin(), basket->securities.end(),
                                   [&](const BasketSecurity& s) {
                                     return s.detailId == asked.detailId;
                                   });
    if (held == basket->securities.end()) return {kUnknownBasketSecurity, {}};
    PlanLine line = lineOf(*held);
    if (asked.side == kBuy || asked.side == kSell) line.side = asked.side;
    if (asked.price > 0) line.price = asked.price;
    if (asked.amount > 0) line.amount = asked.amount;
    if (!asked.priceType.empty()) line.priceType = asked.priceType;
    if (!asked.algorithmType.empty()) line.algorithmType = asked.algorithmType;
    plan.lines.push_back(std::move(line));
  }
  if (plan.lines.empty()) return {kEmptyBasket, {}};
  plan.batchNo = batchNo = "P" + std::to_string(++account->programSeq);
  Outcome outcome;
  for (size_t i = 0; i < plan.lines.size(); ++i) {
    PlanLine& line = plan.lines[i];
    const Security* security = FindSecurity(line.market, line.code);
    Ticket ticket;
    ticket.requestNo = plan.batchNo + "-" + std::to_string(i + 1);
    ticket.fundAccount = plan.fundAccount;
    ticket.market = line.market;
    ticket.code = line.code;
    ticket.side = line.side;
    ticket.volume = line.amount;
    ticket.price = line.price > 0 || security == nullptr ? line.price : security->price;
    line.price = ticket.price;
    Outcome placed = Submit(user, ticket);
    line.refusal = placed.error;
    if (placed.error == kNoError) line.requestNo = ticket.requestNo;
    for (Change& change : placed.changes) outcome.changes.push_back(std::move(change));
  }
  // Submit may have grown the order list, never the plan list.
  account->plans.push_back(std::move(plan));
  return outcome;
}

const Plan* Book::FindPlan(const std::string& user, const std::string& basketNo,
                           const std::string& batchNo) const {
  const Account* account = Find(user);
  if (account == nullptr) return nullptr;
  for (const Plan& plan : account->plans) {
    if (plan.batchNo == batchNo && (basketNo.empty() || plan.basketNo == basketNo)) return &plan;
  }
  return nullptr;
}

const Order* Book::FindOrder(const Account& account, const std::string& requestNo) const {
  if (requestNo.empty()) return nullptr;
  for (const Order& order : account.orders) {
    if (order.requestNo == requestNo) return &order;
  }
  return nullptr;
}

std::string Book::PlanStatus(const Account& account, const Plan& plan) const {
  for (const PlanLine& line : plan.lines) {
    const Order* order = FindOrder(account, line.requestNo);
    if (order != nullptr && Working(order->status)) return "running";
  }
  return "finished";
}

// ---- algorithms ----

void Book::PlaceSlice(Account& account, Algorithm& algorithm, Outcome& outcome) {
  const Security* security = FindSecurity(algorithm.market, algorithm.code);
  const double left = algorithm.amount - algorithm.placed;
  if (security == nullptr || left <= 0) return;
  Ticket ticket;
  ticket.requestNo = algorithm.no + "-" + std::to_string(algorithm.orders.size() + 1);
  ticket.market = algorithm.market;
  ticket.code = algorithm.code;
  ticket.side = algorithm.side;
  ticket.volume = algorithm.slice > 0 ? std::min(algorithm.slice, left) : left;
  ticket.price = security->price;
  Outcome placed = Submit(account.user, ticket);
  if (placed.error != kNoError) {
    algorithm.status = kAlgorithmStopped;
    algorithm.message = ErrorText(placed.error);
    return;
  }
  algorithm.orders.push_back(ticket.requestNo);
  algorithm.placed += ticket.volume;
  if (algorithm.placed >= algorithm.amount) algorithm.status = kAlgorithmDone;
  for (Change& change : placed.changes) outcome.changes.push_back(std::move(change));
}

Outcome Book::StartAlgorithm(const std::string& user, Algorithm algorithm, std::string& no) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  if (account->algorithms.size() >= kMaxAlgorithms) return {kTooManyAlgorithms, {}};
  if (algorithm.side != kBuy && algorithm.side != kSell) return {kBadSide, {}};
  const Security* security = FindSecurity(algorithm.market, algorithm.code);
  if (security == nullptr) return {kUnknownSecurity, {}};
  if (!Positive(algorithm.amount, kMaxVolume) || !std::isfinite(algorithm.slice) ||
      algorithm.slice < 0) {
    return {kBadQuantityOrPrice, {}};
  }
  algorithm.no = no = "A" + std::to_string(++account->programSeq);
  algorithm.name = security->name;
  algorithm.status = kAlgorithmRunning;
  algorithm.entered = clock_();
  account->algorithms.push_back(std::move(algorithm));
  Outcome outcome;
  PlaceSlice(*account, account->algorithms.back(), outcome);
  return outcome;
}

Outcome Book::OperateAlgorithm(const std::string& user, const std::string& no,
                               Operation operation) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  Algorithm* algorithm = no.empty() ? nullptr : ByNo(account->algorithms, no);
  if (algorithm == nullptr) return {kUnknownAlgorithm, {}};
  if (Ended(algorithm->status)) return {kAlgorithmEnded, {}};
  Outcome outcome;
  switch (operation) {
    case Operation::Pause:
      if (algorithm->status != kAlgorithmRunning) return {kBadAlgorithmOperation, {}};
      algorithm->status = kAlgorithmPaused;
      break;
    case Operation::Resume:
      if (algorithm->status != kAlgorithmPaused) return {kBadAlgorithmOperation, {}};
      algorithm->status = kAlgorithmRunning;
      PlaceSlice(*account, *algorithm, outcome);
      break;
    case Operation::Cancel:
      algorithm->status = kAlgorithmCancelled;
      break;
  }
  return outcome;
}

// ---- condition orders ----

int32_t Book::CreateCondition(const std::string& user, ConditionOrder condition,
                              std::string& no) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  if (account->conditions.size() >= kMaxConditions) return kTooManyConditions;
  if (condition.type != "UP" && condition.type != "DOWN") return kBadConditionType;
  if (condition.side != kBuy && condition.side != kSell) return kBadSide;
  const Security* security = FindSecurity(condition.market, condition.code);
  if (security == nullptr) return kUnknownSecurity;
  if (!Positive(condition.amount, kMaxVolume) || !Positive(condition.triggerPrice, kMaxPrice)) {
    return kBadQuantityOrPrice;
  }
  condition.no = no = "C" + std::to_string(++account->programSeq);
  if (condition.name.empty()) condition.name = security->name;
  if (condition.fundAccount.empty()) condition.fundAccount = account->fundAccount;
  condition.status = kConditionWaiting;
  account->conditions.push_back(std::move(condition));
  return kNoError;
}

namespace {

bool ConditionOpen(const ConditionOrder& condition) {
  return condition.status == kConditionWaiting || condition.status == kConditionPaused;
}

}  // namespace

int32_t Book::ChangeCondition(const std::string& user, const std::string& no,
                              const std::string& triggerDate, double triggerPrice,
                              double amount) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  ConditionOrder* condition = no.empty() ? nullptr : ByNo(account->conditions, no);
  if (condition == nullptr) return kUnknownCondition;
  if (!ConditionOpen(*condition)) return kConditionEnded;
  if (!Positive(amount, kMaxVolume) || !Positive(triggerPrice, kMaxPrice)) {
    return kBadQuantityOrPrice;
  }
  condition->triggerDate = triggerDate;
  condition->triggerPrice = triggerPrice;
  condition->amount = amount;
  return kNoError;
}

int32_t Book::OperateCondition(const std::string& user, const std::string& no,
                               Operation operation) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  ConditionOrder* condition = no.empty() ? nullptr : ByNo(account->conditions, no);
  if (condition == nullptr) return kUnknownCondition;
  if (!ConditionOpen(*condition)) return kConditionEnded;
  switch (operation) {
    case Operation::Pause:
      if (condition->status != kConditionWaiting) return kBadConditionOperation;
      condition->status = kConditionPaused;
      break;
    case Operation::Resume:
      if (condition->status != kConditionPaused) return kBadConditionOperation;
      condition->status = kConditionWaiting;
      break;
    case Operation::Cancel:
      condition->status = kConditionCancelled;
      break;
  }
  return kNoError;
}

void Book::Trigger(Account& account, ConditionOrder& condition, double price, Outcome& outcome) {
  Ticket ticket;
  ticket.requestNo = condition.no + "-1";
  ticket.fundAccount = condition.fundAccount;
  ticket.market = condition.market;
  ticket.code = condition.code;
  ticket.side = condition.side;
  ticket.volume = condition.amount;
  ticket.price = price;
  Outcome placed = Submit(account.user, ticket);
  if (placed.error != kNoError) {
    condition.status = kConditionFailed;
    condition.message = ErrorText(placed.error);
    return;
  }
  condition.status = kConditionTriggered;
  condition.requestNo = ticket.requestNo;
  condition.message = "order " + ticket.requestNo + " placed";
  if (ConditionOrder* partner = condition.partner.empty()
                                   ? nullptr
                                   : ByNo(account.conditions, condition.partner)) {
    if (ConditionOpen(*partner)) partner->status = kConditionCancelled;
  }
  for (Change& change : placed.changes) outcome.changes.push_back(std::move(change));
}

void Book::RunPrograms(uint8_t market, const std::string& code, Outcome& outcome) {
  const Security* security = FindSecurity(market, code);
  if (security == nullptr) return;
  const double price = security->price;
  for (auto& [user, account] : accounts_) {
    // Indexes, not iterators: a triggered order may grow other lists.
    for (size_t i = 0; i < account.conditions.size(); ++i) {
      ConditionOrder& condition = account.conditions[i];
      if (condition.status != kConditionWaiting || condition.market != market ||
          condition.code != code) {
        continue;
      }
      const bool crossed = condition.type == "UP" ? price >= condition.triggerPrice
                                                  : price <= condition.triggerPrice;
      if (crossed) Trigger(account, condition, price, outcome);
    }
    for (size_t i = 0; i < account.algorithms.size(); ++i) {
      Algorithm& algorithm = account.algorithms[i];
      if (algorithm.status == kAlgorithmRunning && algorithm.market == market &&
          algorithm.code == code) {
        PlaceSlice(account, algorithm, outcome);
      }
    }
  }
}

Outcome Book::Walk(uint32_t draw) {
  const Security& security = securities_[draw % securities_.size()];
  // -5 to +5 tenths of a percent, in whole ticks, never past the day's limits.
  const int step = static_cast<int>((draw / securities_.size()) % 11) - 5;
  const double ticks = std::round(security.price * (1000 + step) / 1000 / security.tick);
  const double price = std::clamp(ticks * security.tick, security.limitDown, security.limitUp);
  const uint8_t market = security.market;
  const std::string code = security.code;
  return SetPrice(market, code, price);
}

}  // namespace tessel::standin
