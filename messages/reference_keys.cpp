// What every key means and which codes the simulated server takes and
// sends. Most keys mean the same wherever they appear and have one note;
// a note naming a message or a direction covers the places where they do
// not. Code values are the simulator's (tools/standin); a real server
// defines its own.
#include <cstring>

#include "messages/reference_notes.h"

namespace tessel::reference {
namespace {

constexpr CodeValue Byte(int byte, const char* meaning) { return {byte, nullptr, meaning}; }
constexpr CodeValue Word(const char* word, const char* meaning) { return {0, word, meaning}; }

// The settings of an algorithm: OperAlgorithm's are reported back by
// QueryAlgorithmList, a plan's algorithm block is not read.
#define KEPT_FOR_ALGORITHMS \
  "The simulator keeps an algorithm's and reports it back; it ignores a plan's."

constexpr Direction kSent = Direction::Sent;
constexpr Direction kReceived = Direction::Received;

// Push and report names, as notes scoped to them name them.
constexpr const char* kExecution = "kZELMessageTypePushExecutionReport";
constexpr const char* kProgress = "kZELMessageTypePushOrderProcessInfo";
constexpr const char* kMatch = "kZELMessageTypeEx1AiMatchStockReport";
constexpr const char* kSecurityInfo = "kZELMessageTypeExSecurityInfoPush";
constexpr const char* kFund = "kZELMessageTypeExAccountQueryFundPush";
constexpr const char* kPosition = "kZELMessageTypeExAccountQueryPositionSinglePush";
constexpr const char* kMarketValue = "kZELMessageTypeExAccountQueryFundMarkValuePush";
constexpr const char* kEntrustConfigPush = "kZELMessageTypeExQueryEntrustConfigPush";

constexpr CodeValue kSides[] = {Byte('1', "buy"), Byte('2', "sell")};
constexpr CodeValue kSidesOrBasket[] = {Byte('1', "buy"), Byte('2', "sell"),
                                        Byte(0, "the basket's side, as any other byte")};
constexpr CodeValue kMarkets[] = {Byte('1', "Shanghai"), Byte('2', "Shenzhen")};
constexpr CodeValue kMarketsOrAll[] = {Byte(0, "every market"), Byte('1', "Shanghai"),
                                       Byte('2', "Shenzhen")};
constexpr CodeValue kKept[] = {
    Byte(kAnyByte, "kept with the order and reported back; the simulator reads nothing in it "
                   "(the examples send 48, '0')")};
constexpr CodeValue kKeptAllowCancel[] = {
    Byte(kAnyByte, "kept with the order and reported back; the simulator reads nothing in it "
                   "(the examples send 49, '1')")};
constexpr CodeValue kAsPlaced[] = {Byte(kAnyByte, "the byte the order was placed with")};
constexpr CodeValue kIgnored[] = {Byte(kAnyByte, "the simulator ignores it (the examples send 0)")};
constexpr CodeValue kIgnoredProp[] = {
    Byte(kAnyByte, "the simulator ignores it (the examples send 48, '0')")};
constexpr CodeValue kIgnoredExchange[] = {
    Byte(kAnyByte, "the simulator ignores it: the basket's own market counts")};
constexpr CodeValue kUnset[] = {Byte(0, "not set, the only value the simulator sends")};
constexpr CodeValue kNotSent[] = {
    Byte(kAnyByte, "the simulator never sends this push; a real server defines the codes")};
#define ORDER_STATUSES                                                                   \
  Byte('2', "open: nothing traded yet, waiting for a price that crosses it"),             \
      Byte('5', "partly cancelled: part traded, the rest withdrawn"),                     \
      Byte('6', "cancelled: withdrawn before anything traded"),                           \
      Byte('7', "partly filled: part traded, the rest waits for the depth of a new price"), \
      Byte('8', "filled")
constexpr CodeValue kOrderStatuses[] = {ORDER_STATUSES};
constexpr CodeValue kLineStatuses[] = {ORDER_STATUSES,
                                       Byte('9', "refused: \"entrust_msg\" says why")};
#undef ORDER_STATUSES
constexpr CodeValue kWatchOperations[] = {
    Byte('0', "list one page (\"max_request_num\", \"position_str\")"),
    Byte('1', "add the security (\"mark\", \"code\")"),
    Byte('2', "remove the security (\"mark\", \"code\")"),
    Byte('3', "replace the whole list by \"record_set\"")};
constexpr CodeValue kAlgorithmOperations[] = {
    Byte('1', "start a new algorithm"), Byte('2', "give a running algorithm new limits"),
    Byte('3', "pause it"), Byte('4', "resume it (a slice goes at once)"), Byte('5', "cancel it")};
constexpr CodeValue kConditionOperations[] = {
    Byte('1', "cancel it"),
    Byte('2', "give it a new trigger (\"con_trigger_date\", \"con_trigger_price\", "
              "\"entrust_amount\")"),
    Byte('3', "pause it"), Byte('4', "resume it")};
constexpr CodeValue kYuan[] = {Byte('0', "yuan")};
constexpr CodeValue kNoDirectAccess[] = {Byte('0', "no direct market access")};
constexpr CodeValue kConditionTypes[] = {
    Word("UP", "trigger once the price is at or above \"con_trigger_price\""),
    Word("DOWN", "trigger once the price is at or below \"con_trigger_price\"")};
constexpr CodeValue kConditionStatuses[] = {
    Word("waiting", "waiting for its trigger"), Word("paused", "paused"),
    Word("triggered", "its order was placed"),
    Word("failed", "triggered, and its order was refused (\"message\" says why)"),
    Word("cancelled", "cancelled, or its partner guard triggered first")};
constexpr CodeValue kConditionFilter[] = {
    Word("", "every status"), Word("waiting", "waiting for its trigger"), Word("paused", "paused"),
    Word("triggered", "its order was placed"), Word("failed", "its order was refused"),
    Word("cancelled", "cancelled")};
constexpr CodeValue kAlgorithmStatuses[] = {
    Word("running", "placing slices"), Word("paused", "paused"),
    Word("done", "every slice placed"), Word("cancelled", "cancelled"),
    Word("stopped", "a slice was refused")};
constexpr CodeValue kAlgorithmFilter[] = {
    Word("", "every status"), Word("running", "placing slices"), Word("paused", "paused"),
    Word("done", "every slice placed"), Word("cancelled", "cancelled"),
    Word("stopped", "a slice was refused")};
constexpr CodeValue kPlanStatuses[] = {Word("running", "an order of the plan is open"),
                                       Word("finished", "no order of the plan is open")};
constexpr CodeValue kStatusWords[] = {
    Word("open", "waiting"), Word("partly filled", "part traded, the rest waits"),
    Word("filled", "filled"), Word("partly cancelled", "part traded, the rest withdrawn"),
    Word("cancelled", "cancelled")};
constexpr CodeValue kCapitalKinds[] = {Word("0", "cash account"), Word("1", "margin account")};
constexpr CodeValue kUpdate[] = {Word("update", "the account changed")};
constexpr CodeValue kTradable[] = {Byte(1, "tradable")};
constexpr CodeValue kBasketKinds[] = {
    Word("ALGORITHM", "the client sends the algorithm block; the simulator keeps the word"),
    Word("", "the basket's own \"type\""),
    Word("NORMAL", "kept and reported back, as any other word is")};
constexpr CodeValue kPriceTypes[] = {
    Word("AP", "the client sends the three limit keys; the simulator keeps them"),
    Word("LMT", "as any word but AP, only \"limit_price_change\" is sent, as an optional "
                "number; the simulator keeps the word")};
constexpr CodeValue kConnectionTypes[] = {Byte(2, "main channel"), Byte(3, "push channel")};
constexpr CodeValue kConnectionStatuses[] = {Byte(1, "logged in"), Byte(2, "lost")};
constexpr CodeValue kServerKinds[] = {Byte(1, "simulated server (real=\"0\")"),
                                      Byte(2, "live server (real=\"1\")")};
constexpr CodeValue kLoginStatuses[] = {
    Byte(0, "success"), Byte(1001, "wrong password, refusing a login (the simulator's number)")};
constexpr CodeValue kReportObjects[] = {Word("Login", "the answer to a login"),
                                        Word("Logout", "the answer to a logout")};

constexpr KeyNote kNotes[] = {
    // ---- Who: the account and its user -----------------------------------
    {"user_name", "The user logged in; the simulator refuses any other (1007).", {}, nullptr,
     kSent},
    {"user_name", "The user to log in as; the simulator opens an account (1,000,000 in cash, "
                  "1000 shares of 600000) for a user it has not seen, or, started with "
                  "--accounts, takes only the users of the file (1006).", {}, "Login", kSent},
    {"user_name", "The user whose password to change.", {}, "ModifyPwd", kSent},
    {"user_name", "The user the server answers for.", {}, nullptr, kReceived},
    {"user_name", "The dealer's user.", {}, "QueryDealList", kReceived},
    {"username", "The user logged in (these messages spell the key so); the simulator refuses "
                 "any other (1007).", {}, nullptr, kSent},
    {"username", "The user the server answers for.", {}, nullptr, kReceived},
    {"client_id", "Client number of the account (the demo's is \"demo\"); the simulator "
                  "refuses one that is not the user's (1008).", {}, nullptr, kSent},
    {"client_id", "Client number of the account.", {}, nullptr, kReceived},
    {"cliend_id", "Client number of the account (this answer spells the key so).", {}},
    {"fund_account", "Fund account (the demo's is \"demo-01\"); the simulator refuses one "
                     "that is not the user's, or not the client's that \"client_id\" names "
                     "(1009).", {}, nullptr, kSent},
    {"fund_account", "Fund account the plan trades for, the user's (1009); \"\" takes the "
                     "account's own.", {}, "StartBasketPlan", kSent},
    {"fund_account", "Fund account, kept with the condition order, the user's (1009); \"\" "
                     "takes the account's own.", {}, "CreateConditionOrder", kSent},
    {"fund_account", "Fund account, the user's (1009); \"\" stands for the account's own. The "
                     "simulator lists every fund account's alike.", {}, "QueryConditionOrderList",
     kSent},
    {"fund_account", "Fund account, the user's (1009); \"\" stands for the account's own. The "
                     "simulator lists every fund account's alike.", {}, "QueryAlgorithmList",
     kSent},
    {"fund_account", "Fund account; it also ends the order's \"order_request_no\".", {},
     "QuickConditionOrder", kSent},
    {"fund_account", "Fund account.", {}, nullptr, kReceived},
    {"operator_id", "Operator entering the request (the demo's is \"demo-op\"); the simulator "
                    "refuses one that is not the user's (1010).", {}, nullptr, kSent},
    {"operator_id", "Operator of the account.", {}, nullptr, kReceived},
    {"operator_id", "Operator who entered the order.", {}, kExecution, kReceived},
    {"operator_id", "The dealer's operator id.", {}, "QueryDealList", kReceived},
    {"pass_word", "Password; the simulator refuses a wrong one with 1001. It has one for "
                  "every user, or, started with --accounts, each user's own.", {}, "Login"},
    {"pass_word", "The current password.", {}, "ModifyPwd"},
    {"new_pass_word", "The password to change to; the simulator's one password, for every "
                      "user, becomes this (started with --accounts, the user's own).", {}},
    {"heart_beat", "Heartbeat interval asked for, in seconds; the simulator ignores it.", {}},
    {"compress", "Whether frames are compressed.", RowsOf(kIgnored)},
    {"encrypt", "Whether bodies are encrypted.", RowsOf(kIgnored)},
    {"build_version", "Build of the client, written by the library.", {}},
    {"short_version", "Version of the client, written by the library.", {}},

    // ---- Errors, numbers and lists ---------------------------------------
    {"error_no", "0 on success, otherwise the error (the simulator's numbers are in "
                 "tools/standin/errors.h); -999: the server no longer holds the login.", {}},
    {"error_no", "Always 0 from the simulator.", {}, kProgress},
    {"error_info", "Error text; empty on success.", {}},
    {"error_info", "The order's status word: \"open\", \"partly filled\", \"filled\", "
                   "\"partly cancelled\" or \"cancelled\".", {}, kProgress},
    {"request_no", "This request's number, generated by the client.", {}, nullptr, kSent},
    {"request_no", "The order's number, generated by the client: name the order by it to "
                   "cancel it.", {}, "OrderSubmit", kSent},
    {"request_no", "The \"request_no\" of the order to withdraw (the OrderSubmit answer's).",
     {}, "OrderCancel", kSent},
    {"request_no", "The number the client generated for this request, echoed.", {}, nullptr,
     kReceived},
    {"request_no", "The order's number: name the order by it to cancel it and to find it in "
                   "queries and pushes.", {}, "OrderSubmit", kReceived},
    {"request_no", "The cancel request's own number.", {}, "OrderCancel", kReceived},
    {"request_no", "The number of the order.", {}, "QryCurOrder", kReceived},
    {"request_no", "The number of the order.", {}, "QryHisOrder", kReceived},
    {"request_no", "The number of the order that traded.", {}, "QryCurTrade", kReceived},
    {"request_no", "The number of the order that traded.", {}, "QryHisTrade", kReceived},
    {"request_no", "The request's number, as a number rather than text.", {},
     "QueryEntrustConfig", kReceived},
    {"request_no", "The order's number, or for a cancel the cancel request's.", {}, kExecution,
     kReceived},
    {"request_no", "The order's number.", {}, kProgress, kReceived},
    {"orig_request_no", "The cancel request that withdrew the order; \"\" if none.", {}},
    {"orig_request_no", "For a cancel, the number of the order withdrawn; otherwise \"\".", {},
     kExecution},
    {"orig_request_no", "The simulator sends \"\".", {}, "QryHisTrade"},
    {"max_request_num", "The most records the answer may carry; the simulator takes 1 to 100, "
                        "anything else as 100. See Paging.", {}},
    {"max_request_num", "The most days the answer may carry; the simulator takes 1 to 100, "
                        "anything else as 100, and always starts at the first day.", {},
     "QryHisOrderNum"},
    {"max_request_num", "The most days the answer may carry; the simulator takes 1 to 100, "
                        "anything else as 100, and always starts at the first day.", {},
     "QryHisTradeNum"},
    {"position_str", "Where the page starts: the \"position_str\" of the last record already "
                     "received, or \"\" for the first page. See Paging.", {}, nullptr, kSent},
    {"position_str", "This record's place in the list (its ordinal, \"1\" for the first): "
                     "send it to get the page after it.", {}, nullptr, kReceived},
    {"record_len", "Size of one record, written by the library.", {}},
    {"record_set", "The records; empty unless \"error_no\" is 0.", {}},
    {"record_set", "A page of the watch list as it is after the operation; empty unless "
                   "\"error_no\" is 0.", {}, "OptionalOperation"},
    {"records", "The records; empty unless \"error_no\" is 0.", {}},
    {"records", "The one matched security.", {}, kMatch},
    {"holders", "The positions; empty unless \"error_no\" is 0.", {}},
    {"record_set_cnt", "Number of records the server sent.", {}, nullptr, kReceived},
    {"record_set_cnt", "Always 1: the report holds one security.", {}, kMatch, kReceived},
    {"record_set_cnt", "Number of elements of \"record_set\" to send; required as an integer "
                       "whatever the operation (0 unless replacing the list).", {},
     "OptionalOperation", kSent},
    {"record_set_cnt", "Number of elements of \"record_set\" to send.", {},
     "AddBasketSecurityBatch", kSent},
    {"record_set_size", "Size of one record as the server sent it, in bytes.", {}},
    {"push_type", "The push's message type.", {}},

    // ---- Securities and markets -------------------------------------------
    {"mark", "Market of the security.", RowsOf(kMarkets), nullptr, kSent},
    {"mark", "Market to list.", RowsOf(kMarketsOrAll), "QryHolder", kSent},
    {"mark", "Market to list.", RowsOf(kMarketsOrAll), "QryCurOrder", kSent},
    {"mark", "Market to list.", RowsOf(kMarketsOrAll), "QryCurTrade", kSent},
    {"mark", "Market of the order; the simulator refuses a cancel on another market than the "
             "order's (2104).", RowsOf(kMarkets), "OrderCancel", kSent},
    {"mark", "Market of the security, mapped by the client.", RowsOf(kMarkets), nullptr,
     kReceived},
    {"market", "Market of the security, mapped by the client.", RowsOf(kMarkets)},
    {"exchange_type", "Market of the security, the byte as sent.", RowsOf(kMarkets)},
    {"security_exchange", "Market of the security.", RowsOf(kMarkets)},
    {"security_exchange", "Only this market.", RowsOf(kMarketsOrAll), "QueryAlgorithmList",
     kSent},
    {"security_exchange", "Only this market's trades.", RowsOf(kMarketsOrAll),
     "QueryBargainSummary", kSent},
    {"security_exchange", "Market of the security.", RowsOf(kIgnoredExchange), "StartBasketPlan",
     kSent},
    {"code", "Security code, such as \"600000\".", {}},
    {"code", "The order's security; the simulator refuses a cancel naming another than the "
             "order's (2104).", {}, "OrderCancel", kSent},
    {"code_name", "Security name; the simulator ignores it.", {}},
    {"security_code", "Security code, such as \"600000\".", {}},
    {"security_code", "Only this security; \"\" for every one.", {}, "QueryAlgorithmList",
     kSent},
    {"security_code", "Only this security; \"\" for every one.", {}, "QueryConditionOrderList",
     kSent},
    {"security_name", "Security name; the simulator uses its own where this is \"\", and "
                      "always in OperAlgorithm and QuickConditionOrder.", {}, nullptr, kSent},
    {"security_name", "Security name.", {}, nullptr, kReceived},
    {"stock_code", "Security code.", {}},
    {"stock_name", "Security name.", {}},
    {"priority", "Place in the new list: the simulator orders it by ascending priority.", {}},

    // ---- Orders -------------------------------------------------------------
    {"entrust_bs", "Buy or sell; the simulator refuses any other byte (2003).", RowsOf(kSides),
     nullptr, kSent},
    {"entrust_bs", "Buy or sell for this line.", RowsOf(kSidesOrBasket), "StartBasketPlan", kSent},
    {"entrust_bs", "Buy or sell.", RowsOf(kSides), nullptr, kReceived},
    {"entrust_prop", "Order property.", RowsOf(kKept), nullptr, kSent},
    {"entrust_prop", "Order property.", RowsOf(kIgnoredProp), "QryMaxSell", kSent},
    {"entrust_prop", "Order property.", RowsOf(kIgnoredProp), "QryMaxBuy", kSent},
    {"entrust_prop", "Order property.", RowsOf(kAsPlaced), nullptr, kReceived},
    {"business_type", "Business type.", RowsOf(kKept), "OrderSubmit", kSent},
    {"business_type", "What to do with the condition order; the simulator refuses any other "
                      "byte (2504).", RowsOf(kConditionOperations), "OperConditionOrder", kSent},
    {"business_type", "Business type.", RowsOf(kAsPlaced), nullptr, kReceived},
    {"allow_cancel_order", "Whether the order may be cancelled.", RowsOf(kKeptAllowCancel),
     nullptr, kSent},
    {"allow_cancel_order", "Whether the order may be cancelled.", RowsOf(kAsPlaced), nullptr,
     kReceived},
    {"entrust_type", "Kind of cancel.", RowsOf(kIgnored), nullptr, kSent},
    {"entrust_type", "Kind of order.", RowsOf(kUnset), nullptr, kReceived},
    {"entrust_vol", "Quantity to order, in shares; the simulator refuses one that is not "
                    "positive (2002) or not whole lots of the security (2008; 100 shares on the "
                    "demo book). A sell may add the odd shares that may be sold, all of them.",
     {}, "OrderSubmit"},
    {"entrust_vol", "The order's quantity; the simulator ignores it.", {}, "OrderCancel"},
    {"entrust_vol", "Quantity ordered.", {}, nullptr, kReceived},
    {"entrust_price", "Limit price, a multiple of the security's tick (2009) within the day's "
                      "limits (2010). A buy at or above the security's price (a sell at or "
                      "below) trades at once at the security's price, as much as its depth has "
                      "left there; the rest, or any other order, waits for a price that crosses "
                      "it.", {}, "OrderSubmit", kSent},
    {"entrust_price", "The order's price; the simulator ignores it.", {}, "OrderCancel", kSent},
    {"entrust_price", "Price to buy at; 0 or less: the security's price.", {}, "QryMaxBuy",
     kSent},
    {"entrust_price", "Limit price of the order placed now, and the base of the two gears.",
     {}, "QuickConditionOrder", kSent},
    {"entrust_price", "Price for this line; 0 or less keeps the basket's.", {},
     "StartBasketPlan", kSent},
    {"entrust_price", "Price ordered at.", {}, nullptr, kReceived},
    {"entrust_amount", "Quantity ordered.", {}, nullptr, kReceived},
    {"entrust_amount", "Quantity ordered over every line of the plan.", {}, "QueryBasketPlan",
     kReceived},
    {"entrust_amount", "Whole quantity the algorithm is to place.", {}, "QueryAlgorithmList",
     kReceived},
    {"entrust_amount", "Quantity to order when it triggers.", {}, "QueryConditionOrderList",
     kReceived},
    {"entrust_amount", "Quantity for this line; 0 or less keeps the basket's.", {},
     "StartBasketPlan", kSent},
    {"entrust_amount", "Whole quantity the algorithm is to place.", {}, "OperAlgorithm", kSent},
    {"entrust_amount", "Quantity to order when the condition triggers.", {},
     "CreateConditionOrder", kSent},
    {"entrust_amount", "Quantity to order when the condition triggers.", {},
     "OperConditionOrder", kSent},
    {"entrust_amount", "Quantity of the order placed now, and of each guard.", {},
     "QuickConditionOrder", kSent},
    {"entrust_no", "The order's number (the same as its \"request_no\").", {}},
    {"entrust_no", "The slice's order number.", {}, "QueryAlgorithmEntrustOrder"},
    {"order_no", "The slice's order number.", {}},
    {"entrust_status", "State of the order.", RowsOf(kOrderStatuses)},
    {"entrust_status", "State of the line's order.", RowsOf(kLineStatuses),
     "QueryBasketEntrustOrder"},
    {"entrust_date", "Day the order was placed, YYYYMMDD.", {}},
    {"entrust_date", "A day with orders, YYYYMMDD.", {}, "QryHisOrderNum"},
    {"entrust_num", "Orders placed that day.", {}},
    {"entrust_num_all", "Orders placed over the whole period.", {}},
    {"business_num", "Trades that day.", {}},
    {"business_num_all", "Trades over the whole period.", {}},
    {"entrust_time", "Time the order was placed, HHMMSS.", {}},
    {"entrust_time", "When the order was placed, the number YYYYMMDDHHMMSS.", {},
     "QueryAlgorithmEntrustOrder"},
    {"entrust_time", "When the algorithm started, the number YYYYMMDDHHMMSS.", {},
     "QueryAlgorithmList"},
    {"entrust_time", "When the line's order was placed, the text YYYYMMDDHHMMSS.", {},
     "QueryBasketEntrustOrder"},
    {"entrust_time", "Time of the change, HHMMSS.", {}, kProgress},
    {"entrust_msg", "The order's status word (\"open\", \"partly filled\", \"filled\", "
                    "\"partly cancelled\", \"cancelled\"), or why the line's order was refused.",
     {}},
    {"text", "The order's status word.", RowsOf(kStatusWords)},
    {"business_volume", "Quantity filled.", {}},
    {"business_vol", "Quantity filled.", {}},
    {"business_amount", "Quantity filled.", {}},
    {"business_amount", "Quantity this fill traded; 0 when the change is no fill.", {},
     kExecution},
    {"business_amount", "Quantity filled over every line of the plan.", {}, "QueryBasketPlan"},
    {"business_amount", "Quantity filled over every slice.", {}, "QueryAlgorithmList"},
    {"business_entrust_amount", "Quantity of the line filled.", {}},
    {"business_price", "Average price it traded at; 0 while nothing traded.", {}},
    {"business_amt", "Value filled: quantity x price.", {}},
    {"business_balance", "Value filled: quantity x price.", {}},
    {"business_date", "Day of its last fill or cancel, YYYYMMDD; 0 while nothing traded.", {}},
    {"business_date", "Day of the trade, YYYYMMDD.", {}, "QryCurTrade"},
    {"business_date", "Day of the trade, YYYYMMDD.", {}, "QryHisTrade"},
    {"business_date", "A day with trades, YYYYMMDD.", {}, "QryHisTradeNum"},
    {"business_time", "Time of its last fill or cancel, HHMMSS; 0 while nothing traded.", {}},
    {"business_time", "Time of the trade, HHMMSS.", {}, "QryCurTrade"},
    {"business_time", "Time of the trade, HHMMSS.", {}, "QryHisTrade"},
    {"business_time", "When it traded, the text YYYYMMDDHHMMSS.", {}, "QueryBasketBargainOrder"},
    {"business_no", "Trade number (T1, T2, ...); \"\" when the change is no fill.", {}},
    {"left_amount", "Quantity not filled: waiting, or for a cancel withdrawn.", {}},
    {"avg_price", "Average price of the order's fills so far; 0 while nothing traded.", {},
     kExecution},
    {"cur_date", "Day of the change, YYYYMMDD.", {}},
    {"cur_time", "Time of the change, HHMMSS.", {}},
    {"trade_fee", "Fee of the trade; the simulator charges none and sends 0.", {}},
    {"trade_date", "The day asked for, YYYYMMDD; the simulator reports today whatever it says.",
     {}, nullptr, kSent},
    {"trade_date", "Day of the order or trade, YYYYMMDD.", {}, nullptr, kReceived},
    {"session_type", "Trading session.", RowsOf(kUnset)},
    {"real_type", "Kind of trade.", RowsOf(kUnset)},
    {"real_status", "State of the trade.", RowsOf(kUnset)},
    {"currency", "Currency.", RowsOf(kUnset)},
    {"currency", "Currency of the account.", RowsOf(kYuan), "QueryEntrustConfig"},
    {"currency", "Currency of the account.", RowsOf(kNotSent), kEntrustConfigPush},
    {"currency", "Currency; the simulator sends 0.", {}, kFund},
    {"currency", "Currency (not sent by the simulator).", {}, kMarketValue},
    {"dma", "Direct market access.", RowsOf(kNoDirectAccess), "QueryEntrustConfig"},
    {"dma", "Direct market access.", RowsOf(kNotSent), kEntrustConfigPush},
    {"trade_unit", "Lot size: the answer is a whole number of lots (0 or less: 1).", {}},
    {"enable_amount", "Most the account can buy (cash free / price, whole lots) or sell "
                      "(shares that may be sold today and are not promised to an open sell).",
     {}},
    {"enable_amount", "Shares that may be sold today and are not promised to an open sell.",
     {}, kPosition},
    {"start_date", "First day, YYYYMMDD; 0: no bound. The simulator holds today only.", {}},
    {"end_date", "Last day, YYYYMMDD; 0: no bound.", {}},

    // ---- Funds and positions -----------------------------------------------
    {"balance", "Cash.", {}},
    {"balance", "Cash free to order with.", {}, "QueryEntrustConfig"},
    {"balance", "Cash free to order with (not sent by the simulator).", {}, kEntrustConfigPush},
    {"purchase_power", "Cash free to order with: cash less what open buys hold.", {}},
    {"enable_balance", "Cash free to order with.", {}},
    {"market_value", "Value of the positions at today's prices.", {}},
    {"market_value", "Value of the position at today's price.", {}, "QryHolder"},
    {"total_asset", "Cash plus the positions' value.", {}},
    {"net_asset", "Cash plus the positions' value (the simulator lends nothing).", {}},
    {"margin", "Margin; the simulator sends 0.", {}},
    {"borrow_balance", "Amount borrowed; the simulator sends 0.", {}},
    {"borrow_amount", "Amount borrowed; the simulator sends 0.", {}},
    {"margin_remain", "Margin left; the simulator sends 0.", {}},
    {"margin_warn", "Margin warning line; the simulator sends 0.", {}},
    {"margin_add", "Margin to add; the simulator sends 0.", {}},
    {"margin_close", "Margin close-out line; the simulator sends 0.", {}},
    {"margin_call", "Margin called; the simulator sends 0.", {}},
    {"margin_call_time", "When margin was called.", {}},
    {"h_market_value", "Value of the Hong Kong holdings; the simulator sends 0.", {}},
    {"local_currency", "Local currency; the simulator sends 0.", {}},
    {"limit_total", "Trading limit; the simulator sends 0.", {}},
    {"interest", "Interest; the simulator sends 0.", {}},
    {"current_vol", "Shares held.", {}},
    {"enable_vol", "Shares that may be sold today and are not promised to an open sell.", {}},
    {"keep_cost_price", "Average price paid.", {}},
    {"last_price", "Today's price of the security.", {}},
    {"income_balance", "Profit not yet taken: shares x (price - cost).", {}},
    {"current_amount", "Shares held.", {}},
    {"avg_price", "Average price paid.", {}, kPosition},
    {"frozen_amount", "Shares promised to open sells.", {}},
    {"transAmount", "Shares this change traded; 0 when it was no fill.", {}},
    {"bargainBalance", "Value this change traded.", {}},
    {"trigger_time", "When the change happened, in milliseconds since 1970.", {}},
    {"update_status", "What happened to the record.", RowsOf(kUpdate)},
    {"update_status", "What happened to the record (not sent by the simulator).", {}, kMarketValue},
    {"update_status", "What happened to the record (not sent by the simulator).", {},
     kSecurityInfo},
    {"profit_loss", "Profit of the day: taken and not yet taken.", {}},
    {"actual_profit_loss", "Profit taken today: sells against their cost.", {}},
    {"floating_profit_loss", "Profit not yet taken on the positions.", {}},
    {"h_floating_profit_loss", "Profit not yet taken on Hong Kong holdings; the simulator "
                               "sends 0.", {}},
    {"wp", "Not used by the simulator (0).", {}},
    {"top_fail_back", "Not used by the simulator (0).", {}},
    {"topFailBack", "Not sent by the simulator.", {}},
    {"assetTotal", "Total assets.", {}},
    {"aProfitAndLoss", "Profit and loss of the A-share holdings.", {}},
    {"hProfitAndLoss", "Profit and loss of the Hong Kong holdings.", {}},
    {"hAssetTotal", "Assets held in Hong Kong.", {}},
    {"limitBalance", "The platform's trading limit left for the account.", {}},
    {"bargain_balance", "Value of the day's trades on the market asked for.", {}},
    {"trans_amount", "Number of the day's trades on the market asked for.", {}},

    // ---- Lists of the account ------------------------------------------------
    {"op_type", "What to do with the watch list; the simulator refuses any other byte (2204).",
     RowsOf(kWatchOperations), "OptionalOperation"},
    {"op_type", "What to do; the simulator refuses any other byte (2403).",
     RowsOf(kAlgorithmOperations), "OperAlgorithm"},
    {"menu_config", "The functions the user may use, comma-separated (the simulator's: "
                    "\"order,cancel,query,watchlist\").", {}},
    {"busi_type", "Kind of capital account.", RowsOf(kCapitalKinds)},
    {"busi_type_desc", "The kind in words.", {}},

    // ---- Baskets and plans ---------------------------------------------------
    {"basket_name", "Name of the basket; the simulator refuses an empty one (2303).", {},
     nullptr, kSent},
    {"basket_name", "Name of the basket.", {}, nullptr, kReceived},
    {"type", "Kind of basket, kept and reported back (the examples use \"NORMAL\").", {}},
    {"basket_type", "Kind of plan.", RowsOf(kBasketKinds), nullptr, kSent},
    {"basket_type", "The kind the basket was made with (its \"type\").", {}, "CreateBasket",
     kReceived},
    {"basket_type", "Kind of the plan.", {}, "QueryBasketPlan", kReceived},
    {"basket_no", "The basket (as CreateBasket's answer named it).", {}, nullptr, kSent},
    {"basket_no", "One basket, or \"\" for every basket.", {}, "QueryBasket", kSent},
    {"basket_no", "Plans of one basket, or \"\" for every plan.", {}, "QueryBasketPlan", kSent},
    {"basket_no", "The plan's basket; \"\" matches any.", {}, "QueryBasketPlanDetail", kSent},
    {"basket_no", "The plan's basket; \"\" matches any.", {}, "QueryBasketEntrustOrder", kSent},
    {"basket_no", "The plan's basket; \"\" matches any.", {}, "QueryBasketBargainOrder", kSent},
    {"basket_no", "Filter on the basket; the simulator ignores it.", {}, "QueryAlgorithmList",
     kSent},
    {"basket_no", "Number of the basket (K1, K2, ... on the simulator).", {}, nullptr, kReceived},
    {"basket_no", "Basket the algorithm trades for; the simulator sends \"\".", {},
     "QueryAlgorithmList", kReceived},
    {"basket_detail_id", "One security of a basket, as AddBasketSecurity's answer named it "
                         "(\"<basket_no>-<n>\" on the simulator).", {}},
    {"basket_detail_id", "The basket security this line trades.", {}, "StartBasketPlan", kSent},
    {"basket_detail_id", "The security added (\"<basket_no>-<n>\" on the simulator).", {},
     "AddBasketSecurity", kReceived},
    {"basket_detail_cnt", "Number of lines in \"record_set\"; 0 trades every security of the "
                          "basket as it stands.", {}},
    {"algorithm_type", "Kind of algorithm, kept and reported back; the simulator slices every "
                       "kind alike.", {}},
    {"algorithm_type", "Only this kind; \"\" for every kind.", {}, "QueryAlgorithmList", kSent},
    {"entrust_price_type", "How the price is given, kept and reported back (the examples use "
                           "\"LMT\"); the simulator always places limit orders.", {}},
    {"limit_price", "Limit price, kept and reported back.", {}},
    {"price", "Price to order at; 0 or less: the security's price when the plan starts.", {}},
    {"amount", "Quantity to order; the simulator refuses one that is not positive (2002).", {}},
    {"smallest_entrust_amount", "Smallest order quantity, kept and reported back.", {}},
    {"smallest_entrust_amount", "Slice size: each slice orders at most this much; 0 places "
                                "everything at once.", {}, "OperAlgorithm"},
    {"smallest_entrust_amount", "Slice size.", {}, "QueryAlgorithmList"},
    {"smallest_entrust_amount", "Smallest order quantity; the simulator ignores it.", {},
     "StartBasketPlan"},
    {"smallest_entrust_balance", "Smallest order value, kept and reported back.", {}},
    {"smallest_entrust_balance", "Smallest order value; the simulator ignores it.", {},
     "StartBasketPlan"},
    {"entrust_amount_type", "How quantities are given.", RowsOf(kIgnored)},
    {"algorithm_block_size", "Length of the algorithm block: 68 when \"basket_type\" is "
                             "ALGORITHM, else 0; written by the library.", {}},
    {"batch_no", "The plan (as StartBasketPlan's answer named it).", {}, nullptr, kSent},
    {"batch_no", "Filter on the plan; the simulator ignores it.", {}, "QueryAlgorithmList",
     kSent},
    {"batch_no", "Number of the plan (P2, ... on the simulator).", {}, nullptr, kReceived},
    {"batch_no", "Plan the algorithm trades for; the simulator sends \"\".", {},
     "QueryAlgorithmList", kReceived},
    {"status", "State of the plan.", RowsOf(kPlanStatuses), "QueryBasketPlan"},
    {"status", "Only condition orders in this state.", RowsOf(kConditionFilter),
     "QueryConditionOrderList", kSent},
    {"status", "State of the condition order.", RowsOf(kConditionStatuses),
     "QueryConditionOrderList", kReceived},
    {"start_time", "When the plan started, the text YYYYMMDDHHMMSS.", {}},

    // ---- Algorithms -----------------------------------------------------------
    {"algorithm_or_order_no", "The algorithm to operate; \"\" when starting one.", {}, nullptr,
     kSent},
    {"algorithm_or_order_no", "The algorithm's number (a new one's when starting: A3, ... on "
                              "the simulator).", {}, nullptr, kReceived},
    {"algorithm_no", "The algorithm (OperAlgorithm's answer's \"algorithm_or_order_no\").", {},
     "QueryAlgorithmEntrustOrder", kSent},
    {"algorithm_no", "Only this algorithm; \"\" for every one.", {}, "QueryAlgorithmList", kSent},
    {"algorithm_no", "The algorithm's number.", {}, nullptr, kReceived},
    {"algorithm_status", "Only algorithms in this state.", RowsOf(kAlgorithmFilter), nullptr,
     kSent},
    {"algorithm_status", "State of the algorithm.", RowsOf(kAlgorithmStatuses), nullptr,
     kReceived},
    {"algorithm_kind", "Filter on the kind; the simulator ignores it.", {}},
    {"price_type", "How the limits are given.", RowsOf(kPriceTypes), "OperAlgorithm"},
    {"price_type", "Filter on the price type; the simulator ignores it.", {},
     "QueryAlgorithmList", kSent},
    {"price_type", "How the limits were given.", {}, "QueryAlgorithmList", kReceived},
    {"entrust_begin_time", "Filter: placed from (digits as text); the simulator ignores it.",
     {}},
    {"entrust_end_time", "Filter: placed until (digits as text); the simulator ignores it.", {}},
    {"begin_time", "When the algorithm starts: a text whose leading digits are sent as a "
                   "number. " KEPT_FOR_ALGORITHMS, {}, nullptr, kSent},
    {"begin_time", "When the algorithm starts, as sent.", {}, nullptr, kReceived},
    {"end_time", "When the algorithm ends: a text whose leading digits are sent as a "
                 "number. " KEPT_FOR_ALGORITHMS, {}, nullptr, kSent},
    {"end_time", "When the algorithm ends, as sent.", {}, nullptr, kReceived},
    {"limit_price_basic", "Base of the price limit. " KEPT_FOR_ALGORITHMS, {}},
    {"limit_price_unit", "Unit of the price limit. " KEPT_FOR_ALGORITHMS, {}},
    {"limit_price_change", "Size of the price limit. " KEPT_FOR_ALGORITHMS, {}},
    {"quantity_ratio", "Quantity ratio. " KEPT_FOR_ALGORITHMS, {}},
    {"stop_sell_limit_up", "Stop selling at the limit-up price. " KEPT_FOR_ALGORITHMS, {}},
    {"cancel_order_limit_down", "Cancel at the limit-down price. " KEPT_FOR_ALGORITHMS, {}},
    {"entrust_amount_remain", "Quantity not yet placed.", {}},

    // ---- Condition orders ------------------------------------------------------
    {"con_type", "What triggers the order; the simulator refuses any other word (2503).",
     RowsOf(kConditionTypes)},
    {"con_trigger_date", "Trigger date, kept and reported back; the simulator ignores it.", {}},
    {"con_trigger_price", "The price that triggers the order; the order goes at the price of "
                          "that moment.", {}},
    {"con_trigger_start_date", "Filter on the trigger date; the simulator ignores it.", {}},
    {"con_trigger_end_date", "Filter on the trigger date; the simulator ignores it.", {}},
    {"condition_no", "The condition order (CreateConditionOrder's answer's).", {}, nullptr,
     kSent},
    {"condition_no", "The condition order's number (C4, ... on the simulator).", {}, nullptr,
     kReceived},
    {"remark", "Why it was made: \"stop loss of <order>\" or \"take profit of <order>\" for "
               "QuickConditionOrder's guards, else \"\".", {}},
    {"message", "What happened: \"order <number> placed\", or why the order was refused.", {}},
    {"stop_loss_gear", "Percent (0 to 99) against the order at which a guard closes it at a "
                       "loss: a condition order on the other side; 0: none.", {}},
    {"take_profit_gear", "Percent (0 to 1000) in favour of the order at which a guard closes "
                         "it at a profit; 0: none. The first guard to trigger cancels the "
                         "other.", {}},
    {"order_request_no", "The order's number: the request's generated number followed by "
                         "\"fund_account\".", {}, nullptr, kSent},
    {"order_request_no", "The number of the order placed.", {}, nullptr, kReceived},

    // ---- Strategies ------------------------------------------------------------
    {"strategy_codes", "Strategies, comma-separated (codes from QueryStrategyInfo); the "
                       "simulator refuses an unknown one, and \"\", with 2601.", {}},
    {"strategy_code", "Code of the strategy.", {}},
    {"strategy_code", "The first strategy asked for.", {}, "QueryHistoryMatchedStockList"},
    {"strategy_name", "Name of the strategy.", {}},
    {"strategy_desc", "What the strategy selects.", {}},
    {"strategy_desc_ext", "More about the strategy; \"\" from the simulator.", {}},
    {"trade_status", "Whether the security can be traded.", RowsOf(kTradable)},
    {"matched_time", "When the strategy matched, the text YYYYMMDDHHMMSS.", {}},
    {"message_id", "Number of the report.", {}},

    // ---- Reports the client builds -------------------------------------------
    {"object", "Which answer this is.", RowsOf(kReportObjects)},
    {"connection_type", "The channel.", RowsOf(kConnectionTypes)},
    {"login_status", "0 on success, otherwise the server's error number.",
     RowsOf(kLoginStatuses)},
    {"login_status", "false: the link is lost (only in that report).", {}, "link report"},
    {"connection_status", "The link's state.", RowsOf(kConnectionStatuses)},
    {"trade_type", "Kind of server the channel reached.", RowsOf(kServerKinds)},
    {"describe", "Error text; empty on success.", {}},
    {"server_ip", "Address of the server the channel reached.", {}},
    {"port", "Port of the server the channel reached.", {}},
    {"cmd", "Always \"ConnectStatus\".", {}},
    {"push_type", "-999: this is the answer to a Logout.", {}, "logout report"},
};

bool Same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// How well a note fits: -1 when it does not apply, more when narrower.
int Fit(const KeyNote& note, const char* message, Direction direction) {
  if (note.message != nullptr && !Same(note.message, message)) return -1;
  if (note.direction != Direction::Either && note.direction != direction) return -1;
  return (note.message != nullptr ? 2 : 0) + (note.direction != Direction::Either ? 1 : 0);
}

}  // namespace

Rows<KeyNote> KeyNotes() { return RowsOf(kNotes); }

const KeyNote* FindKeyNote(const char* key, const char* message, Direction direction) {
  const KeyNote* best = nullptr;
  int bestFit = -1;
  for (const KeyNote& note : kNotes) {
    if (!Same(note.key, key)) continue;
    const int fit = Fit(note, message, direction);
    if (fit > bestFit) {
      best = &note;
      bestFit = fit;
    }
  }
  return best;
}

}  // namespace tessel::reference
