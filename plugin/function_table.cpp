#include "plugin/function_table.h"

#include "support/immortal.h"

namespace tessel {

const FunctionTable& Functions() {
  static Immortal<const FunctionTable> table(FunctionTable{
      {"Login", 1},
      {"Login_Trade_Push", 1},
      {"Logout", 2},
      {"OrderSubmit", 4},
      {"OrderCancel", 5},
      {"QryMoney", 6},
      {"QryHolder", 7},
      {"QryCurOrder", 8},
      {"QryCurTrade", 9},
      {"QryHisOrder", 11},
      {"QryHisTrade", 12},
      {"QryMaxSell", 13},
      {"QryMaxBuy", 14},
      {"QryProfitAndLoss", 15},
      {"QryHisTradeNum", 16},
      {"QryHisOrderNum", 18},
      {"ModifyPwd", 100},
      {"OptionalOperation", 101},
      {"UserMenuauth", 102},
      {"UserStockList", 103},
      {"QueryDealList", 104},
      {"QueryCapitalList", 105},
      {"CreateBasket", 106},
      {"UpdateBasket", 107},
      {"DeleteBasket", 108},
      {"QueryBasket", 109},
      {"AddBasketSecurity", 110},
      {"DelBasketSecurity", 111},
      {"UpdateBasketSecurity", 112},
      {"AddBasketSecurityBatch", 113},
      {"QueryBasketDetail", 114},
      {"StartBasketPlan", 115},
      {"QueryBasketPlan", 116},
      {"QueryBasketPlanDetail", 117},
      {"QueryBasketEntrustOrder", 118},
      {"QueryBasketBargainOrder", 119},
      {"QueryAlgorithmList", 120},
      {"QueryAlgorithmEntrustOrder", 121},
      {"OperAlgorithm", 122},
      {"CreateConditionOrder", 200},
      {"QueryConditionOrderList", 201},
      {"QuickConditionOrder", 202},
      {"OperConditionOrder", 203},
      {"QueryStrategyInfo", 204},
      {"QueryHistoryMatchedStockList", 205},
      {"QueryBargainSummary", 207},
      {"QueryEntrustConfig", 208},
  });
  return *table;
}

bool LookupFunction(const FunctionTable& table, Json::Value& request) {
  if (!request.isObject()) return false;
  const Json::Value& func = static_cast<const Json::Value&>(request)["func"];
  const std::string name = func.isString() ? func.asString() : std::string();
  const auto found = table.find(name);
  if (found == table.end()) return false;
  request["funcId"] = Json::Value(static_cast<Json::Int>(found->second));
  return true;
}

}  // namespace tessel
