#include "tools/standin/accounts_file.h"

#include <json/reader.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tessel::standin {
namespace {

// The longest text a request field carries for a code, and for any other
// name or number.
constexpr size_t kMaxCode = 11;
constexpr size_t kMaxText = 63;

// What is wrong and where; thrown while reading, caught at the top.
struct Fault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// A value of the file and its path from the top ("users[0].cash").
class Node {
 public:
  Node(const Json::Value& value, std::string path) : value_(value), path_(std::move(path)) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw Fault((path_.empty() ? std::string("the file") : path_) + ": " + what);
  }

  // An object holding no key but `known`.
  void Object(std::initializer_list<const char*> known) const {
    if (!value_.isObject()) Fail("must be an object");
    for (const std::string& key : value_.getMemberNames()) {
      if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key == k; })) {
        Fail("unknown key \"" + key + "\"");
      }
    }
  }

  Node Key(const char* key) const {
    if (!value_.isMember(key)) Fail("\"" + std::string(key) + "\" is missing");
    return Optional(key).value();
  }
  std::optional<Node> Optional(const char* key) const {
    if (!value_.isMember(key)) return std::nullopt;
    return Node(value_[key], path_.empty() ? key : path_ + "." + key);
  }

  std::vector<Node> List() const {
    if (!value_.isArray()) Fail("must be a list");
    std::vector<Node> items;
    for (Json::ArrayIndex i = 0; i < value_.size(); ++i) {
      items.emplace_back(value_[i], path_ + "[" + std::to_string(i) + "]");
    }
    return items;
  }
  std::vector<Node> FullList() const {
    std::vector<Node> items = List();
    if (items.empty()) Fail("must hold at least one entry");
    return items;
  }

  std::string Text(size_t maxBytes) const {
    if (!value_.isString()) Fail("must be a text");
    const std::string text = value_.asString();
    if (text.empty() || text.size() > maxBytes) {
      Fail("must hold 1 to " + std::to_string(maxBytes) + " bytes");
    }
    return text;
  }

  double Amount() const {
    if (!value_.isNumeric() || !std::isfinite(value_.asDouble()) || value_.asDouble() < 0) {
      Fail("must be a number, not negative");
    }
    return value_.asDouble();
  }
  double Positive() const {
    const double value = Amount();
    if (value <= 0 || value > kMaxPrice) {
      Fail("must be more than 0 and at most " + Number(kMaxPrice));
    }
    return value;
  }
  double Whole() const {
    const double value = Amount();
    if (value < 1 || value > kMaxVolume || value != std::floor(value)) {
      Fail("must be a whole number from 1 to " + Number(kMaxVolume));
    }
    return value;
  }

  bool Flag() const {
    if (!value_.isBool()) Fail("must be true or false");
    return value_.asBool();
  }

  uint8_t Market() const {
    if (value_.isString() && value_.asString() == "SH") return kShanghai;
    if (value_.isString() && value_.asString() == "SZ") return kShenzhen;
    Fail("must be \"SH\" (Shanghai) or \"SZ\" (Shenzhen)");
  }

 private:
  const Json::Value& value_;
  std::string path_;
};

double PositiveOr(const Node& node, const char* key, double fallback) {
  const std::optional<Node> given = node.Optional(key);
  return given ? given->Positive() : fallback;
}

Security ReadSecurity(const Node& node) {
  node.Object({"market", "code", "name", "price", "previous_close", "limit_percent", "lot",
               "tick", "depth", "sell_next_day"});
  Security security;
  security.market = node.Key("market").Market();
  security.code = node.Key("code").Text(kMaxCode);
  security.name = node.Key("name").Text(kMaxText);
  const Node price = node.Key("price");
  security.price = price.Positive();
  security.tick = PositiveOr(node, "tick", security.tick);
  const std::optional<Node> lot = node.Optional("lot");
  if (lot) security.lot = lot->Whole();
  security.depth = security.available = node.Key("depth").Whole();
  const std::optional<Node> nextDay = node.Optional("sell_next_day");
  security.sellNextDay = nextDay && nextDay->Flag();
  const double close = PositiveOr(node, "previous_close", security.price);
  const std::optional<Node> limit = node.Optional("limit_percent");
  const double percent = limit ? limit->Amount() : 10;
  if (percent <= 0 || percent >= 100) limit->Fail("must be more than 0 and less than 100");
  security.limitDown = Limit(close, -percent, security.tick);
  security.limitUp = Limit(close, percent, security.tick);
  if (const int32_t error = CheckPrice(security, security.price)) {
    price.Fail(Number(security.price) + ": " + ErrorText(error) + " (tick " +
               Number(security.tick) + ", limits " + Number(security.limitDown) + " to " +
               Number(security.limitUp) + ")");
  }
  return security;
}

// Reads the book's securities, each (market, code) once.
std::vector<Security> ReadSecurities(const Node& top) {
  std::vector<Security> securities;
  for (const Node& node : top.Key("securities").FullList()) {
    Security security = ReadSecurity(node);
    for (const Security& known : securities) {
      if (known.market == security.market && known.code == security.code) {
        node.Fail("security " + security.code + " is listed twice");
      }
    }
    securities.push_back(std::move(security));
  }
  return securities;
}

// The reader of users, who knows the securities they name.
class UserReader {
 public:
  explicit UserReader(const std::vector<Security>& securities) : securities_(securities) {}

  Account Read(const Node& node) {
    node.Object({"user_name", "password", "operator_ids", "fund_accounts", "cash", "positions",
                 "watch", "dealers"});
    Account account;
    account.user = node.Key("user_name").Text(kMaxText);
    if (!users_.insert(account.user).second) node.Fail("user " + account.user + " is listed twice");
    account.password = node.Key("password").Text(kMaxText);
    for (const Node& id : node.Key("operator_ids").FullList()) {
      account.operators.push_back(id.Text(kMaxText));
    }
    for (const Node& fund : node.Key("fund_accounts").FullList()) {
      account.capital.push_back(ReadFund(fund));
    }
    account.clientId = account.capital.front().clientId;
    account.fundAccount = account.capital.front().fundAccount;
    account.operatorId = account.operators.front();
    account.cash = node.Key("cash").Amount();
    ReadHoldings(node, account);
    for (const Node& dealer : Items(node, "dealers")) {
      dealer.Object({"user_name", "client_id", "operator_id"});
      account.dealers.push_back({dealer.Key("user_name").Text(kMaxText),
                                 dealer.Key("client_id").Text(kMaxText),
                                 dealer.Key("operator_id").Text(kMaxText)});
    }
    return account;
  }

 private:
  static std::vector<Node> Items(const Node& node, const char* key) {
    const std::optional<Node> list = node.Optional(key);
    return list ? list->List() : std::vector<Node>{};
  }

  // A fund account is one client's, and no other user's.
  CapitalAccount ReadFund(const Node& node) {
    node.Object({"fund_account", "client_id", "kind", "description"});
    CapitalAccount fund;
    fund.fundAccount = node.Key("fund_account").Text(kMaxText);
    if (!funds_.insert(fund.fundAccount).second) {
      node.Fail("fund account " + fund.fundAccount + " is listed twice");
    }
    fund.clientId = node.Key("client_id").Text(kMaxText);
    const std::optional<Node> kind = node.Optional("kind");
    fund.busiType = kind ? kind->Text(kMaxText) : "0";
    const std::optional<Node> description = node.Optional("description");
    fund.busiTypeDesc = description ? description->Text(kMaxText) : "cash account";
    return fund;
  }

  const Security& SecurityAt(const Node& node) const {
    const uint8_t market = node.Key("market").Market();
    const Node codeNode = node.Key("code");
    const std::string code = codeNode.Text(kMaxCode);
    for (const Security& security : securities_) {
      if (security.market == market && security.code == code) return security;
    }
    codeNode.Fail("no security " + code + " is listed on that market");
  }

  // Positions were bought before today: all of each may be sold.
  void ReadHoldings(const Node& node, Account& account) const {
    for (const Node& entry : Items(node, "positions")) {
      entry.Object({"market", "code", "volume", "cost"});
      const Security& security = SecurityAt(entry);
      if (account.FindPosition(security.market, security.code) != nullptr) {
        entry.Fail("a second position in " + security.code);
      }
      const double volume = entry.Key("volume").Whole();
      account.positions.push_back({security.market, security.code, security.name, volume,
                                   volume, entry.Key("cost").Amount()});
    }
    const std::vector<Node> watch = Items(node, "watch");
    if (watch.size() > kMaxWatchList) {
      node.Key("watch").Fail("holds more than " + std::to_string(kMaxWatchList) + " entries");
    }
    for (const Node& entry : watch) {
      entry.Object({"market", "code"});
      const Security& security = SecurityAt(entry);
      account.watch.push_back({security.market, security.code});
    }
  }

  const std::vector<Security>& securities_;
  std::set<std::string> users_;
  std::set<std::string> funds_;
};

}  // namespace

bool ParseAccounts(const std::string& text, Seed& seed, std::string& error) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string complaint;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &complaint)) {
    error = "not JSON: " + complaint;
    while (!error.empty() && error.back() == '\n') error.pop_back();
    return false;
  }
  try {
    const Node top(root, "");
    top.Object({"securities", "users"});
    Seed read;
    read.securities = ReadSecurities(top);
    UserReader users(read.securities);
    const std::vector<Node> listed = top.Key("users").FullList();
    if (listed.size() > kMaxAccounts) {
      top.Key("users").Fail("holds more than " + std::to_string(kMaxAccounts) + " users");
    }
    for (const Node& node : listed) read.accounts.push_back(users.Read(node));
    seed = std::move(read);
    return true;
  } catch (const Fault& fault) {
    error = fault.what();
    return false;
  }
}

bool LoadAccounts(const std::string& path, Seed& seed, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    error = "cannot be opened";
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  return ParseAccounts(text.str(), seed, error);
}

}  // namespace tessel::standin
