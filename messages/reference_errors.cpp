// Which "error_no" values the simulator answers each function with: those
// its handler gives, listed here, and those every request after the login
// may get (a body of the wrong size, no login, an identity key naming
// someone else), which follow from the keys the function sends. The
// numbers and texts themselves are the simulator's (tools/standin/errors.h).
#include <algorithm>
#include <cstring>

#include "messages/outbound/request_layout.h"
#include "messages/reference_notes.h"
#include "tools/standin/errors.h"

namespace tessel::reference {
namespace {

using namespace standin;  // the error numbers, and nothing else lives there

constexpr size_t kMaxOwn = 12;

struct ErrorNote {
  const char* func;
  bool afterLogin;        // answered from the book, to the user logged in
  int32_t own[kMaxOwn];   // the handler's own, zero-terminated
};

// An order, placed directly or by QuickConditionOrder.
#define ORDER_ERRORS                                                                    \
  kBadSide, kUnknownSecurity, kBadQuantityOrPrice, kBadTick, kOutsidePriceBand,         \
      kDuplicateRequestNo, kBadLot, kInsufficientFunds, kInsufficientPosition, kTooManyOrders
#define BASKET_SECURITY_ERRORS \
  kUnknownBasket, kBasketFull, kUnknownSecurity, kBadSide, kBadQuantityOrPrice

constexpr ErrorNote kErrors[] = {
#define LOGIN_ERRORS kMalformedRequest, kWrongPassword, kTooManyAccounts, kUnknownUser
    {"Login", false, {LOGIN_ERRORS}},
    {"Login_Trade_Push", false, {LOGIN_ERRORS}},
#undef LOGIN_ERRORS
    {"Logout", false, {kMalformedRequest}},
    {"ModifyPwd", false, {kMalformedRequest, kWrongPassword, kUnknownUser}},
    {"OrderSubmit", true, {ORDER_ERRORS}},
    {"OrderCancel", true,
     {kUnknownOrder, kCancelMismatch, kOrderAlreadyFilled, kOrderAlreadyCancelled}},
    {"QryMoney", true, {}},
    {"QryHolder", true, {}},
    {"QryCurOrder", true, {}},
    {"QryCurTrade", true, {}},
    {"QryHisOrder", true, {}},
    {"QryHisTrade", true, {}},
    {"QryMaxSell", true, {kUnknownSecurity}},
    {"QryMaxBuy", true, {kUnknownSecurity}},
    {"QryProfitAndLoss", true, {}},
    {"QryHisTradeNum", true, {}},
    {"QryHisOrderNum", true, {}},
    {"OptionalOperation", true,
     {kUnknownSecurity, kAlreadyOnWatchList, kNotOnWatchList, kWatchListFull, kBadWatchOperation}},
    {"UserMenuauth", true, {}},
    {"UserStockList", true, {}},
    {"QueryDealList", true, {}},
    {"QueryCapitalList", true, {}},
    {"CreateBasket", true, {kBadBasketName, kTooManyBaskets}},
    {"UpdateBasket", true, {kUnknownBasket, kBadBasketName}},
    {"DeleteBasket", true, {kUnknownBasket}},
    {"QueryBasket", true, {kUnknownBasket}},
    {"AddBasketSecurity", true, {BASKET_SECURITY_ERRORS}},
    {"DelBasketSecurity", true, {kUnknownBasketSecurity}},
    {"UpdateBasketSecurity", true, {kUnknownBasketSecurity, kBadSide, kBadQuantityOrPrice}},
    {"AddBasketSecurityBatch", true, {BASKET_SECURITY_ERRORS}},
    {"QueryBasketDetail", true, {kUnknownBasket}},
    {"StartBasketPlan", true,
     {kUnknownBasket, kTooManyPlans, kUnknownBasketSecurity, kEmptyBasket, kTooManyRecords}},
    {"QueryBasketPlan", true, {}},
    {"QueryBasketPlanDetail", true, {kUnknownPlan}},
    {"QueryBasketEntrustOrder", true, {kUnknownPlan}},
    {"QueryBasketBargainOrder", true, {kUnknownPlan}},
    {"QueryAlgorithmList", true, {}},
    {"QueryAlgorithmEntrustOrder", true, {kUnknownAlgorithm}},
    {"OperAlgorithm", true,
     {kTooManyAlgorithms, kBadSide, kUnknownSecurity, kBadQuantityOrPrice, kUnknownAlgorithm,
      kAlgorithmEnded, kBadAlgorithmOperation}},
    {"CreateConditionOrder", true,
     {kTooManyConditions, kBadConditionType, kBadSide, kUnknownSecurity, kBadQuantityOrPrice}},
    {"QueryConditionOrderList", true, {}},
    {"QuickConditionOrder", true, {ORDER_ERRORS, kTooManyConditions}},
    {"OperConditionOrder", true,
     {kUnknownCondition, kConditionEnded, kBadQuantityOrPrice, kBadConditionOperation}},
    {"QueryStrategyInfo", true, {}},
    {"QueryHistoryMatchedStockList", true, {kUnknownStrategy}},
    {"QueryBargainSummary", true, {}},
    {"QueryEntrustConfig", true, {}},
};

#undef ORDER_ERRORS
#undef BASKET_SECURITY_ERRORS

// The request layout of a function; none for the push login, which shares
// the login's message under another name.
const RequestLayout* LayoutNamed(const char* func) {
  size_t count = 0;
  const RequestLayout* const* layouts = AllRequestLayouts(count);
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(layouts[i]->name, func) == 0) return layouts[i];
  }
  return nullptr;
}

// The identity errors of the keys the function's request always sends.
void AddIdentityErrors(const char* func, std::vector<int32_t>& errors) {
  const RequestLayout* layout = LayoutNamed(func);
  if (layout == nullptr) return;
  for (const GroupNote& note : *layout) {
    for (const RequestField& row : note.group) {
      for (const IdentityKey& identity : kIdentityKeys) {
        if (std::strcmp(row.key, identity.key) == 0) errors.push_back(identity.error);
      }
    }
  }
}

}  // namespace

std::optional<std::vector<int32_t>> SimulatorErrors(const char* func) {
  const auto note =
      std::find_if(std::begin(kErrors), std::end(kErrors),
                   [&](const ErrorNote& n) { return std::strcmp(n.func, func) == 0; });
  if (note == std::end(kErrors)) return std::nullopt;
  std::vector<int32_t> errors;
  for (int32_t error : note->own) {
    if (error != kNoError) errors.push_back(error);
  }
  if (note->afterLogin) {
    errors.push_back(kMalformedRequest);
    errors.push_back(kNotLoggedIn);
    AddIdentityErrors(func, errors);
  }
  std::sort(errors.begin(), errors.end());
  errors.erase(std::unique(errors.begin(), errors.end()), errors.end());
  return errors;
}

}  // namespace tessel::reference
