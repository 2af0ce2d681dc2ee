// Writes the seed corpora and the intake dictionary from the request and
// answer tables, so that every function and every answer and push layout
// starts with one well-formed input:
//   tessel_fuzz_seeds DIR   (DIR/corpus/<target>/..., DIR/intake.dict)
#include <json/value.h>
#include <json/writer.h>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "messages/inbound/answer_layouts.h"
#include "messages/outbound/request_layout.h"
#include "net/frame.h"
#include "plugin/function_table.h"

namespace {

using namespace tessel;
namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

// A value each host-key row accepts; none for the rows the client writes.
Json::Value SampleRequestValue(const RequestField& row) {
  switch (row.rule) {
    case Rule::Text: case Rule::OptionalText: return row.width > 2 ? "1" : "";
    case Rule::Int: case Rule::WholeDouble: case Rule::OptionalInt: return 1;
    case Rule::Number: case Rule::OptionalNumber: return 10.5;
    case Rule::TimeText: case Rule::OptionalTime: return "20260102";
    default: return Json::Value();
  }
}

void AddRows(FieldGroup group, Json::Value& out) {
  for (const RequestField& row : group) {
    Json::Value value = SampleRequestValue(row);
    if (!value.isNull() && !out.isMember(row.key)) out[row.key] = value;
  }
}

Json::Value SampleRequest(const RequestLayout& layout) {
  Json::Value request(Json::objectValue);
  for (const GroupNote& note : layout) AddRows(note.group, request);
  if (layout.countKey != nullptr) {
    request[layout.countKey] = 2;
    Json::Value record(Json::objectValue);
    AddRows(layout.recordFields, record);
    request["record_set"].append(record);
    request["record_set"].append(record);
  }
  return request;
}

Json::Value SampleAnswerValue(const AnswerField& field) {
  switch (field.kind) {
    case FieldKind::Text: case FieldKind::CountedText: case FieldKind::RestText: return "ab";
    case FieldKind::U64Text: return "123456";
    case FieldKind::Double: return 2.5;
    default: return 1;
  }
}

Json::Value SampleAnswer(const AnswerLayout& layout, int32_t errorNo) {
  Json::Value values(Json::objectValue);
  for (const AnswerField& field : layout.fields) values[field.key] = SampleAnswerValue(field);
  if (values.isMember("error_no")) values["error_no"] = errorNo;
  if (layout.records != nullptr) {
    Json::Value record(Json::objectValue);
    for (const AnswerField& field : layout.records->recordFields) {
      record[field.key] = SampleAnswerValue(field);
    }
    values[layout.records->listKey].append(record);
  }
  return values;
}

std::string Bytes(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// A funds answer whose texts need every kind of escape (control bytes,
// quotes, GBK, cut, overlong and surrogate UTF-8, four-byte characters) and
// whose reals print in every way (signed zero, exponents, the smallest
// denormal, NaN and infinity, whole numbers past 2^53).
Json::Value AwkwardFunds(const AnswerLayout& funds) {
  Json::Value values = SampleAnswer(funds, 0);
  values["user_name"] = std::string("\x01\"\\\b\f\n\r\t\x1f\x7f/", 11);
  values["error_info"] =
      "\xD6\xD0\xCE\xC4 \xE4\xB8\xAD \xF0\x9F\x98\x80 \xED\xA0\x80 \xC0\x80 \xF8\x80 \xE4";
  const double reals[] = {-0.0, 1e300, 5e-324, 0.1, 100, std::nan(""), -HUGE_VAL,
                          123456789012345678.0, 1e21, 1e-7, 2.5, 1.0 / 3};
  size_t next = 0;
  for (const AnswerField& field : funds.fields) {
    if (field.kind == FieldKind::Double) values[field.key] = reals[next++ % std::size(reals)];
  }
  Json::Value& record = values[funds.records->listKey][0];
  record["fund_account"] = "\xB9\xC9\xC6\xB1";
  record["enable_balance"] = 3.0e16;
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const fs::path dir = argv[1];
  const fs::path corpus = dir / "corpus";
  std::set<std::string> keys;

  // Intake: byte 0 is the function's place among the sorted names.
  size_t index = 0;
  for (const auto& [name, funcId] : Functions()) {
    const Json::Value request = SampleRequest(*FindRequestLayout(funcId));
    for (const std::string& key : request.getMemberNames()) keys.insert(key);
    std::string rest = request.empty() ? "\"x\":0}" : Compact(request).substr(1);
    Write(corpus / "intake" / name, std::string(1, static_cast<char>(index)) + rest);
    ++index;
  }
  // Layouts whose groups depend on a value: one seed per branch.
  index = 0;
  for (const auto& [name, funcId] : Functions()) {
    const RequestLayout& layout = *FindRequestLayout(funcId);
    if (layout.custom != nullptr) {
      for (int choice : {48, 49, 50, 51}) {
        Json::Value request = SampleRequest(layout);
        for (const char* key : {"op_type", "business_type"}) {
          if (request.isMember(key)) request[key] = choice;
        }
        if (request.isMember("price_type")) request["price_type"] = "AP";
        if (request.isMember("basket_type")) request["basket_type"] = "ALGORITHM";
        Write(corpus / "intake" / (name + "-" + std::to_string(choice)),
              std::string(1, static_cast<char>(index)) + Compact(request).substr(1));
      }
    }
    ++index;
  }
  Write(corpus / "intake" / "raw-logout", std::string(1, '\x3f') + "{\"func\":\"Logout\"}");
  Write(corpus / "intake" / "main-down", std::string(1, '\x40') + "\"x\":0}");

  // Answers and pushes: byte 0 is the layout's place, answers first.
  std::vector<const AnswerLayout*> layouts;
  size_t count = 0;
  const AnswerType* answers = AllAnswerTypes(count);
  for (size_t i = 0; i < count; ++i) {
    if (answers[i].layout != nullptr) layouts.push_back(answers[i].layout);
  }
  const size_t answerLayouts = layouts.size();
  const PushType* pushes = AllPushTypes(count);
  for (size_t i = 0; i < count; ++i) layouts.push_back(pushes[i].layout);
  std::vector<std::string> bodies;
  for (size_t i = 0; i < layouts.size(); ++i) {
    const std::string body = Bytes(EncodeAnswer(*layouts[i], SampleAnswer(*layouts[i], 0)));
    bodies.push_back(body);
    for (const char* target : {"answer", "answer_text"}) {
      Write(corpus / target / ("layout-" + std::to_string(i)),
            std::string(1, static_cast<char>(i)) + body);
    }
  }
  // Layout 2 is the funds answer; every byte 0xFF gives NaN reals, -1
  // integers and the largest unsigned ones.
  Write(corpus / "answer_text" / "awkward-values",
        std::string(1, '\2') + Bytes(EncodeAnswer(*layouts[2], AwkwardFunds(*layouts[2]))));
  for (size_t i = 0; i < layouts.size(); i += 13) {
    Write(corpus / "answer_text" / ("all-ones-" + std::to_string(i)),
          std::string(1, static_cast<char>(i)) + std::string(1200, '\xFF'));
  }
  Write(corpus / "answer" / "login-lost",
        std::string(1, '\0') + Bytes(EncodeAnswer(*layouts[0], SampleAnswer(*layouts[0], -999))));

  // Frame walks: an answer for each pending id, a heartbeat, a push, a
  // type nobody knows, and a cut in the middle.
  auto frame = [](uint32_t type, const std::string& body, uint64_t id) {
    return Bytes(BuildFrame(type, body.data(), static_cast<uint32_t>(body.size()), id, "T1"));
  };
  const std::string loginBody(kAnswerHeadSize, '\0');
  const std::string stream = frame(kLoginType, loginBody, 1) +
                             frame(answers[0].type, bodies[0], 2) + frame(kHeartbeatType, "", 0) +
                             frame(pushes[0].type, bodies[answerLayouts], 0) +
                             frame(999, "xyz", 3) + frame(kLogoutType, loginBody, 4);
  // byte 0: 4 pending (bits 1-3), byte 1: the cut.
  Write(corpus / "frame_walk" / "main", std::string("\x08\x80", 2) + stream);
  Write(corpus / "frame_walk" / "push", std::string("\x19\xff", 2) + stream);
  Write(corpus / "frame_walk" / "cut-header", std::string("\x08\x10", 2) + stream.substr(0, 60));

  // Configuration files.
  const std::string server =
      "<Server name=\"live\" address=\"192.0.2.10\" port=\"9000\" pushaddress=\"192.0.2.10\" "
      "pushport=\"9001\" real=\"1\"/>";
  Write(corpus / "config" / "readme",
        "<Tessel>\n  <TesselServer>\n    <VerifyServer/>\n    <LogLimit megabytes=\"64\"/>\n    " +
            server +
            "\n  </TesselServer>\n</Tessel>\n");
  Write(corpus / "config" / "variants",
        "<?xml version=\"1.0\"?><Tessel><TesselServer><VerifyServer enabled=\"false\"/>"
        "<LogLimit megabytes=\"1.5\"/>"
        "<Server name=\"a\" address=\"127.0.0.1\" port=\"0x2328\" real=\"false\"/>"
        "<Server name=\"b\" address=\"::1\" port=\"017\" pushaddress=\"h\" pushport=\"70000\"/>"
        "<Server port=\"1\"/></TesselServer></Tessel>");

  // Dictionary: the function names and every request key, as JSON strings.
  std::ofstream dict(dir / "intake.dict");
  dict << "# Function names and request keys, written by tessel_fuzz_seeds.\n";
  for (const auto& [name, funcId] : Functions()) dict << "\"\\\"" << name << "\\\"\"\n";
  for (const std::string& key : keys) dict << "\"\\\"" << key << "\\\":\"\n";
  dict << "\"\\\"ALGORITHM\\\"\"\n\"\\\"AP\\\"\"\n\"48\"\n\"49\"\n\"50\"\n\"51\"\n";
  dict << "\"record_set\"\n\"\\\"record_set\\\":[{\"\n\"}]\"\n";
  return 0;
}
