#include "tools/standin/book.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace tessel::standin {

const char* StatusWord(uint8_t status) {
  switch (status) {
    case kOrderOpen: return "open";
    case kOrderFilled: return "filled";
    case kOrderCancelled: return "cancelled";
    default: return "";
  }
}

Stamp Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  Stamp stamp;
  stamp.date = (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
  stamp.time = local.tm_hour * 10000 + local.tm_min * 100 + local.tm_sec;
  stamp.millis = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  return stamp;
}

PageRange Page(size_t total, int32_t maxRequestNum, const std::string& position) {
  const size_t size = (maxRequestNum >= 1 && maxRequestNum <= kPageSize)
                          ? static_cast<size_t>(maxRequestNum)
                          : static_cast<size_t>(kPageSize);
  size_t first = 0;
  if (!position.empty() && position.size() <= 9 &&
      std::all_of(position.begin(), position.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    first = std::min<size_t>(std::strtoul(position.c_str(), nullptr, 10), total);
  }
  return {first, std::min(total, first + size)};
}

const Position* Account::FindPosition(uint8_t market, const std::string& code) const {
  for (const Position& position : positions) {
    if (position.market == market && position.code == code) return &position;
  }
  return nullptr;
}

Book::Book(std::function<Stamp()> clock) : clock_(std::move(clock)) {
  securities_ = {
      {kShanghai, "600000", "SPD Bank", 10.50},
      {kShanghai, "600519", "Kweichow Moutai", 1700.00},
      {kShenzhen, "000001", "Ping An Bank", 12.30},
      {kShenzhen, "000858", "Wuliangye", 150.00},
  };
}

Account* Book::Open(const std::string& user) {
  if (Account* known = FindMutable(user)) return known;
  if (accounts_.size() >= kMaxAccounts) return nullptr;
  Account account;
  account.user = user;
  account.clientId = user;
  account.fundAccount = user + "-01";
  account.operatorId = user + "-op";
  account.cash = 1000000.0;
  const Security& held = securities_[0];
  account.positions.push_back({held.market, held.code, held.name, 1000, 1000, 10.00});
  account.watch = {{kShanghai, "600519"}, {kShenzhen, "000001"}};
  account.dealers = {{user, account.clientId, "dealer-1"}, {user, account.clientId, "dealer-2"}};
  account.capital = {{account.fundAccount, account.clientId, "0", "cash account"},
                     {user + "-02", account.clientId, "1", "margin account"}};
  return &accounts_.emplace(user, std::move(account)).first->second;
}

const Account* Book::Find(const std::string& user) const {
  const auto found = accounts_.find(user);
  return found == accounts_.end() ? nullptr : &found->second;
}

Account* Book::FindMutable(const std::string& user) {
  const auto found = accounts_.find(user);
  return found == accounts_.end() ? nullptr : &found->second;
}

const Security* Book::FindSecurity(uint8_t market, const std::string& code) const {
  for (const Security& security : securities_) {
    if (security.market == market && security.code == code) return &security;
  }
  return nullptr;
}

namespace {

bool Crosses(const Order& order, double price) {
  return order.side == kBuy ? order.price >= price : order.price <= price;
}

Change OrderChange(const Account& account, const Order& order, std::optional<Trade> trade) {
  Change change;
  change.kind = Change::Kind::Order;
  change.user = account.user;
  change.order = order;
  change.trade = std::move(trade);
  return change;
}

Change FundChange(const Account& account) {
  Change change;
  change.kind = Change::Kind::Fund;
  change.user = account.user;
  change.balance = account.cash;
  change.available = account.Available();
  change.realized = account.realized;
  return change;
}

Change PositionChange(const Account& account, const Position& position,
                      const std::optional<Trade>& trade) {
  Change change;
  change.kind = Change::Kind::Position;
  change.user = account.user;
  change.position = position;
  if (trade) {
    change.tradedVolume = trade->volume;
    change.tradedAmount = trade->volume * trade->price;
  }
  return change;
}

// Gives back what an open buy held; rounding never leaves a speck held.
void ReleaseCash(Account& account, const Order& order) {
  account.frozenCash -= order.volume * order.price;
  if (account.frozenCash < 1e-6) account.frozenCash = 0;
}

bool Finite(double value, double max) { return std::isfinite(value) && value > 0 && value <= max; }

}  // namespace

Position& Book::PositionFor(Account& account, const Order& order) {
  for (Position& position : account.positions) {
    if (position.market == order.market && position.code == order.code) return position;
  }
  account.positions.push_back({order.market, order.code, order.name, 0, 0, 0});
  return account.positions.back();
}

// Fills the whole order at `price` and reports the order, the cash and the
// position. A position sold out is reported at zero and then dropped.
void Book::Fill(Account& account, Order& order, double price, Outcome& outcome) {
  const double amount = order.volume * price;
  Position& position = PositionFor(account, order);
  if (order.side == kBuy) {
    ReleaseCash(account, order);
    account.cash -= amount;
    position.cost = (position.cost * position.current + amount) / (position.current + order.volume);
    position.current += order.volume;
    position.enable += order.volume;
  } else {
    account.cash += amount;
    account.realized += (price - position.cost) * order.volume;
    position.current -= order.volume;  // enable was taken when the sell was placed
  }
  const Stamp now = clock_();
  order.filled = order.volume;
  order.fillPrice = price;
  order.status = kOrderFilled;
  order.changed = now;
  Trade trade{"T" + std::to_string(++tradeSeq_), order.requestNo, order.market, order.code,
              order.name, order.side, order.prop, order.volume, price, now};
  account.trades.push_back(trade);
  outcome.changes.push_back(OrderChange(account, order, trade));
  outcome.changes.push_back(FundChange(account));
  outcome.changes.push_back(PositionChange(account, position, trade));
  if (position.current <= 0 && position.enable <= 0) {
    account.positions.erase(account.positions.begin() + (&position - account.positions.data()));
  }
}

Outcome Book::Submit(const std::string& user, const Ticket& ticket) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  if (account->orders.size() >= kMaxOrdersPerAccount) return {kTooManyOrders, {}};
  if (ticket.side != kBuy && ticket.side != kSell) return {kBadSide, {}};
  const Security* security = FindSecurity(ticket.market, ticket.code);
  if (security == nullptr) return {kUnknownSecurity, {}};
  if (!Finite(ticket.volume, kMaxVolume) || !Finite(ticket.price, kMaxPrice)) {
    return {kBadQuantityOrPrice, {}};
  }
  if (ticket.requestNo.empty() ||
      std::any_of(account->orders.begin(), account->orders.end(),
                  [&](const Order& o) { return o.requestNo == ticket.requestNo; })) {
    return {kDuplicateRequestNo, {}};
  }
  Position* held = nullptr;
  if (ticket.side == kBuy) {
    if (ticket.volume * ticket.price > account->Available()) return {kInsufficientFunds, {}};
    account->frozenCash += ticket.volume * ticket.price;
  } else {
    for (Position& position : account->positions) {
      if (position.market == ticket.market && position.code == ticket.code) held = &position;
    }
    if (held == nullptr || held->enable < ticket.volume) return {kInsufficientPosition, {}};
    held->enable -= ticket.volume;
  }
  Order order;
  order.requestNo = ticket.requestNo;
  order.market = ticket.market;
  order.code = ticket.code;
  order.name = security->name;
  order.side = ticket.side;
  order.prop = ticket.prop;
  order.businessType = ticket.businessType;
  order.allowCancel = ticket.allowCancel;
  order.volume = ticket.volume;
  order.price = ticket.price;
  order.placed = order.changed = clock_();
  account->orders.push_back(order);
  Outcome outcome;
  Order& placed = account->orders.back();
  if (Crosses(placed, security->price)) {
    Fill(*account, placed, security->price, outcome);
  } else if (ticket.side == kBuy) {
    outcome.changes.push_back(OrderChange(*account, placed, std::nullopt));
    outcome.changes.push_back(FundChange(*account));
  } else {
    outcome.changes.push_back(OrderChange(*account, placed, std::nullopt));
    outcome.changes.push_back(PositionChange(*account, *held, std::nullopt));
  }
  return outcome;
}

Outcome Book::Cancel(const std::string& user, const std::string& requestNo,
                     const std::string& cancelNo) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  const auto found = std::find_if(account->orders.begin(), account->orders.end(),
                                  [&](const Order& o) { return o.requestNo == requestNo; });
  if (requestNo.empty() || found == account->orders.end()) return {kUnknownOrder, {}};
  Order& order = *found;
  if (order.status == kOrderFilled) return {kOrderAlreadyFilled, {}};
  if (order.status == kOrderCancelled) return {kOrderAlreadyCancelled, {}};
  order.status = kOrderCancelled;
  order.cancelNo = cancelNo;
  order.changed = clock_();
  Outcome outcome;
  outcome.changes.push_back(OrderChange(*account, order, std::nullopt));
  if (order.side == kBuy) {
    ReleaseCash(*account, order);
    outcome.changes.push_back(FundChange(*account));
  } else {
    Position& position = PositionFor(*account, order);
    position.enable += order.volume;
    outcome.changes.push_back(PositionChange(*account, position, std::nullopt));
  }
  return outcome;
}

Outcome Book::SetPrice(uint8_t market, const std::string& code, double price) {
  Outcome outcome;
  auto security = std::find_if(securities_.begin(), securities_.end(), [&](const Security& s) {
    return s.market == market && s.code == code;
  });
  if (security == securities_.end()) return {kUnknownSecurity, {}};
  if (!Finite(price, kMaxPrice)) return {kBadQuantityOrPrice, {}};
  security->price = price;
  for (auto& [user, account] : accounts_) {
    for (Order& order : account.orders) {
      if (order.status == kOrderOpen && order.market == market && order.code == code &&
          Crosses(order, price)) {
        Fill(account, order, price, outcome);
      }
    }
  }
  return outcome;
}

std::optional<double> Book::MaxBuy(const std::string& user, uint8_t market,
                                   const std::string& code, double price, int32_t unit) const {
  const Account* account = Find(user);
  const Security* security = FindSecurity(market, code);
  if (account == nullptr || security == nullptr) return std::nullopt;
  const double at = std::isfinite(price) && price > 0 ? price : security->price;
  const double lot = unit > 0 ? unit : 1;
  return std::max(0.0, std::floor(account->Available() / at / lot) * lot);
}

std::optional<double> Book::MaxSell(const std::string& user, uint8_t market,
                                    const std::string& code) const {
  const Account* account = Find(user);
  if (account == nullptr || FindSecurity(market, code) == nullptr) return std::nullopt;
  const Position* position = account->FindPosition(market, code);
  return position == nullptr ? 0.0 : position->enable;
}

double Book::MarketValue(const Account& account) const {
  double value = 0;
  for (const Position& position : account.positions) {
    const Security* security = FindSecurity(position.market, position.code);
    value += position.current * (security != nullptr ? security->price : position.cost);
  }
  return value;
}

double Book::FloatingProfit(const Account& account) const {
  return MarketValue(account) - [&] {
    double cost = 0;
    for (const Position& position : account.positions) cost += position.current * position.cost;
    return cost;
  }();
}

int32_t Book::Watch(const std::string& user, uint8_t market, const std::string& code) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  if (FindSecurity(market, code) == nullptr) return kUnknownSecurity;
  for (const WatchItem& item : account->watch) {
    if (item.market == market && item.code == code) return kAlreadyOnWatchList;
  }
  if (account->watch.size() >= kMaxWatchList) return kWatchListFull;
  account->watch.push_back({market, code});
  return kNoError;
}

int32_t Book::Unwatch(const std::string& user, uint8_t market, const std::string& code) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  const auto found = std::find_if(account->watch.begin(), account->watch.end(),
                                  [&](const WatchItem& i) { return i.market == market && i.code == code; });
  if (found == account->watch.end()) return kNotOnWatchList;
  account->watch.erase(found);
  return kNoError;
}

int32_t Book::ReplaceWatch(const std::string& user, const std::vector<WatchItem>& items) {
  Account* account = FindMutable(user);
  if (account == nullptr) return kNotLoggedIn;
  if (items.size() > kMaxWatchList) return kWatchListFull;
  std::vector<WatchItem> next;
  for (const WatchItem& item : items) {
    if (FindSecurity(item.market, item.code) == nullptr) return kUnknownSecurity;
    const bool twice = std::any_of(next.begin(), next.end(), [&](const WatchItem& i) {
      return i.market == item.market && i.code == item.code;
    });
    if (!twice) next.push_back(item);
  }
  account->watch = std::move(next);
  return kNoError;
}

}  // namespace tessel::standin
