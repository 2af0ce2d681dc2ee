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
  // Orders.
  kUnknownSecurity = 2001,  // no such code on that market
  kBadQuantityOrPrice = 2002,
  kBadSide = 2003,  // "entrust_bs" is neither '1' (buy) nor '2' (sell)
  kInsufficientFunds = 2004,
  kInsufficientPosition = 2005,
  kTooManyOrders = 2006,
  kDuplicateRequestNo = 2007,
  // Cancels.
  kUnknownOrder = 2101,
  kOrderAlreadyFilled = 2102,
  kOrderAlreadyCancelled = 2103,
  // Watch list.
  kWatchListFull = 2201,
  kNotOnWatchList = 2202,
  kAlreadyOnWatchList = 2203,
  kBadWatchOperation = 2204,
};

// The "error_info" written beside each number.
constexpr const char* ErrorText(int32_t error) {
  switch (error) {
    case kNoError: return "";
    case kWrongPassword: return "wrong password";
    case kMalformedRequest: return "malformed request";
    case kNotLoggedIn: return "not logged in";
    case kTooManyAccounts: return "too many accounts";
    case kUnknownSecurity: return "unknown security";
    case kBadQuantityOrPrice: return "invalid quantity or price";
    case kBadSide: return "invalid buy/sell flag";
    case kInsufficientFunds: return "insufficient funds";
    case kInsufficientPosition: return "insufficient position";
    case kTooManyOrders: return "too many orders today";
    case kDuplicateRequestNo: return "duplicate request number";
    case kUnknownOrder: return "no such order";
    case kOrderAlreadyFilled: return "order already filled";
    case kOrderAlreadyCancelled: return "order already cancelled";
    case kWatchListFull: return "watch list full";
    case kNotOnWatchList: return "not on the watch list";
    case kAlreadyOnWatchList: return "already on the watch list";
    case kBadWatchOperation: return "invalid watch list operation";
    default: return "unknown error";
  }
}

}  // namespace tessel::standin
