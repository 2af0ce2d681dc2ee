// The simulated trade server's book: securities with one price each, and
// per account its cash, positions, today's orders and trades, watch list,
// dealers and capital accounts. Pure logic with no locking and no sockets:
// the server serialises calls; tests drive it directly.
//
// Orders are limit orders. One that crosses its security's price (a buy at
// or above it, a sell at or below it) fills whole at that price at once;
// otherwise it stays open (kOrderOpen) until a price change crosses it or a
// cancel withdraws it. An open buy holds its volume x price of cash, an
// open sell its volume of the position. There are no fees, and bought
// shares may be sold the same day.
#pragma once

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
constexpr uint8_t kOrderOpen = '2';       // accepted, waiting for a price that crosses
constexpr uint8_t kOrderCancelled = '6';
constexpr uint8_t kOrderFilled = '8';

// The word reported beside a status ("open", "filled", "cancelled").
const char* StatusWord(uint8_t status);

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
};

struct Position {
  uint8_t market = 0;
  std::string code;
  std::string name;
  double current = 0;  // held
  double enable = 0;   // held and not promised to an open sell
  double cost = 0;     // average price paid
};

struct Order {
  std::string requestNo;
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
  double fillPrice = 0;
  uint8_t status = kOrderOpen;
  Stamp placed;
  Stamp changed;
  std::string cancelNo;  // the cancel request that withdrew it
};

struct Trade {
  std::string businessNo;
  std::string requestNo;
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

struct Account {
  std::string user;
  std::string clientId;
  std::string fundAccount;
  std::string operatorId;
  double cash = 0;
  double frozenCash = 0;  // held by open buys
  double realized = 0;    // profit of today's sells against their cost
  std::vector<Position> positions;  // in order of first purchase
  std::vector<Order> orders;        // today's, in order of entry
  std::vector<Trade> trades;
  std::vector<WatchItem> watch;
  std::vector<Dealer> dealers;
  std::vector<CapitalAccount> capital;

  double Available() const { return cash - frozenCash; }
  const Position* FindPosition(uint8_t market, const std::string& code) const;
};

// One change to report on the account's push connection.
struct Change {
  enum class Kind { Order, Fund, Position };
  Kind kind = Kind::Order;
  std::string user;
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

struct Ticket {
  std::string requestNo;
  uint8_t market = 0;
  std::string code;
  uint8_t side = 0;
  uint8_t prop = 0;
  uint8_t businessType = 0;
  uint8_t allowCancel = 0;
  double volume = 0;
  double price = 0;
};

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
  // A fresh book with the seed securities; `clock` stamps orders and trades.
  explicit Book(std::function<Stamp()> clock = Now);

  // The account of `user`, made with the seed cash, position, watch list,
  // dealers and capital accounts on first use; null once kMaxAccounts exist.
  Account* Open(const std::string& user);
  const Account* Find(const std::string& user) const;

  const std::vector<Security>& Securities() const { return securities_; }
  const Security* FindSecurity(uint8_t market, const std::string& code) const;

  Outcome Submit(const std::string& user, const Ticket& ticket);
  // Withdraws the open order `requestNo` for the cancel request `cancelNo`.
  Outcome Cancel(const std::string& user, const std::string& requestNo,
                 const std::string& cancelNo);
  // Sets the price, then fills every open order it crosses.
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

 private:
  Account* FindMutable(const std::string& user);
  void Fill(Account& account, Order& order, double price, Outcome& outcome);
  Position& PositionFor(Account& account, const Order& order);

  std::function<Stamp()> clock_;
  std::vector<Security> securities_;
  std::map<std::string, Account> accounts_;
  uint64_t tradeSeq_ = 0;
};

}  // namespace tessel::standin
