// What the message reference says beside the tables: a purpose and an
// example for every function, a purpose for every push, a meaning for every
// key and the values of every code key, as the simulated server takes and
// sends them. The tables say where a field lies; this says what it is for.
// tessel-msgdoc renders both; the reference test runs the examples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tessel::reference {

// A run of rows in one of the tables below.
template <typename Row>
struct Rows {
  const Row* rows = nullptr;
  size_t count = 0;
  constexpr const Row* begin() const { return rows; }
  constexpr const Row* end() const { return rows + count; }
  constexpr bool empty() const { return count == 0; }
};

template <typename Row, size_t N>
constexpr Rows<Row> RowsOf(const Row (&rows)[N]) {
  return {rows, N};
}

// One value of a code key: a byte, sent and reported as its number, or a
// word for the keys whose codes are texts.
struct CodeValue {
  int byte;            // kAnyByte: whatever byte is sent; the meaning says what becomes of it
  const char* word;    // null: the code is `byte`
  const char* meaning;
};
inline constexpr int kAnyByte = 0x100;

enum class Direction : uint8_t {
  Either,
  Sent,      // request keys
  Received,  // answer, push and report keys
};

// The meaning of a key. A note naming a message (a "func" name, a push's
// name or a report's name) applies there alone and wins over one that does
// not; a note naming a direction wins over one that does not.
struct KeyNote {
  const char* key;
  const char* meaning;
  Rows<CodeValue> values;  // empty unless the key carries a code
  const char* message = nullptr;
  Direction direction = Direction::Either;
};

// A JSON object the client builds itself rather than from a table: the
// login and logout reports and the link report.
struct ReportNote {
  const char* name;
  const char* purpose;
  Rows<const char*> keys;
};

struct FunctionNote {
  const char* func;
  const char* purpose;
  // One request line that works against a fresh simulator when the examples
  // run in the order of FunctionNotes(); "{{last.KEY}}" stands for KEY of
  // the answer to the example before it, as the host tool fills it.
  const char* example;
  const char* comment = nullptr;        // what the example relies on or brings about
  const ReportNote* report = nullptr;   // the answer, when no table describes it
  int32_t expectedErrorNo = 0;          // the "error_no" the example's answer carries
};

struct PushNote {
  uint32_t type;
  const char* purpose;
};

// The functions in the order their examples run: a trading session.
Rows<FunctionNote> FunctionNotes();
const FunctionNote* FindFunctionNote(const char* func);

const PushNote* FindPushNote(uint32_t type);

Rows<KeyNote> KeyNotes();
// The narrowest note for `key` in `message` going `direction`; null if none.
const KeyNote* FindKeyNote(const char* key, const char* message, Direction direction);

// The "error_no" values besides 0 the simulator may answer `func` with, in
// ascending order; nothing for a function without such a note.
std::optional<std::vector<int32_t>> SimulatorErrors(const char* func);

// Reports described outside any function: the link report.
Rows<const ReportNote*> StandaloneReports();

// Markdown paragraphs: what the reference opens with, how paging works,
// what pushes are and what the example session is.
const char* Introduction();
const char* Paging();
const char* PushIntroduction();
const char* ExampleSession();

}  // namespace tessel::reference
