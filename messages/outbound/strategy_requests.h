// Strategy and statistics queries: strategy information, matched-stock
// history, bargain summaries and the entrust configuration.
#pragma once

#include "messages/outbound/request_layout.h"

namespace tessel {

extern const RequestLayout kQueryStrategyInfoRequest;
extern const RequestLayout kQueryHistoryMatchedStockListRequest;
extern const RequestLayout kQueryBargainSummaryRequest;
extern const RequestLayout kQueryEntrustConfigRequest;

}  // namespace tessel
