// What each function and push is for, one example of every function, the
// reports the client builds, and the reference's own paragraphs. The
// examples are written for the simulator's demo account (user "demo",
// password "secret") and run in this order as one session.
#include "messages/reference_notes.h"

#include <cstring>

namespace tessel::reference {
namespace {

// A basket, plan, algorithm or condition order takes the next number of one
// sequence per account: these examples name the basket K1 where no answer
// just before carries its number.
constexpr const char* kNamesBasket =
    "It names the basket CreateBasket made: on a fresh account the first thing numbered is "
    "K1.";

constexpr const char* kLoginKeys[] = {"connection_type", "describe", "login_status", "object",
                                      "port", "server_ip", "trade_type"};
constexpr const char* kLogoutKeys[] = {"connection_type", "describe", "login_status", "object",
                                       "port", "push_type", "server_ip", "trade_type"};
constexpr const char* kLinkKeys[] = {"cmd", "connection_status", "connection_type",
                                     "login_status", "port", "server_ip", "trade_type"};

constexpr ReportNote kLoginReport{
    "login report",
    "The login report: the answer, also handed to the general callback. A successful login "
    "is followed by a link report.",
    RowsOf(kLoginKeys)};
constexpr ReportNote kLogoutReport{
    "logout report", "The logout report: the answer, also handed to the general callback.",
    RowsOf(kLogoutKeys)};
constexpr ReportNote kLinkReport{
    "link report",
    "Handed to the general callback when a channel has logged in and when its link is lost "
    "(\"cmd\" is \"ConnectStatus\"); the library reconnects and logs in again by itself.",
    RowsOf(kLinkKeys)};
constexpr const ReportNote* kStandaloneReports[] = {&kLinkReport};

constexpr FunctionNote kFunctions[] = {
    // ---- Session ---------------------------------------------------------------
    {"Login", "Logs in on the main channel; every other request but Login_Trade_Push needs it.",
     R"({"func":"Login","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0})",
     nullptr, &kLoginReport},
    {"Login_Trade_Push", "Logs in on the push channel, which then carries the account's pushes.",
     R"({"func":"Login_Trade_Push","user_name":"demo","pass_word":"secret","heart_beat":30,"compress":0,"encrypt":0})",
     nullptr, &kLoginReport},
    {"ModifyPwd", "Changes the password.",
     R"({"func":"ModifyPwd","user_name":"demo","pass_word":"secret","new_pass_word":"secret"})",
     "It keeps the password: the simulator has one for every user, and later logins still "
     "use it."},
    // ---- Reference lists ----------------------------------------------------
    {"UserMenuauth", "Lists the functions the user may use.",
     R"({"func":"UserMenuauth","user_name":"demo"})"},
    {"UserStockList", "Lists the securities the account may trade.",
     R"({"func":"UserStockList","user_name":"demo","client_id":"demo","operator_id":"demo-op","fund_account":"demo-01"})"},
    {"QueryDealList", "Lists the user's dealers, one page at a time.",
     R"({"func":"QueryDealList","user_name":"demo","max_request_num":50,"position_str":""})"},
    {"QueryCapitalList", "Lists the user's capital accounts.",
     R"({"func":"QueryCapitalList","user_name":"demo"})"},
    // ---- Funds, positions, limits -------------------------------------------
    {"QryMoney", "Queries the account's funds.",
     R"({"func":"QryMoney","user_name":"demo","client_id":"demo","fund_account":"demo-01"})"},
    {"QryHolder", "Queries the account's positions, one page at a time.",
     R"({"func":"QryHolder","user_name":"demo","client_id":"demo","fund_account":"demo-01","mark":0,"max_request_num":50,"position_str":""})"},
    {"QryMaxBuy", "Asks how much of a security the account can buy at a price.",
     R"({"func":"QryMaxBuy","user_name":"demo","client_id":"demo","fund_account":"demo-01","entrust_prop":48,"mark":49,"code":"600519","entrust_price":1700,"trade_unit":100})"},
    {"QryMaxSell", "Asks how much of a security the account can sell.",
     R"({"func":"QryMaxSell","user_name":"demo","client_id":"demo","fund_account":"demo-01","entrust_prop":48,"mark":49,"code":"600000"})"},
    {"OptionalOperation", "Lists, adds to, removes from or replaces the user's watch list.",
     R"({"func":"OptionalOperation","user_name":"demo","op_type":49,"mark":49,"code":"600000","record_set_cnt":0})"},
    // ---- Orders -------------------------------------------------------------------
    {"OrderSubmit", "Places an order.",
     R"({"func":"OrderSubmit","user_name":"demo","client_id":"demo","fund_account":"demo-01","operator_id":"demo-op","code":"600000","mark":49,"code_name":"SPD Bank","entrust_vol":1000,"entrust_price":10.00,"entrust_bs":49,"entrust_prop":48,"business_type":48,"allow_cancel_order":49})",
     "Priced under 600000's 10.50, the buy stays open for the cancel after it."},
    {"OrderCancel", "Withdraws an open order.",
     R"({"func":"OrderCancel","user_name":"demo","client_id":"demo","fund_account":"demo-01","operator_id":"demo-op","code":"600000","mark":49,"code_name":"SPD Bank","entrust_vol":1000,"entrust_price":10.00,"entrust_type":0,"request_no":"{{last.request_no}}"})",
     "It names the open order placed just before by its answer's \"request_no\"."},
    // ---- Baskets ------------------------------------------------------------------
    {"CreateBasket", "Makes a basket: a named list of securities to trade together.",
     R"({"func":"CreateBasket","user_name":"demo","client_id":"demo","basket_name":"demo basket","type":"NORMAL"})"},
    {"UpdateBasket", "Renames a basket.",
     R"({"func":"UpdateBasket","user_name":"demo","client_id":"demo","basket_name":"demo basket, renamed","basket_no":"{{last.basket_no}}"})",
     "It names the basket made just before by its answer's \"basket_no\"."},
    {"AddBasketSecurity", "Adds one security to a basket.",
     R"({"func":"AddBasketSecurity","user_name":"demo","client_id":"demo","basket_no":"{{last.basket_no}}","security_code":"600519","security_name":"","mark":49,"algorithm_type":"","entrust_bs":49,"entrust_price_type":"LMT","limit_price":0,"price":0,"amount":100,"smallest_entrust_amount":0,"smallest_entrust_balance":0})",
     "It names the basket UpdateBasket's answer names."},
    {"UpdateBasketSecurity", "Changes how a basket trades one of its securities.",
     R"({"func":"UpdateBasketSecurity","user_name":"demo","client_id":"demo","basket_detail_id":"{{last.basket_detail_id}}","security_name":"","algorithm_type":"","entrust_bs":49,"entrust_price_type":"LMT","limit_price":0,"price":0,"amount":200,"smallest_entrust_amount":0,"smallest_entrust_balance":0})",
     "It names the security added just before by its answer's \"basket_detail_id\"."},
    {"DelBasketSecurity", "Removes one security from a basket.",
     R"({"func":"DelBasketSecurity","user_name":"demo","client_id":"demo","basket_detail_id":"{{last.basket_detail_id}}"})",
     "It names the security UpdateBasketSecurity's answer names."},
    {"AddBasketSecurityBatch", "Adds several securities to a basket at once.",
     R"({"func":"AddBasketSecurityBatch","user_name":"demo","client_id":"demo","basket_no":"K1","record_set_cnt":4,"record_set":[{"security_code":"600519","security_name":"","security_exchange":49,"algorithm_type":"","entrust_bs":49,"entrust_price_type":"LMT","limit_price":0,"price":0,"amount":100,"smallest_entrust_amount":0,"smallest_entrust_balance":0},{"security_code":"000858","security_name":"","security_exchange":50,"algorithm_type":"","entrust_bs":49,"entrust_price_type":"LMT","limit_price":0,"price":0,"amount":200,"smallest_entrust_amount":0,"smallest_entrust_balance":0},{"security_code":"600000","security_name":"","security_exchange":49,"algorithm_type":"","entrust_bs":50,"entrust_price_type":"LMT","limit_price":0,"price":10.40,"amount":500,"smallest_entrust_amount":0,"smallest_entrust_balance":0},{"security_code":"000001","security_name":"","security_exchange":50,"algorithm_type":"","entrust_bs":49,"entrust_price_type":"LMT","limit_price":0,"price":12.00,"amount":1000,"smallest_entrust_amount":0,"smallest_entrust_balance":0}]})",
     kNamesBasket},
    {"QueryBasket", "Lists baskets: one, or all of the user's.",
     R"({"func":"QueryBasket","user_name":"demo","client_id":"demo","basket_no":""})"},
    {"QueryBasketDetail", "Lists the securities of a basket.",
     R"({"func":"QueryBasketDetail","user_name":"demo","client_id":"demo","basket_no":"K1"})",
     kNamesBasket},
    // ---- Basket plans -------------------------------------------------------------
    {"StartBasketPlan", "Starts a plan on a basket: one order per security.",
     R"({"func":"StartBasketPlan","user_name":"demo","client_id":"demo","basket_no":"K1","basket_type":"NORMAL","entrust_amount_type":0,"fund_account":"demo-01","operator_id":"demo-op","basket_detail_cnt":0,"record_set":[]})",
     "It names the basket CreateBasket made and AddBasketSecurityBatch filled: K1 on a fresh "
     "account. Three of its orders fill at once; the 000001 buy at 12.00 waits."},
    {"QueryBasketPlanDetail", "Lists the securities of a plan and how much of each has filled.",
     R"({"func":"QueryBasketPlanDetail","user_name":"demo","client_id":"demo","basket_no":"{{last.basket_no}}","batch_no":"{{last.batch_no}}"})",
     "It names the plan started just before by its answer's \"basket_no\" and "
     "\"batch_no\"."},
    {"QueryBasketEntrustOrder", "Lists the orders of a plan, one page at a time.",
     R"({"func":"QueryBasketEntrustOrder","user_name":"demo","client_id":"demo","basket_no":"{{last.basket_no}}","batch_no":"{{last.batch_no}}","max_request_num":50,"position_str":""})",
     "It names the plan the answer just before names."},
    {"QueryBasketBargainOrder", "Lists the trades of a plan, one page at a time.",
     R"({"func":"QueryBasketBargainOrder","user_name":"demo","client_id":"demo","basket_no":"{{last.basket_no}}","batch_no":"{{last.batch_no}}","max_request_num":50,"position_str":""})",
     "It names the plan the answer just before names."},
    {"DeleteBasket", "Deletes a basket; its plans stay queryable.",
     R"({"func":"DeleteBasket","user_name":"demo","client_id":"demo","basket_no":"{{last.basket_no}}"})",
     "It names the basket the answer just before names."},
    {"QueryBasketPlan", "Lists plans: a basket's, or all of the user's.",
     R"({"func":"QueryBasketPlan","user_name":"demo","client_id":"demo","basket_no":"{{last.basket_no}}"})",
     "It names the basket DeleteBasket's answer names: plans outlive their basket."},
    // ---- Algorithms ----------------------------------------------------------------
    {"OperAlgorithm", "Starts an algorithm, or changes, pauses, resumes or cancels one.",
     R"({"func":"OperAlgorithm","user_name":"demo","client_id":"demo","fund_account":"demo-01","operator_id":"demo-op","algorithm_or_order_no":"","op_type":49,"algorithm_type":"TWAP","security_code":"600519","security_name":"","security_exchange":49,"entrust_bs":49,"entrust_amount":300,"smallest_entrust_amount":100,"price_type":"LMT"})",
     "The algorithm buys 300 of 600519 in slices of 100; the first goes, and fills, at once."},
    {"QueryAlgorithmEntrustOrder", "Lists the orders an algorithm placed, one page at a time.",
     R"({"func":"QueryAlgorithmEntrustOrder","user_name":"demo","client_id":"demo","max_request_num":50,"position_str":"","algorithm_no":"{{last.algorithm_or_order_no}}"})",
     "It names the algorithm started just before by its answer's "
     "\"algorithm_or_order_no\"."},
    {"QueryAlgorithmList", "Lists the user's algorithms, one page at a time.",
     R"({"func":"QueryAlgorithmList","user_name":"demo","client_id":"demo","fund_account":"demo-01","algorithm_no":"","basket_no":"","batch_no":"","algorithm_type":"","security_exchange":0,"security_code":"","algorithm_status":"","entrust_begin_time":"0","entrust_end_time":"0","max_request_num":50,"position_str":"","price_type":""})"},
    // ---- Condition orders ----------------------------------------------------------
    {"CreateConditionOrder", "Makes a condition order: an order placed once a price is reached.",
     R"({"func":"CreateConditionOrder","username":"demo","client_id":"demo","fund_account":"demo-01","operator_id":"demo-op","security_code":"600000","security_name":"","security_exchange":49,"con_type":"UP","entrust_bs":50,"con_trigger_date":"","con_trigger_price":11.00,"entrust_amount":500})"},
    {"OperConditionOrder", "Cancels, changes, pauses or resumes a condition order.",
     R"({"func":"OperConditionOrder","username":"demo","client_id":"demo","business_type":50,"condition_no":"{{last.condition_no}}","con_trigger_date":"","con_trigger_price":11.20,"entrust_amount":500})",
     "It names the condition order made just before by its answer's \"condition_no\"."},
    {"QueryConditionOrderList", "Lists the user's condition orders, one page at a time.",
     R"({"func":"QueryConditionOrderList","username":"demo","client_id":"demo","security_code":"","status":"","con_trigger_start_date":"","con_trigger_end_date":"","max_request_num":50,"position_str":"","fund_account":"demo-01"})"},
    {"QuickConditionOrder", "Places an order now and guards it with stop-loss and take-profit "
                            "condition orders.",
     R"({"func":"QuickConditionOrder","username":"demo","client_id":"demo","fund_account":"demo-01","operator_id":"demo-op","security_code":"000858","security_name":"","security_exchange":50,"stop_loss_gear":5,"take_profit_gear":10,"entrust_bs":49,"entrust_price":150.00,"entrust_amount":100,"entrust_prop":48})",
     "The buy fills at once; two guards then wait to sell it at 142.50 or at 165.00."},
    // ---- The day's orders and trades -------------------------------------------
    {"QryCurOrder", "Queries today's orders, one page at a time.",
     R"({"func":"QryCurOrder","user_name":"demo","client_id":"demo","fund_account":"demo-01","mark":0,"max_request_num":50,"position_str":""})"},
    {"QryCurTrade", "Queries today's trades, one page at a time.",
     R"({"func":"QryCurTrade","user_name":"demo","client_id":"demo","fund_account":"demo-01","mark":0,"max_request_num":50,"position_str":""})"},
    {"QryHisOrder", "Queries past orders over a period, one page at a time.",
     R"({"func":"QryHisOrder","user_name":"demo","client_id":"demo","fund_account":"demo-01","max_request_num":50,"start_date":0,"end_date":0,"position_str":""})"},
    {"QryHisTrade", "Queries past trades over a period, one page at a time.",
     R"({"func":"QryHisTrade","user_name":"demo","client_id":"demo","fund_account":"demo-01","max_request_num":50,"start_date":0,"end_date":0,"position_str":""})"},
    {"QryHisOrderNum", "Counts orders per day over a period.",
     R"({"func":"QryHisOrderNum","username":"demo","client_id":"demo","fund_account":"demo-01","max_request_num":50,"start_date":0,"end_date":0})"},
    {"QryHisTradeNum", "Counts trades per day over a period.",
     R"({"func":"QryHisTradeNum","username":"demo","client_id":"demo","fund_account":"demo-01","max_request_num":50,"start_date":0,"end_date":0})"},
    {"QryProfitAndLoss", "Queries the profit and loss of a day.",
     R"({"func":"QryProfitAndLoss","username":"demo","client_id":"demo","fund_account":"demo-01","trade_date":0})"},
    {"QueryBargainSummary", "Sums the day's trades of a fund account on one market or all.",
     R"({"func":"QueryBargainSummary","username":"demo","client_id":"demo","fund_account":"demo-01","security_exchange":0})"},
    {"QueryEntrustConfig", "Queries the order configuration of a fund account.",
     R"({"func":"QueryEntrustConfig","username":"demo","client_id":"demo","fund_account":"demo-01"})"},
    // ---- Strategies -------------------------------------------------------------
    {"QueryStrategyInfo", "Lists the server's stock-selection strategies.",
     R"({"func":"QueryStrategyInfo","username":"demo","client_id":"demo"})"},
    {"QueryHistoryMatchedStockList", "Lists the securities strategies have matched.",
     R"({"func":"QueryHistoryMatchedStockList","username":"demo","client_id":"demo","strategy_codes":"MOMENTUM,VALUE"})"},
    // ---- The end ------------------------------------------------------------------
    {"Logout", "Logs out of the main channel; requests after it are refused by the server until "
               "the next Login.",
     R"({"func":"Logout"})", nullptr, &kLogoutReport},
};

constexpr PushNote kPushes[] = {
    {10, "An order changed: accepted, partly or wholly filled, or cancelled. The simulator "
         "sends one for each change of an order of the account, one for each part that "
         "trades, on the push channel."},
    {17, "Order progress: an order's new state in a word. The simulator sends one after each "
         "execution report."},
    {206, "A strategy matched a security. The simulator does not send it."},
    {300, "A security's information changed. The simulator does not send it."},
    {301, "The account's cash changed. The simulator sends one for each order that holds, "
          "releases or spends cash."},
    {302, "A position changed. The simulator sends one for each order that holds, releases "
          "or trades shares."},
    {303, "The account's market value changed. The simulator does not send it."},
    {304, "The platform's trading limit of the account changed (push channel only). The "
          "simulator does not send it."},
    {305, "The account's order configuration changed (push channel only). The simulator "
          "does not send it."},
};

constexpr const char kIntroduction[] =
    "Generated by `tessel-msgdoc` from the tables the library packs and parses with and from "
    "the notes beside them (`messages/reference_notes.cpp`, `messages/reference_keys.cpp`); "
    "do not edit by hand (run `build/tools/msgdoc/tessel-msgdoc > docs/messages.md`).\n\n"
    "A request is a JSON object whose \"func\" names the function. Every key listed is "
    "required unless its rule says optional; the first key that is missing, mistyped or out "
    "of range refuses the request (`SendRequest` returns 0 and nothing is sent). Texts "
    "longer than their field allows are refused, not cut, and so are integers their field "
    "cannot hold, even in an optional row. Answers are JSON objects written with tab "
    "indentation and keys in ascending order; errors travel in \"error_no\" and "
    "\"error_info\". Numbers are written with up to 17 significant digits, so a price "
    "sent as 11.20 may read 11.199999999999999: round it to the price step. A number the "
    "server sends as infinite or not a number reads as null, which JSON can hold.\n\n"
    "The request reader is jsoncpp's with its default settings, and it takes more than "
    "strict JSON: comments (`//` to the end of the line and `/* ... */`), a comma after the "
    "last member of an object or array, a byte-order mark before the text, and text after "
    "the first complete value, which it ignores; a key given twice keeps its last value. "
    "It refuses single quotes, NaN and Infinity. Send strict JSON all the same: another "
    "version of the library may read it more strictly.\n\n"
    "Codes: many keys carry a code, a byte sent as its number (the character '1' is 49) and "
    "reported as a number, or a short word. The codes listed are those of the simulated "
    "trade server in `tools/standin`, which the examples run against. A real trade server "
    "defines its own codes: its documentation, not this reference, says which it takes and "
    "sends. \"Kept and reported back\" means the simulator stores the value and returns it "
    "in its answers without acting on it. Where the client maps a byte to another number "
    "(\"market\", and \"entrust_bs\" in order and trade records), the value listed is the "
    "one the host receives, with the byte the server sent beside it.\n\n"
    "Every function has one example, written for the simulator's demo account: user "
    "\"demo\", password \"secret\", client id \"demo\", fund account \"demo-01\", operator "
    "\"demo-op\". Together the examples make one session; see \"The example session\" at "
    "the end.\n\n"
    "Every function closes with the errors the simulator may answer it with. Besides its own, "
    "a request answered after the login may meet 1002 (a body of the wrong size) and 1003 "
    "(no login on the connection), and each of \"user_name\" (\"username\"), "
    "\"client_id\", \"fund_account\" and \"operator_id\" it sends the error of a value "
    "that is not the logged-in user's. `tessel-standin --accounts FILE` takes its users and "
    "securities from a file (docs/simulator-accounts.md); without it the demo book "
    "serves.\n\n";

constexpr const char kPaging[] =
    "Queries that take \"max_request_num\" and \"position_str\" answer with one page of a "
    "longer list.\n\n"
    "On the simulator a page holds at most \"max_request_num\" records (1 to 100; any other "
    "number gives 100). Every record carries its \"position_str\": its place in the whole "
    "list as text, \"1\" for the first. A request whose \"position_str\" is \"\" (or "
    "anything that is not such a number) starts at the first record; one that names a "
    "record's \"position_str\" starts right after that record.\n\n"
    "To fetch the next page, send the same request again with \"position_str\" set to the "
    "\"position_str\" of the last record received. A page with fewer records than "
    "\"max_request_num\" (or none) is the last. The list is read anew for each page: records "
    "added at its end meanwhile come on later pages, but a position sold out meanwhile moves "
    "the ones after it up by one, and one of them is then missed.\n\n"
    "Paged so: QryHolder, QryCurOrder, QryCurTrade, QryHisOrder, QryHisTrade, "
    "OptionalOperation (listing; its other operations answer with the first page), "
    "QueryDealList, QueryBasketEntrustOrder, QueryBasketBargainOrder, QueryAlgorithmList, "
    "QueryAlgorithmEntrustOrder and QueryConditionOrderList. QryHisOrderNum and "
    "QryHisTradeNum take \"max_request_num\" as the most days and always start at the first "
    "day. Every other list comes whole.\n\n";

constexpr const char kPushIntroduction[] =
    "The server's reports of changes to the account, handed to the host through the general "
    "callback of the client, whichever channel they arrive on; they answer no request.\n\n";

constexpr const char kExampleSession[] =
    "The examples of every function, in the order they run. Sent one after the other to a "
    "fresh simulator, each once the answer to the one before has arrived, every one is "
    "answered with \"error_no\" 0 (a login or logout with \"login_status\" 0). "
    "\"{{last.KEY}}\" stands for KEY of the answer just before, as `tessel-host` fills it "
    "in; so the block below runs as it is with `scripts/try.sh FILE`. The simulator numbers "
    "baskets, plans, algorithms and condition orders from one sequence per account (K1, P2, "
    "A3, C4, ...), so an example that names K1 holds in this order only. The test "
    "`ReferenceExamples.RunInOrderAgainstTheSimulator` sends them through the library.\n\n";

}  // namespace

Rows<FunctionNote> FunctionNotes() { return RowsOf(kFunctions); }

const FunctionNote* FindFunctionNote(const char* func) {
  for (const FunctionNote& note : kFunctions) {
    if (std::strcmp(note.func, func) == 0) return &note;
  }
  return nullptr;
}

const PushNote* FindPushNote(uint32_t type) {
  for (const PushNote& note : kPushes) {
    if (note.type == type) return &note;
  }
  return nullptr;
}

Rows<const ReportNote*> StandaloneReports() { return RowsOf(kStandaloneReports); }

const char* Introduction() { return kIntroduction; }
const char* Paging() { return kPaging; }
const char* PushIntroduction() { return kPushIntroduction; }
const char* ExampleSession() { return kExampleSession; }

}  // namespace tessel::reference
