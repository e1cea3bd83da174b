// One line of a journal file: a JSON object on one line, its fields in a fixed
// order and without spaces, whose last two fields chain it to the file:
//
//   {"format":1,"kind":"read",...,"payload":{...},"prev":"<64 hex>","hash":"<64 hex>"}
//
// "hash" is the SHA-256 of the line's own text with its hash field taken out,
// i.e. of  {"format":1,...,"prev":"<64 hex>"}  (so an edit of any line, the
// last one too, shows at that line), and "prev" is the "hash" of the line
// before it, so that a removed or reordered line shows at the line after the
// gap. The first line's "prev" is kJournalGenesis, the SHA-256 of the empty
// text. Lines that are not journal lines (cut short by a crash, garbage) are
// skipped by the chain: the next line's "prev" is the hash of the last valid
// line before it, which is how the writer continues after one. Appends end a
// cut line with the newline it lacks, so it never runs into the next event.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// SHA-256 of the empty text: the "prev" of a journal's first line.
inline constexpr std::string_view kJournalGenesis =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// An event's id: the first 16 hexadecimal digits of its line's hash, unique in
// practice within a journal (and across journals) and short enough to type.
inline std::string JournalEventId(std::string_view hash) {
  return std::string(hash.substr(0, 16));
}

// The text of a line (no newline) from an event's fields, in their order, and
// the hash of the line before. Empty when the digest cannot be computed.
// Text that is not valid UTF-8 is stored with U+FFFD in place of the bad bytes.
std::string MakeJournalLine(const nlohmann::ordered_json& fields, std::string_view prev);

struct ParsedJournalLine {
  bool valid = false;        // a JSON object ending in a hash field, with a "prev" hash
  std::string why;           // when not valid: what is wrong, in words
  nlohmann::json event;      // every field of the line, prev and hash included
  std::string prev;          // as stored
  std::string hash;          // as stored
  bool hashMatches = false;  // hash is the digest of the line's text
};

// Parses one line (without its newline). Never throws; a line of any content
// comes back as not valid with a reason.
ParsedJournalLine ParseJournalLine(std::string_view text);
