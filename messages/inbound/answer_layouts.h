// Every answer and push layout, and the tables that tie message types to
// them: what the inbound dispatch prints, parses and logs for each type.
#pragma once

#include <cstdint>

#include "messages/inbound/answer_conventions.h"

namespace tessel {

// Order answers.
extern const AnswerLayout kOrderSubmitAnswer;
extern const AnswerLayout kOrderCancelAnswer;
extern const AnswerLayout kQryMaxSellAnswer;
extern const AnswerLayout kQryMaxBuyAnswer;
// Account and order query answers.
extern const AnswerLayout kQryMoneyAnswer;
extern const AnswerLayout kQryHolderAnswer;
extern const AnswerLayout kQryCurOrderAnswer;
extern const AnswerLayout kQryCurTradeAnswer;
extern const AnswerLayout kQryHisOrderAnswer;
extern const AnswerLayout kQryHisTradeAnswer;
// Statistics, password and list answers.
extern const AnswerLayout kQryProfitAndLossAnswer;
extern const AnswerLayout kQryHisTradeNumAnswer;
extern const AnswerLayout kQryHisOrderNumAnswer;
extern const AnswerLayout kModifyPwdAnswer;
extern const AnswerLayout kOptionalOperationAnswer;
extern const AnswerLayout kUserMenuauthAnswer;
extern const AnswerLayout kUserStockListAnswer;
extern const AnswerLayout kQueryDealListAnswer;
extern const AnswerLayout kQueryCapitalListAnswer;
// Basket and basket plan answers.
extern const AnswerLayout kCreateBasketAnswer;
extern const AnswerLayout kUpdateBasketAnswer;
extern const AnswerLayout kDeleteBasketAnswer;
extern const AnswerLayout kQueryBasketAnswer;
extern const AnswerLayout kAddBasketSecurityAnswer;
extern const AnswerLayout kDelBasketSecurityAnswer;
extern const AnswerLayout kUpdateBasketSecurityAnswer;
extern const AnswerLayout kAddBasketSecurityBatchAnswer;
extern const AnswerLayout kQueryBasketDetailAnswer;
extern const AnswerLayout kStartBasketPlanAnswer;
extern const AnswerLayout kQueryBasketPlanAnswer;
extern const AnswerLayout kQueryBasketPlanDetailAnswer;
extern const AnswerLayout kQueryBasketEntrustOrderAnswer;
extern const AnswerLayout kQueryBasketBargainOrderAnswer;
// Algorithm and condition-order answers; CreateConditionOrder and
// OperConditionOrder share one.
extern const AnswerLayout kQueryAlgorithmListAnswer;
extern const AnswerLayout kQueryAlgorithmEntrustOrderAnswer;
extern const AnswerLayout kOperAlgorithmAnswer;
extern const AnswerLayout kOperConditionOrderAnswer;
extern const AnswerLayout kQueryConditionOrderListAnswer;
extern const AnswerLayout kQuickConditionOrderAnswer;
// Strategy and statistics query answers.
extern const AnswerLayout kQueryStrategyInfoAnswer;
extern const AnswerLayout kQueryHistoryMatchedStockListAnswer;
extern const AnswerLayout kQueryBargainSummaryAnswer;
extern const AnswerLayout kQueryEntrustConfigAnswer;
// Push messages.
extern const AnswerLayout kExecutionReportPush;
extern const AnswerLayout kOrderProgressPush;
extern const AnswerLayout kStrategyMatchPush;
extern const AnswerLayout kSecurityInfoPush;
extern const AnswerLayout kFundChangePush;
extern const AnswerLayout kPositionChangePush;
extern const AnswerLayout kMarketValuePush;
extern const AnswerLayout kLimitBalancePush;
extern const AnswerLayout kEntrustConfigPush;

// An answer type of the main channel (types 4 and up; login, logout and
// heartbeat answers are the session's own).
struct AnswerType {
  uint32_t type;
  const char* consoleLine;     // printed when the answer arrives
  const AnswerLayout* layout;  // null: the callback receives an empty text
};

// A push type, on whichever channel it arrives.
struct PushType {
  uint32_t type;
  const char* name;            // second log tag
  const AnswerLayout* layout;
  bool acceptedOnMain;         // the main channel counts the others as lost answers
  bool loggedOnPush;           // the push channel writes its "Response" entry
  bool logsHandlingTime;       // a "PushData" entry with the handling time first
};

const AnswerType* FindAnswerType(uint32_t type);
const PushType* FindPushType(uint32_t type);

// Every answer and push type, ascending, for the generated reference.
const AnswerType* AllAnswerTypes(size_t& count);
const PushType* AllPushTypes(size_t& count);

}  // namespace tessel
