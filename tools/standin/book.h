// The simulated trade server's book: securities with one price each, and
// per account its cash, positions, today's orders and trades, watch list,
// dealers, capital accounts, baskets and their plans, algorithms and
// condition orders. Pure logic with no locking and no sockets:
// the server serialises calls; tests drive it directly.
//
// Orders are limit orders in whole lots, priced on the security's tick and
// within the day's band. One that crosses its security's price (a buy at or
// above it, a sell at or below it) trades at that price at once, as much as
// the security's depth has left there; the rest stays open until a price
// change crosses it (each new price brings the whole depth again) or a
// cancel withdraws it. An open buy holds its volume x price of cash, an
// open sell its volume of the position. There are no fees. Shares bought
// today may be sold the same day unless the security says they are
// sellable the next day. Plans, algorithms and condition orders trade
// through the same orders; a price move first fills the open orders it
// crosses, oldest first, then triggers conditions and places algorithm
// slices.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/standin/errors.h"

namespace tessel::standin {

// "entrust_status" codes the simulator reports.
constexpr uint8_t kOrderOpen = '2';             // accepted, nothing traded yet
constexpr uint8_t kOrderPartlyCancelled = '5';  // part traded, the rest withdrawn
constexpr uint8_t kOrderCancelled = '6';        // withdrawn before anything traded
constexpr uint8_t kOrderPartlyFilled = '7';     // part traded, the rest waits
constexpr uint8_t kOrderFilled = '8';

// The word reported beside a status ("open", "partly filled", ...).
const char* StatusWord(uint8_t status);
// Open or partly filled: the order may still trade, or be cancelled.
constexpr bool Working(uint8_t status) {
  return status == kOrderOpen || status == kOrderPartlyFilled;
}

// Market bytes ("mark", "exchange_type").
constexpr uint8_t kShanghai = '1';
constexpr uint8_t kShenzhen = '2';

// "entrust_bs" bytes.
constexpr uint8_t kBuy = '1';
constexpr uint8_t kSell = '2';
// The side as answers and pushes report it: the client maps the byte '1'
// to 1 and '2' to 0, and the codec writes that mapping back.
constexpr int BsFlag(uint8_t side) { return side == kBuy ? 1 : 0; }

// Bounds on what clients can make the book hold.
constexpr size_t kMaxAccounts = 1000;
constexpr size_t kMaxOrdersPerAccount = 1000;
constexpr size_t kMaxWatchList = 100;
constexpr int32_t kPageSize = 100;  // the most records one answer carries
constexpr double kMaxVolume = 1e9;
constexpr double kMaxPrice = 1e7;
constexpr size_t kMaxBaskets = 50;
constexpr size_t kMaxBasketSecurities = 100;
constexpr size_t kMaxPlans = 50;
constexpr size_t kMaxAlgorithms = 100;
constexpr size_t kMaxConditions = 100;

struct Stamp {
  int32_t date = 0;   // YYYYMMDD
  int32_t time = 0;   // HHMMSS
  int64_t millis = 0; // since 1970
};
Stamp Now();

struct Security {
  uint8_t market = 0;
  std::string code;
  std::string name;
  double price = 0;
  double lot = 100;   // orders are whole lots of this many shares
  double tick = 0.01;  // prices are whole multiples of this
  double limitDown = 0;  // the day's band, inclusive
  double limitUp = 0;
  double depth = 0;      // shares that trade at each new price, buys and sells alike
  double available = 0;  // what is left of the depth at the current price
  bool sellNextDay = false;  // shares bought today may be sold only tomorrow
};

// The day's limit of a price `percent` away from `previousClose`, rounded to
// the nearest tick as exchanges round it.
double Limit(double previousClose, double percent, double tick);
// kBadTick or kOutsidePriceBand for a price the security cannot trade at today.
int32_t CheckPrice(const Security& security, double price);

struct Position {
  uint8_t market = 0;
  std::string code;
  std::string name;
  double current = 0;  // held
  double enable = 0;   // may be sold today and is not promised to an open sell
  double cost = 0;     // average price paid
};

struct Order {
  std::string requestNo;
  uint64_t entered = 0;  // book-wide order of entry: the older trades first
  std::string fundAccount;
  std::string operatorId;
  uint8_t market = 0;
  std::string code;
  std::string name;
  uint8_t side = kBuy;
  uint8_t prop = 0;          // "entrust_prop", kept and reported back
  uint8_t businessType = 0;  // kept and reported back
  uint8_t allowCancel = 0;   // kept and reported back
  double volume = 0;
  double price = 0;
  double filled = 0;
  double fillPrice = 0;  // average over its trades
  uint8_t status = kOrderOpen;
  Stamp placed;
  Stamp changed;
  std::string cancelNo;  // the cancel request that withdrew it
};

struct Trade {
  std::string businessNo;
  std::string requestNo;
  std::string fundAccount;
  uint8_t market = 0;
  std::string code;
  std::string name;
  uint8_t side = kBuy;
  uint8_t prop = 0;
  double volume = 0;
  double price = 0;
  Stamp at;
};

struct WatchItem {
  uint8_t market = 0;
  std::string code;
};

struct Dealer {
  std::string user;
  std::string clientId;
  std::string operatorId;
};

struct CapitalAccount {
  std::string fundAccount;
  std::string clientId;
  std::string busiType;
  std::string busiTypeDesc;
};

// A basket: securities to trade together, each with its side, amount and
// price. Its detail ids are "<basket_no>-<n>", never reused.
struct BasketSecurity {
  std::string detailId;
  uint8_t market = 0;
  std::string code;
  std::string name;
  std::string algorithmType;  // kept and reported back
  uint8_t side = kBuy;
  std::string priceType;      // kept and reported back
  double limitPrice = 0;
  double price = 0;           // not positive: the security's price when the plan starts
  int32_t amount = 0;
  double smallestAmount = 0;  // kept and reported back
  double smallestBalance = 0;
};

struct Basket {
  std::string no;
  std::string name;
  std::string type;
  std::vector<BasketSecurity> securities;
  uint64_t detailSeq = 0;
};

// One order of a started plan; `requestNo` names it among the account's
// orders, empty when the book refused it (`refusal` says why).
struct PlanLine {
  std::string detailId;
  uint8_t market = 0;
  std::string code;
  std::string name;
  std::string algorithmType;
  std::string priceType;
  uint8_t side = kBuy;
  double price = 0;
  double amount = 0;
  std::string requestNo;
  int32_t refusal = kNoError;
};

struct Plan {
  std::string basketNo;
  std::string batchNo;
  std::string basketName;
  std::string basketType;
  std::string fundAccount;
  Stamp started;
  std::vector<PlanLine> lines;
};

// An algorithm trades `amount` in slices of `slice` (all at once when not
// positive): one slice when it starts or resumes and one on each move of
// its security's price while it runs, each a limit order at that price.
constexpr const char* kAlgorithmRunning = "running";
constexpr const char* kAlgorithmPaused = "paused";
constexpr const char* kAlgorithmCancelled = "cancelled";
constexpr const char* kAlgorithmDone = "done";
constexpr const char* kAlgorithmStopped = "stopped";  // a slice was refused

struct Algorithm {
  std::string no;
  std::string type;
  uint8_t market = 0;
  std::string code;
  std::string name;
  uint8_t side = kBuy;
  double amount = 0;
  double slice = 0;
  double placed = 0;  // volume of the slices placed so far
  std::string status = kAlgorithmRunning;
  std::string message;
  Stamp entered;
  Json::Value settings;  // limits and times as the client sent them, reported back
  std::vector<std::string> orders;  // request numbers of its slices
};

// A condition order waits for its security's price to reach the trigger
// ("UP": at or above it; "DOWN": at or below it), then places a limit order
// of `amount` at that price.
constexpr const char* kConditionWaiting = "waiting";
constexpr const char* kConditionPaused = "paused";
constexpr const char* kConditionTriggered = "triggered";
constexpr const char* kConditionFailed = "failed";  // triggered, and the book refused the order
constexpr const char* kConditionCancelled = "cancelled";

struct ConditionOrder {
  std::string no;
  uint8_t market = 0;
  std::string code;
  std::string name;
  std::string type;  // "UP" or "DOWN"
  uint8_t side = kBuy;
  std::string triggerDate;  // kept and reported back
  double triggerPrice = 0;
  double amount = 0;
  std::string fundAccount;
  std::string remark;
  std::string status = kConditionWaiting;
  std::string message;
  std::string requestNo;  // of the order it placed
  std::string partner;    // cancelled once this one has placed its order
};

struct Account {
  std::string user;
  std::string password;  // checked at login when the book lists its accounts
  // Its own client, fund account and operator, which answers and pushes
  // name where a request named none: the first of `capital` and `operators`.
  std::string clientId;
  std::string fundAccount;
  std::string operatorId;
  std::vector<std::string> operators;  // who may enter its requests
  double cash = 0;
  double frozenCash = 0;  // held by open buys
  double realized = 0;    // profit of today's sells against their cost
  std::vector<Position> positions;  // in order of first purchase
  std::vector<Order> orders;        // today's, in order of entry
  std::vector<Trade> trades;
  std::vector<WatchItem> watch;
  std::vector<Dealer> dealers;
  std::vector<CapitalAccount> capital;  // its fund accounts, each of one of its clients
  std::vector<Basket> baskets;
  std::vector<Plan> plans;
  std::vector<Algorithm> algorithms;
  std::vector<ConditionOrder> conditions;
  uint64_t programSeq = 0;  // numbers baskets, plans, algorithms and conditions

  double Available() const { return cash - frozenCash; }
  const Position* FindPosition(uint8_t market, const std::string& code) const;
  const CapitalAccount* FindFund(const std::string& fundAccount) const;
  // The client `fundAccount` belongs to; its own for "".
  const std::string& ClientOf(const std::string& fundAccount) const;
};

// One change to report on the account's push connection.
struct Change {
  enum class Kind { Order, Fund, Position };
  Kind kind = Kind::Order;
  std::string user;
  std::string fundAccount;     // the fund account the change was made under
  Order order;                 // Kind::Order: the order as it now is
  std::optional<Trade> trade;  // Kind::Order: the fill that changed it
  Position position;           // Kind::Position
  double tradedVolume = 0;     // Kind::Position: what a fill moved
  double tradedAmount = 0;
  // Kind::Fund: the account's cash as it now is.
  double balance = 0;
  double available = 0;
  double realized = 0;
};

struct Outcome {
  int32_t error = kNoError;
  std::vector<Change> changes;
};

// An order to place; no fund account or operator: the account's own.
struct Ticket {
  std::string requestNo;
  std::string fundAccount;
  std::string operatorId;
  uint8_t market = 0;
  std::string code;
  uint8_t side = 0;
  uint8_t prop = 0;
  uint8_t businessType = 0;
  uint8_t allowCancel = 0;
  double volume = 0;
  double price = 0;
};

// A cancel of the order `orderNo`, saying what it believes the order is.
struct CancelTicket {
  std::string orderNo;
  std::string cancelNo;  // the cancel request's own number
  uint8_t market = 0;
  std::string code;
  std::string fundAccount;  // "": not said
};

// What a book starts from. Without accounts it is open: any user who logs
// in gets one made like the demo's.
struct Seed {
  std::vector<Security> securities;
  std::vector<Account> accounts;
};
// The demo's four securities.
std::vector<Security> DemoSecurities();

// The records of one page: indexes [first, last) of the whole list.
struct PageRange {
  size_t first = 0;
  size_t last = 0;
};
// A page starts after the record whose "position_str" is `position` (each
// record's position is its 1-based ordinal as text; "" or anything else that
// is not such a number starts at the top) and holds at most `maxRequestNum`
// records, or kPageSize when that is not between 1 and kPageSize.
PageRange Page(size_t total, int32_t maxRequestNum, const std::string& position);

class Book {
 public:
  // The open demo book; `clock` stamps orders and trades.
  explicit Book(std::function<Stamp()> clock = Now);
  // A book of the seed's securities and accounts, or open without accounts.
  explicit Book(Seed seed, std::function<Stamp()> clock = Now);

  // True when only the seed's accounts log in, each with its own password.
  bool Listed() const { return !open_; }
  int32_t CheckLogin(const std::string& user, const std::string& password) const;
  // Replaces the user's password when `current` is it.
  int32_t ChangePassword(const std::string& user, const std::string& current,
                         const std::string& next);

  // The account of `user`. An open book makes it on first use, with the
  // demo's cash, position, watch list, dealers and capital accounts, and
  // gives null once kMaxAccounts exist; a listed book knows only its own.
  Account* Open(const std::string& user);
  const Account* Find(const std::string& user) const;

  const std::vector<Security>& Securities() const { return securities_; }
  const Security* FindSecurity(uint8_t market, const std::string& code) const;

  Outcome Submit(const std::string& user, const Ticket& ticket);
  // Withdraws what is left of a working order.
  Outcome Cancel(const std::string& user, const CancelTicket& cancel);
  // Sets the price (on the tick, within the band) with its whole depth,
  // then fills the open orders it crosses, oldest first.
  Outcome SetPrice(uint8_t market, const std::string& code, double price);

  // Largest volume `user` can buy at `price` (the security's own when not
  // positive) in whole `unit`s, or sell; nothing for an unknown security.
  std::optional<double> MaxBuy(const std::string& user, uint8_t market, const std::string& code,
                               double price, int32_t unit) const;
  std::optional<double> MaxSell(const std::string& user, uint8_t market,
                                const std::string& code) const;
  // Market value of the account's positions at today's prices.
  double MarketValue(const Account& account) const;
  double FloatingProfit(const Account& account) const;

  // Watch list: add or remove one security, or replace the whole list.
  int32_t Watch(const std::string& user, uint8_t market, const std::string& code);
  int32_t Unwatch(const std::string& user, uint8_t market, const std::string& code);
  int32_t ReplaceWatch(const std::string& user, const std::vector<WatchItem>& items);

  // Baskets (book_programs.cpp). Each returns an error number; a new
  // basket's or security's number comes back through `no`.
  int32_t CreateBasket(const std::string& user, const std::string& name, const std::string& type,
                       std::string& no);
  int32_t RenameBasket(const std::string& user, const std::string& no, const std::string& name);
  int32_t DeleteBasket(const std::string& user, const std::string& no);
  // Adds every security or none; `ids` gets their detail ids in order.
  int32_t AddBasketSecurities(const std::string& user, const std::string& basketNo,
                              std::vector<BasketSecurity> securities,
                              std::vector<std::string>& ids);
  // Replaces everything but the id, market and code of the security.
  int32_t UpdateBasketSecurity(const std::string& user, const BasketSecurity& security);
  int32_t DeleteBasketSecurity(const std::string& user, const std::string& detailId);
  const Basket* FindBasket(const std::string& user, const std::string& no) const;

  // Starts a plan on the basket: one order per line, each line naming a
  // security of the basket by detail id (its amount and price replacing the
  // basket's where positive); no lines: every security of the basket as it
  // stands. A line the book refuses keeps its refusal and the plan goes on.
  Outcome StartPlan(const std::string& user, const std::string& basketNo,
                    const std::string& basketType, const std::string& fundAccount,
                    const std::vector<PlanLine>& lines, std::string& batchNo);
  const Plan* FindPlan(const std::string& user, const std::string& basketNo,
                       const std::string& batchNo) const;
  // "running" while an order of the plan is open, then "finished".
  std::string PlanStatus(const Account& account, const Plan& plan) const;
  const Order* FindOrder(const Account& account, const std::string& requestNo) const;

  // Algorithms: start one (its first slice goes at once), and pause, resume
  // or cancel it.
  Outcome StartAlgorithm(const std::string& user, Algorithm algorithm, std::string& no);
  enum class Operation { Pause, Resume, Cancel };
  Outcome OperateAlgorithm(const std::string& user, const std::string& no, Operation operation);

  // Condition orders: create, change the trigger, pause, resume, cancel.
  int32_t CreateCondition(const std::string& user, ConditionOrder condition, std::string& no);
  int32_t ChangeCondition(const std::string& user, const std::string& no,
                          const std::string& triggerDate, double triggerPrice, double amount);
  int32_t OperateCondition(const std::string& user, const std::string& no, Operation operation);

  // One step of the price walk: `draw` picks a security and a move of at
  // most half a percent up or down, in whole ticks, kept within the band.
  Outcome Walk(uint32_t draw);

 private:
  Account* FindMutable(const std::string& user);
  Security* FindSecurityMutable(uint8_t market, const std::string& code);
  static int32_t CheckSell(const Account& account, const Security& security,
                           const Ticket& ticket);
  void ReportHold(Account& account, const Order& order, Outcome& outcome);
  void Fill(Account& account, Order& order, Security& security, Outcome& outcome);
  Position& PositionFor(Account& account, const Order& order);
  // After a price move: triggers the conditions and runs the algorithms of
  // that security.
  void RunPrograms(uint8_t market, const std::string& code, Outcome& outcome);
  void PlaceSlice(Account& account, Algorithm& algorithm, Outcome& outcome);
  void Trigger(Account& account, ConditionOrder& condition, double price, Outcome& outcome);
  Basket* FindBasketMutable(Account& account, const std::string& no);

  std::function<Stamp()> clock_;
  std::vector<Security> securities_;
  std::map<std::string, Account> accounts_;
  bool open_ = true;
  uint64_t tradeSeq_ = 0;
  uint64_t orderSeq_ = 0;
};

}  // namespace tessel::standin
