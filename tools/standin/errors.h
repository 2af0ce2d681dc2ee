// Every error the simulated trade server answers with, in one place: the
// "error_no" it writes and the "error_info" text beside it. The numbers are
// the simulator's own; a real server has its own table.
#pragma once

#include <cstdint>

namespace tessel::standin {

enum ErrorNo : int32_t {
  kNoError = 0,
  // Session.
  kWrongPassword = 1001,
  kMalformedRequest = 1002,  // body size differs from the request's layout
  kNotLoggedIn = 1003,       // a trading request before Login on that connection
  kTooManyAccounts = 1004,
  kTooManyRecords = 1005,  // a counted body holds more records than the book would keep
  kUnknownUser = 1006,     // a login of a user the accounts file does not list
  // Identities a request names that are not the logged-in user's.
  kWrongUser = 1007,           // "user_name" ("username") is another user
  kUnknownClient = 1008,       // "client_id" is none of the user's
  kUnknownFundAccount = 1009,  // "fund_account" is none of the user's, or another client's
  kUnknownOperator = 1010,     // "operator_id" is none of the user's
  // Orders.
  kUnknownSecurity = 2001,  // no such code on that market
  kBadQuantityOrPrice = 2002,
  kBadSide = 2003,  // "entrust_bs" is neither '1' (buy) nor '2' (sell)
  kInsufficientFunds = 2004,
  kInsufficientPosition = 2005,
  kTooManyOrders = 2006,
  kDuplicateRequestNo = 2007,
  kBadLot = 2008,           // not whole lots (a sell may add the odd remainder held)
  kBadTick = 2009,          // a price between two steps of the security's tick
  kOutsidePriceBand = 2010,  // above the day's limit up or below its limit down
  // Cancels.
  kUnknownOrder = 2101,
  kOrderAlreadyFilled = 2102,
  kOrderAlreadyCancelled = 2103,  // cancelled or partly cancelled
  kCancelMismatch = 2104,  // the cancel's code, market or fund account is not the order's
  // Watch list.
  kWatchListFull = 2201,
  kNotOnWatchList = 2202,
  kAlreadyOnWatchList = 2203,
  kBadWatchOperation = 2204,
  // Baskets and basket plans.
  kUnknownBasket = 2301,
  kTooManyBaskets = 2302,
  kBadBasketName = 2303,  // empty
  kUnknownBasketSecurity = 2304,
  kBasketFull = 2305,
  kEmptyBasket = 2306,  // a plan needs at least one security
  kUnknownPlan = 2307,
  kTooManyPlans = 2308,
  // Algorithms.
  kUnknownAlgorithm = 2401,
  kTooManyAlgorithms = 2402,
  kBadAlgorithmOperation = 2403,
  kAlgorithmEnded = 2404,  // cancelled or done: nothing left to operate
  // Condition orders.
  kUnknownCondition = 2501,
  kTooManyConditions = 2502,
  kBadConditionType = 2503,
  kBadConditionOperation = 2504,
  kConditionEnded = 2505,  // triggered, failed or cancelled
  // Strategies.
  kUnknownStrategy = 2601,
};

// The "error_info" written beside each number.
constexpr const char* ErrorText(int32_t error) {
  switch (error) {
    case kNoError: return "";
    case kWrongPassword: return "wrong password";
    case kMalformedRequest: return "malformed request";
    case kNotLoggedIn: return "not logged in";
    case kTooManyAccounts: return "too many accounts";
    case kUnknownUser: return "no such user";
    case kWrongUser: return "user is not the one logged in";
    case kUnknownClient: return "client id is not the user's";
    case kUnknownFundAccount: return "fund account is not the client's";
    case kUnknownOperator: return "operator is not the user's";
    case kUnknownSecurity: return "unknown security";
    case kBadQuantityOrPrice: return "invalid quantity or price";
    case kBadSide: return "invalid buy/sell flag";
    case kInsufficientFunds: return "insufficient funds";
    case kInsufficientPosition: return "insufficient position";
    case kTooManyOrders: return "too many orders today";
    case kDuplicateRequestNo: return "duplicate request number";
    case kBadLot: return "quantity is not a whole number of lots";
    case kBadTick: return "price is not a multiple of the price tick";
    case kOutsidePriceBand: return "price is outside the day's limits";
    case kUnknownOrder: return "no such order";
    case kOrderAlreadyFilled: return "order already filled";
    case kOrderAlreadyCancelled: return "order already cancelled";
    case kCancelMismatch: return "cancel does not match the order";
    case kWatchListFull: return "watch list full";
    case kNotOnWatchList: return "not on the watch list";
    case kAlreadyOnWatchList: return "already on the watch list";
    case kBadWatchOperation: return "invalid watch list operation";
    case kTooManyRecords: return "too many records";
    case kUnknownBasket: return "no such basket";
    case kTooManyBaskets: return "too many baskets";
    case kBadBasketName: return "invalid basket name";
    case kUnknownBasketSecurity: return "no such basket security";
    case kBasketFull: return "basket full";
    case kEmptyBasket: return "basket is empty";
    case kUnknownPlan: return "no such basket plan";
    case kTooManyPlans: return "too many basket plans";
    case kUnknownAlgorithm: return "no such algorithm";
    case kTooManyAlgorithms: return "too many algorithms";
    case kBadAlgorithmOperation: return "invalid algorithm operation";
    case kAlgorithmEnded: return "algorithm already ended";
    case kUnknownCondition: return "no such condition order";
    case kTooManyConditions: return "too many condition orders";
    case kBadConditionType: return "invalid condition type";
    case kBadConditionOperation: return "invalid condition order operation";
    case kConditionEnded: return "condition order already ended";
    case kUnknownStrategy: return "no such strategy";
    default: return "unknown error";
  }
}

// The keys that say whose a request is, and the error a value that is not
// the logged-in user's gets: the server checks each one a request carries,
// and the reference lists them under every function that sends them.
struct IdentityKey {
  const char* key;
  int32_t error;
};
inline constexpr IdentityKey kIdentityKeys[] = {
    {"user_name", kWrongUser},          {"username", kWrongUser},
    {"client_id", kUnknownClient},      {"fund_account", kUnknownFundAccount},
    {"operator_id", kUnknownOperator},
};

}  // namespace tessel::standin
