// Record layouts as tables. Each row names the record member one wire field
// fills (the member's type picks the reader) and whether the field is
// required or part of the optional run that may close a record. One routine
// reads every layout, so each table can be checked row by row against the
// wire format, and no record parser repeats the required/optional logic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <variant>

#include "codec/wexel_lz77_parser.h"
#include "wexel/wexel_records.h"

namespace wexel {

// Rows that fill no member.
struct WRecordEnd {};    // readRecordEnd
struct WRecordRest {};   // skipRecord: whatever follows, up to and including the end nibble
struct WUnusedSmall {};  // readSmall, the value is not kept
struct WUnusedInt32 {};  // readInt32, the value is not kept

// readSmall into an int32 member (a plain int32 member is read with readInt32).
template <typename Record>
struct WSmallInto {
  int32_t Record::*member;
};

enum class WPresence : uint8_t {
  // A failed read fails the record and leaves its location as the parse-error text.
  kRequired,
  // A failed read ends the optional run quietly: this field and every later
  // optional one keep the value they had (the record starts zeroed).
  kOptional,
  // As kOptional, but a failed read still leaves its location as the
  // parse-error text.
  kOptionalReported,
  // A field some servers leave out: a failed read keeps the member's value
  // and the next field is read where this one would have been, without
  // ending the optional run.
  kTolerant,
};

template <typename Record>
struct WField {
  using Target = std::variant<WRecordEnd, WRecordRest, WUnusedSmall, WUnusedInt32, WSmallInto<Record>,
                              int32_t Record::*, int64_t Record::*, double Record::*, PackedTime Record::*,
                              char (Record::*)[2], char (Record::*)[34], char (Record::*)[40], char (Record::*)[64],
                              char (Record::*)[256], char (Record::*)[2048]>;

  // Implicit, so that a table row reads {&WQuote::bid} or {&WQuote::extra31, kOptional}.
  template <typename T>
  constexpr WField(T to, WPresence how = WPresence::kRequired) : target(to), presence(how) {}

  Target target;
  WPresence presence;
};

// The outcome of reading one layout: the nibbles consumed (> 0), 0 when the
// data ended inside the record, -1 on a wrong marker in a required field; and
// on failure the location of that field.
struct WLayoutRead {
  int nibbles;
  int location;
  bool ok() const { return nibbles > 0; }
};

template <typename... Visitors>
struct WOverloaded : Visitors... {
  using Visitors::operator()...;
};
template <typename... Visitors>
WOverloaded(Visitors...) -> WOverloaded<Visitors...>;

// One field with the reader its target implies; the reader's answer. The
// less common targets, out of line: a visit's indirect call.
template <typename Record>
[[gnu::noinline]] int readOtherField(const WLZ77Parser& parser, WNibbleCursor& cursor, Record& record,
                                     const typename WField<Record>::Target& target) {
  return std::visit(
      WOverloaded{
          [&](WRecordEnd) { return parser.readRecordEnd(cursor); },
          [&](WRecordRest) { return parser.skipRecord(cursor); },
          [&](WUnusedSmall) {
            int32_t unused = 0;
            return parser.readSmall(cursor, unused);
          },
          [&](WUnusedInt32) {
            int32_t unused = 0;
            return parser.readInt32(cursor, unused);
          },
          [&](WSmallInto<Record> small) { return parser.readSmall(cursor, record.*small.member); },
          [&](int32_t Record::*member) { return parser.readInt32(cursor, record.*member); },
          [&](int64_t Record::*member) { return parser.readInt64(cursor, record.*member); },
          [&](double Record::*member) { return parser.readDouble(cursor, record.*member); },
          [&](PackedTime Record::*member) { return parser.readDateTime(cursor, record.*member); },
          [&]<size_t Capacity>(char (Record::*member)[Capacity]) {
            return parser.readString(cursor, record.*member, static_cast<int>(Capacity));
          },
      },
      target);
}

// Numbers and times, nearly every field of the feeds, are read inline, and
// record numbers and ends are called directly: a test of the variant's index
// is cheaper than a visit. With the readers inline, g++ at -O3 warns of reads
// through member pointers a record without such members can never hold (those
// branches are dead).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
template <typename Record>
[[gnu::always_inline]] inline int readField(const WLZ77Parser& parser, WNibbleCursor& cursor, Record& record,
                                            const typename WField<Record>::Target& target) {
  if (const auto* member = std::get_if<double Record::*>(&target)) return parser.readDouble(cursor, record.**member);
  if (const auto* member = std::get_if<PackedTime Record::*>(&target)) {
    return parser.readDateTime(cursor, record.**member);
  }
  // A record's number and end: every record of a feed starts so.
  if (const auto* member = std::get_if<int32_t Record::*>(&target)) return parser.readInt32(cursor, record.**member);
  if (std::holds_alternative<WRecordEnd>(target)) return parser.readRecordEnd(cursor);
  return readOtherField(parser, cursor, record, target);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Reads one record of `layout` into `record`. Required fields go through
// recordParseError; the optional run ends at its first field that does not
// read, and the rows after it that are required (the rest of the record)
// are still read. The cursor advances only when the whole layout reads.
//
// Row i of a layout is named "Parse error: <source>, line <firstLocation + i>"
// in parse-error texts: each module gives its layouts their own ranges, so
// every field read has its own number.
template <typename Record, size_t N>
WLayoutRead readLayout(WLZ77Parser& parser, WNibbleCursor& cursor, Record& record,
                       const WField<Record> (&layout)[N], const char* source, int firstLocation) {
  WNibbleCursor probe = cursor;
  bool optionalRunOver = false;
  for (size_t i = 0; i < N; ++i) {
    const WField<Record>& field = layout[i];
    if (optionalRunOver && field.presence != WPresence::kRequired) continue;
    const int location = firstLocation + static_cast<int>(i);
    const int result = readField(parser, probe, record, field.target);
    if (field.presence == WPresence::kRequired || field.presence == WPresence::kOptionalReported) {
      parser.recordParseError(result, source, location);
    }
    if (result > 0 || field.presence == WPresence::kTolerant) continue;
    if (field.presence == WPresence::kRequired) return {result, location};
    optionalRunOver = true;
  }
  const int consumed = cursor.nibbles - probe.nibbles;
  cursor = probe;
  return {consumed, 0};
}

// The verdict on a record that did not read: 0 (wait for more bytes) when
// the data ended inside it and `needMore` says so, else -1001, with the
// location of the field where it stopped left as the parse-error text, also
// when the record ran past the 1,024-byte limit without a wrong marker.
inline int rejectRecord(WexelParser& parser, const WLayoutRead& read, const char* source, int needMore) {
  const int verdict = read.nibbles == 0 ? needMore : kErrorMalformed;
  return parser.recordParseError(verdict, source, read.location);
}

// needMore for parsers that are not feed parsers: 0 below the limit, -1001 from it on.
inline int needMoreBytes(int size) { return size < WLZ77Parser::kIncompleteLimit ? 0 : kErrorMalformed; }

}  // namespace wexel
