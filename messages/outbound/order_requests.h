// OrderSubmit, OrderCancel, QryMaxSell and QryMaxBuy.
#pragma once

#include "messages/outbound/request_layout.h"

namespace tessel {

extern const RequestLayout kOrderSubmitRequest;
extern const RequestLayout kOrderCancelRequest;
extern const RequestLayout kQryMaxSellRequest;
extern const RequestLayout kQryMaxBuyRequest;

}  // namespace tessel
