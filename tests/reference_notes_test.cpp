// The reference's notes against the tables: every key of every request,
// answer, push and report has a meaning, every code key its values, every
// function one example and every push a purpose; and no note is left that
// nothing uses, so a renamed key cannot keep a stale meaning.
#include <gtest/gtest.h>
#include <json/reader.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "messages/inbound/answer_layouts.h"
#include "messages/outbound/request_layout.h"
#include "messages/reference_notes.h"
#include "plugin/function_table.h"

namespace tessel {
namespace {

using reference::Direction;
using reference::KeyNote;

// One place a key appears: in which message, which way, and whether it
// carries a code.
struct KeyUse {
  std::string key;
  std::string message;
  Direction direction;
  bool code;
};

void AddRows(std::vector<KeyUse>& uses, FieldGroup group, const char* message) {
  for (const RequestField& row : group) {
    if (row.rule == Rule::Reserved) continue;
    const bool code = row.width == 1 && (row.rule == Rule::Int || row.rule == Rule::OptionalInt);
    uses.push_back({row.key, message, Direction::Sent, code});
  }
}

void AddFields(std::vector<KeyUse>& uses, FieldList fields, const char* message) {
  for (const AnswerField& field : fields) {
    const bool code = field.kind == FieldKind::Code || field.kind == FieldKind::MarketCode ||
                      field.kind == FieldKind::BsFlag;
    uses.push_back({field.key, message, Direction::Received, code});
  }
}

void AddAnswer(std::vector<KeyUse>& uses, const AnswerLayout& layout, const char* message) {
  if (layout.pushType != 0) uses.push_back({"push_type", message, Direction::Received, false});
  AddFields(uses, layout.fields, message);
  if (layout.records == nullptr) return;
  const RecordBlock& block = *layout.records;
  AddFields(uses, block.recordFields, message);
  for (const char* key : {block.listKey, block.countKey, block.sizeKey}) {
    if (key != nullptr) uses.push_back({key, message, Direction::Received, false});
  }
}

void AddReport(std::vector<KeyUse>& uses, const reference::ReportNote& report) {
  for (const char* key : report.keys) {
    uses.push_back({key, report.name, Direction::Received, false});
  }
}

std::vector<KeyUse> AllKeyUses() {
  std::vector<KeyUse> uses;
  size_t count = 0;
  const RequestLayout* const* requests = AllRequestLayouts(count);
  for (size_t i = 0; i < count; ++i) {
    for (const GroupNote& note : *requests[i]) AddRows(uses, note.group, requests[i]->name);
    AddRows(uses, requests[i]->recordFields, requests[i]->name);
  }
  const AnswerType* answers = AllAnswerTypes(count);
  for (size_t i = 0; i < count; ++i) {
    AddAnswer(uses, *answers[i].layout, FindRequestLayout(answers[i].type)->name);
  }
  const PushType* pushes = AllPushTypes(count);
  for (size_t i = 0; i < count; ++i) AddAnswer(uses, *pushes[i].layout, pushes[i].name);
  for (const reference::FunctionNote& note : reference::FunctionNotes()) {
    if (note.report != nullptr) AddReport(uses, *note.report);
  }
  for (const reference::ReportNote* report : reference::StandaloneReports()) {
    AddReport(uses, *report);
  }
  return uses;
}

std::string Where(const KeyUse& use) {
  return "\"" + use.key + "\" " + (use.direction == Direction::Sent ? "sent" : "received") +
         " in " + use.message;
}

TEST(ReferenceNotes, EveryKeyHasAMeaningAndEveryCodeItsValues) {
  std::vector<std::string> missing;
  std::vector<std::string> withoutValues;
  for (const KeyUse& use : AllKeyUses()) {
    const KeyNote* note =
        reference::FindKeyNote(use.key.c_str(), use.message.c_str(), use.direction);
    if (note == nullptr || *note->meaning == '\0') {
      missing.push_back(Where(use));
    } else if (use.code && note->values.empty()) {
      withoutValues.push_back(Where(use));
    }
  }
  EXPECT_EQ(missing, std::vector<std::string>{});
  EXPECT_EQ(withoutValues, std::vector<std::string>{});
}

TEST(ReferenceNotes, EveryNoteIsUsedAndNoneIsAmbiguous) {
  std::set<const KeyNote*> used;
  for (const KeyUse& use : AllKeyUses()) {
    used.insert(reference::FindKeyNote(use.key.c_str(), use.message.c_str(), use.direction));
  }
  std::vector<std::string> unused;
  std::map<std::tuple<std::string, std::string, Direction>, int> scopes;
  for (const KeyNote& note : reference::KeyNotes()) {
    const std::string message = note.message != nullptr ? note.message : "";
    if (used.count(&note) == 0) unused.push_back("\"" + std::string(note.key) + "\" " + message);
    ++scopes[{note.key, message, note.direction}];
  }
  EXPECT_EQ(unused, std::vector<std::string>{});
  for (const auto& [scope, notes] : scopes) {
    EXPECT_EQ(notes, 1) << "\"" << std::get<0>(scope) << "\" " << std::get<1>(scope);
  }
}

TEST(ReferenceNotes, EveryFunctionHasOneExampleOfItself) {
  std::map<std::string, int> examples;
  const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  for (const reference::FunctionNote& note : reference::FunctionNotes()) {
    ++examples[note.func];
    EXPECT_NE(*note.purpose, '\0') << note.func;
    const std::string text = note.example;
    Json::Value request;
    std::string errors;
    ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &request, &errors))
        << note.func << ": " << errors;
    EXPECT_EQ(request["func"].asString(), note.func);
  }
  std::map<std::string, int> functions;
  for (const auto& entry : Functions()) functions[entry.first] = 1;
  EXPECT_EQ(examples, functions);
}

TEST(ReferenceNotes, EveryPushHasAPurpose) {
  size_t count = 0;
  const PushType* pushes = AllPushTypes(count);
  for (size_t i = 0; i < count; ++i) {
    const reference::PushNote* note = reference::FindPushNote(pushes[i].type);
    ASSERT_NE(note, nullptr) << pushes[i].type;
    EXPECT_NE(*note->purpose, '\0') << pushes[i].type;
  }
}

}  // namespace
}  // namespace tessel
