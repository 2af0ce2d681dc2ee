// The requests both clients send, as the host writes them, so the library
// and the bare client put the same frames on the wire.
#pragma once

#include <string>

namespace tessel::bench {

inline const std::string kModifyPwdJson =
    R"({"func":"ModifyPwd","user_name":"trader01","pass_word":"secret","new_pass_word":"secret"})";

// A buy and a sell of the same size at the stand-in's price: each fills at
// once, and taken in turn they leave cash and position as they were, so
// every order of a long run fills and pushes alike.
inline std::string OrderSubmitJson(char side) {
  return std::string(
             R"({"func":"OrderSubmit","user_name":"trader01","client_id":"trader01",)"
             R"("fund_account":"trader01-01","operator_id":"trader01-op","code":"600000",)"
             R"("mark":49,"code_name":"PF Bank","entrust_vol":1000,)"
             R"("entrust_price":10.5,"entrust_bs":)") +
         std::to_string(static_cast<int>(side)) +
         R"(,"entrust_prop":48,"business_type":48,"allow_cancel_order":1})";
}
inline const std::string kOrderSubmitJson[2] = {OrderSubmitJson('1'), OrderSubmitJson('2')};

}  // namespace tessel::bench
