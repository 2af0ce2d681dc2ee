// Account and order queries and the small list services: funds, positions,
// today's and past orders and trades, profit and loss, per-day counts, the
// watch list, menu rights, tradable stocks, dealers and capital accounts.
#pragma once

#include "messages/outbound/request_layout.h"

namespace tessel {

extern const RequestLayout kQryMoneyRequest;
extern const RequestLayout kQryHolderRequest;
extern const RequestLayout kQryCurOrderRequest;
extern const RequestLayout kQryCurTradeRequest;
extern const RequestLayout kQryHisOrderRequest;
extern const RequestLayout kQryHisTradeRequest;
extern const RequestLayout kQryProfitAndLossRequest;
extern const RequestLayout kQryHisTradeNumRequest;
extern const RequestLayout kQryHisOrderNumRequest;
extern const RequestLayout kOptionalOperationRequest;
extern const RequestLayout kUserMenuauthRequest;
extern const RequestLayout kUserStockListRequest;
extern const RequestLayout kQueryDealListRequest;
extern const RequestLayout kQueryCapitalListRequest;

}  // namespace tessel
