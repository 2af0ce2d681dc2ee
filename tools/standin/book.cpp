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
    case kOrderPartlyFilled: return "partly filled";
    case kOrderFilled: return "filled";
    case kOrderPartlyCancelled: return "partly cancelled";
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

const CapitalAccount* Account::FindFund(const std::string& fund) const {
  for (const CapitalAccount& account : capital) {
    if (account.fundAccount == fund) return &account;
  }
  return nullptr;
}

const std::string& Account::ClientOf(const std::string& fund) const {
  const CapitalAccount* found = FindFund(fund);
  return found != nullptr ? found->clientId : clientId;
}

namespace {

// Whole multiples, allowing for the binary fractions of decimal prices.
bool Multiple(double value, double step) {
  const double steps = value / step;
  return std::fabs(steps - std::round(steps)) < 1e-6;
}

// Lot 100, tick 0.01, a band of 10 % around today's opening price, and a
// depth no demo session runs out of but a large order can.
Security DemoSecurity(uint8_t market, const char* code, const char* name, double price,
                      double depth) {
  Security security;
  security.market = market;
  security.code = code;
  security.name = name;
  security.price = price;
  security.limitDown = Limit(price, -10, security.tick);
  security.limitUp = Limit(price, 10, security.tick);
  security.depth = security.available = depth;
  return security;
}

}  // namespace

double Limit(double previousClose, double percent, double tick) {
  return std::round(previousClose * (1 + percent / 100) / tick) * tick;
}

int32_t CheckPrice(const Security& security, double price) {
  if (!Multiple(price, security.tick)) return kBadTick;
  const double slack = security.tick / 1000;
  return price < security.limitDown - slack || price > security.limitUp + slack
             ? kOutsidePriceBand
             : kNoError;
}

std::vector<Security> DemoSecurities() {
  return {
      DemoSecurity(kShanghai, "600000", "SPD Bank", 10.50, 500000),
      DemoSecurity(kShanghai, "600519", "Kweichow Moutai", 1700.00, 10000),
      DemoSecurity(kShenzhen, "000001", "Ping An Bank", 12.30, 20000),
      DemoSecurity(kShenzhen, "000858", "Wuliangye", 150.00, 50000),
  };
}

Book::Book(std::function<Stamp()> clock) : Book(Seed{DemoSecurities(), {}}, std::move(clock)) {}

Book::Book(Seed seed, std::function<Stamp()> clock)
    : clock_(std::move(clock)),
      securities_(std::move(seed.securities)),
      open_(seed.accounts.empty()) {
  for (Account& account : seed.accounts) {
    const std::string user = account.user;
    accounts_.emplace(user, std::move(account));
  }
}

int32_t Book::CheckLogin(const std::string& user, const std::string& password) const {
  const Account* account = Find(user);
  if (account == nullptr) return kUnknownUser;
  return account->password == password ? kNoError : kWrongPassword;
}

int32_t Book::ChangePassword(const std::string& user, const std::string& current,
                             const std::string& next) {
  const int32_t error = CheckLogin(user, current);
  if (error == kNoError) FindMutable(user)->password = next;
  return error;
}

Account* Book::Open(const std::string& user) {
  if (Account* known = FindMutable(user)) return known;
  if (!open_ || accounts_.size() >= kMaxAccounts) return nullptr;
  Account account;
  account.user = user;
  account.clientId = user;
  account.fundAccount = user + "-01";
  account.operatorId = user + "-op";
  account.operators = {account.operatorId};
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

Security* Book::FindSecurityMutable(uint8_t market, const std::string& code) {
  for (Security& security : securities_) {
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
  change.fundAccount = order.fundAccount;
  change.order = order;
  change.trade = std::move(trade);
  return change;
}

Change FundChange(const Account& account, const Order& order) {
  Change change;
  change.kind = Change::Kind::Fund;
  change.user = account.user;
  change.fundAccount = order.fundAccount;
  change.balance = account.cash;
  change.available = account.Available();
  change.realized = account.realized;
  return change;
}

Change PositionChange(const Account& account, const Order& order, const Position& position,
                      const std::optional<Trade>& trade) {
  Change change;
  change.kind = Change::Kind::Position;
  change.user = account.user;
  change.fundAccount = order.fundAccount;
  change.position = position;
  if (trade) {
    change.tradedVolume = trade->volume;
    change.tradedAmount = trade->volume * trade->price;
  }
  return change;
}

// Gives back what an open buy held for `volume`; rounding never leaves a
// speck held.
void ReleaseCash(Account& account, const Order& order, double volume) {
  account.frozenCash -= volume * order.price;
  if (account.frozenCash < 1e-6) account.frozenCash = 0;
}

bool Finite(double value, double max) { return std::isfinite(value) && value > 0 && value <= max; }

// The shares past whole lots.
double OddPart(double volume, double lot) { return volume - std::floor(volume / lot + 1e-9) * lot; }

}  // namespace

Position& Book::PositionFor(Account& account, const Order& order) {
  for (Position& position : account.positions) {
    if (position.market == order.market && position.code == order.code) return position;
  }
  account.positions.push_back({order.market, order.code, order.name, 0, 0, 0});
  return account.positions.back();
}

// Trades what it can of a working order at its security's price, at most
// what the depth has left there, and reports the order, the cash and the
// position. A position sold out is reported at zero and then dropped.
void Book::Fill(Account& account, Order& order, Security& security, Outcome& outcome) {
  const double volume = std::min(order.volume - order.filled, security.available);
  if (volume <= 0) return;
  security.available -= volume;
  const double price = security.price;
  const double amount = volume * price;
  Position& position = PositionFor(account, order);
  if (order.side == kBuy) {
    ReleaseCash(account, order, volume);
    account.cash -= amount;
    position.cost = (position.cost * position.current + amount) / (position.current + volume);
    position.current += volume;
    if (!security.sellNextDay) position.enable += volume;
  } else {
    account.cash += amount;
    account.realized += (price - position.cost) * volume;
    position.current -= volume;  // enable was taken when the sell was placed
  }
  const Stamp now = clock_();
  order.fillPrice = (order.fillPrice * order.filled + amount) / (order.filled + volume);
  order.filled += volume;
  order.status = order.filled < order.volume ? kOrderPartlyFilled : kOrderFilled;
  order.changed = now;
  Trade trade{"T" + std::to_string(++tradeSeq_), order.requestNo, order.fundAccount,
              order.market, order.code, order.name, order.side, order.prop, volume, price, now};
  account.trades.push_back(trade);
  outcome.changes.push_back(OrderChange(account, order, trade));
  outcome.changes.push_back(FundChange(account, order));
  outcome.changes.push_back(PositionChange(account, order, position, trade));
  if (position.current <= 0 && position.enable <= 0) {
    account.positions.erase(account.positions.begin() + (&position - account.positions.data()));
  }
}

// A sell within what may be sold today, in whole lots or with the odd
// remainder of it: an odd lot can only be sold together with the rest of
// the odd shares, as exchanges take them.
int32_t Book::CheckSell(const Account& account, const Security& security,
                        const Ticket& ticket) {
  const Position* held = account.FindPosition(ticket.market, ticket.code);
  const double sellable = held != nullptr ? held->enable : 0;
  if (sellable < ticket.volume) return kInsufficientPosition;
  const double odd = OddPart(ticket.volume, security.lot);
  return odd == 0 || odd == OddPart(sellable, security.lot) ? kNoError : kBadLot;
}

Outcome Book::Submit(const std::string& user, const Ticket& ticket) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  if (account->orders.size() >= kMaxOrdersPerAccount) return {kTooManyOrders, {}};
  if (ticket.side != kBuy && ticket.side != kSell) return {kBadSide, {}};
  Security* security = FindSecurityMutable(ticket.market, ticket.code);
  if (security == nullptr) return {kUnknownSecurity, {}};
  if (!Finite(ticket.volume, kMaxVolume) || !Finite(ticket.price, kMaxPrice)) {
    return {kBadQuantityOrPrice, {}};
  }
  if (const int32_t error = CheckPrice(*security, ticket.price)) return {error, {}};
  if (ticket.requestNo.empty() ||
      std::any_of(account->orders.begin(), account->orders.end(),
                  [&](const Order& o) { return o.requestNo == ticket.requestNo; })) {
    return {kDuplicateRequestNo, {}};
  }
  if (ticket.side == kBuy) {
    if (!Multiple(ticket.volume, security->lot)) return {kBadLot, {}};
    if (ticket.volume * ticket.price > account->Available()) return {kInsufficientFunds, {}};
    account->frozenCash += ticket.volume * ticket.price;
  } else {
    if (const int32_t error = CheckSell(*account, *security, ticket)) return {error, {}};
  }
  Order order;
  order.requestNo = ticket.requestNo;
  order.entered = ++orderSeq_;
  order.fundAccount = ticket.fundAccount.empty() ? account->fundAccount : ticket.fundAccount;
  order.operatorId = ticket.operatorId.empty() ? account->operatorId : ticket.operatorId;
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
  Order& placed = account->orders.back();
  Outcome outcome;
  if (ticket.side == kSell) PositionFor(*account, placed).enable -= ticket.volume;
  if (Crosses(placed, security->price) && security->available > 0) {
    Fill(*account, placed, *security, outcome);
  } else {
    ReportHold(*account, placed, outcome);
  }
  return outcome;
}

// An order that holds cash or shares without trading: the order, and the
// cash or the position it holds or gives back.
void Book::ReportHold(Account& account, const Order& order, Outcome& outcome) {
  outcome.changes.push_back(OrderChange(account, order, std::nullopt));
  if (order.side == kBuy) {
    outcome.changes.push_back(FundChange(account, order));
  } else {
    outcome.changes.push_back(
        PositionChange(account, order, PositionFor(account, order), std::nullopt));
  }
}

Outcome Book::Cancel(const std::string& user, const CancelTicket& cancel) {
  Account* account = FindMutable(user);
  if (account == nullptr) return {kNotLoggedIn, {}};
  const auto found = std::find_if(account->orders.begin(), account->orders.end(),
                                  [&](const Order& o) { return o.requestNo == cancel.orderNo; });
  if (cancel.orderNo.empty() || found == account->orders.end()) return {kUnknownOrder, {}};
  Order& order = *found;
  if (order.market != cancel.market || order.code != cancel.code ||
      (!cancel.fundAccount.empty() && order.fundAccount != cancel.fundAccount)) {
    return {kCancelMismatch, {}};
  }
  if (order.status == kOrderFilled) return {kOrderAlreadyFilled, {}};
  if (!Working(order.status)) return {kOrderAlreadyCancelled, {}};
  const double rest = order.volume - order.filled;
  order.status = order.filled > 0 ? kOrderPartlyCancelled : kOrderCancelled;
  order.cancelNo = cancel.cancelNo;
  order.changed = clock_();
  if (order.side == kBuy) {
    ReleaseCash(*account, order, rest);
  } else {
    PositionFor(*account, order).enable += rest;
  }
  Outcome outcome;
  ReportHold(*account, order, outcome);
  return outcome;
}

Outcome Book::SetPrice(uint8_t market, const std::string& code, double price) {
  Security* security = FindSecurityMutable(market, code);
  if (security == nullptr) return {kUnknownSecurity, {}};
  if (!Finite(price, kMaxPrice)) return {kBadQuantityOrPrice, {}};
  if (const int32_t error = CheckPrice(*security, price)) return {error, {}};
  security->price = price;
  security->available = security->depth;
  // The oldest order first, whoever placed it.
  std::vector<std::pair<Account*, Order*>> crossed;
  for (auto& [user, account] : accounts_) {
    for (Order& order : account.orders) {
      if (Working(order.status) && order.market == market && order.code == code &&
          Crosses(order, price)) {
        crossed.emplace_back(&account, &order);
      }
    }
  }
  std::sort(crossed.begin(), crossed.end(),
            [](const auto& a, const auto& b) { return a.second->entered < b.second->entered; });
  Outcome outcome;
  for (auto& [account, order] : crossed) Fill(*account, *order, *security, outcome);
  RunPrograms(market, code, outcome);
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
