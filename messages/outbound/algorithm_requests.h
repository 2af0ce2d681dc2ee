// Algorithmic orders (listing them and their child orders, operating one)
// and condition orders (creating, listing, quick-placing and operating).
#pragma once

#include "messages/outbound/request_layout.h"

namespace tessel {

extern const RequestLayout kQueryAlgorithmListRequest;
extern const RequestLayout kQueryAlgorithmEntrustOrderRequest;
extern const RequestLayout kOperAlgorithmRequest;
extern const RequestLayout kCreateConditionOrderRequest;
extern const RequestLayout kQueryConditionOrderListRequest;
extern const RequestLayout kQuickConditionOrderRequest;
extern const RequestLayout kOperConditionOrderRequest;

}  // namespace tessel
