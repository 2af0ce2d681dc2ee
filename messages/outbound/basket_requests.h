// Baskets and basket plans: creating, renaming, deleting and listing baskets,
// adding, changing and removing their securities, starting a plan and
// querying plans, their securities, orders and trades.
#pragma once

#include "messages/outbound/request_layout.h"

namespace tessel {

extern const RequestLayout kCreateBasketRequest;
extern const RequestLayout kUpdateBasketRequest;
extern const RequestLayout kDeleteBasketRequest;
extern const RequestLayout kQueryBasketRequest;
extern const RequestLayout kAddBasketSecurityRequest;
extern const RequestLayout kDelBasketSecurityRequest;
extern const RequestLayout kUpdateBasketSecurityRequest;
extern const RequestLayout kAddBasketSecurityBatchRequest;
extern const RequestLayout kQueryBasketDetailRequest;
extern const RequestLayout kStartBasketPlanRequest;
extern const RequestLayout kQueryBasketPlanRequest;
extern const RequestLayout kQueryBasketPlanDetailRequest;
extern const RequestLayout kQueryBasketEntrustOrderRequest;
extern const RequestLayout kQueryBasketBargainOrderRequest;

}  // namespace tessel
