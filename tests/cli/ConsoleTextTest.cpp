#include <gtest/gtest.h>

#include <string>

#include "cli/output/Console.h"

namespace {

TEST(Utf8WholePrefix, NeverEndsInsideACharacter) {
  const std::string word = "Ошибка";  // two bytes a letter
  const std::string euro = "\xE2\x82\xAC";
  const std::string clef = "\xF0\x9D\x84\x9E";
  struct Case {
    std::string bytes;
    size_t whole;
  };
  const Case cases[] = {
      {"", 0},
      {"COM1", 4},
      {word, word.size()},
      {word.substr(0, 3), 2},  // "О" and the lead byte of "ш"
      {"a" + euro.substr(0, 1), 1},
      {"a" + euro.substr(0, 2), 1},
      {"a" + euro, 4},
      {"a" + clef.substr(0, 3), 1},
      {"a" + clef, 5},
      // Broken text is passed on for the converter to mark, not held back.
      {"a\x80\x80\x80\x80", 5},
      {"a\xFF", 2},
      {"\xC3", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Utf8WholePrefix(c.bytes), c.whole) << testing::PrintToString(c.bytes);
}

TEST(Utf8WholePrefix, PiecesOfAnyLengthRebuildTheText) {
  // Hands text over in pieces the way a full buffer does: whole characters
  // go, the cut-off rest waits for the next piece.
  const std::string text = "Время, дата: 16.07.22 \xE2\x82\xAC \xF0\x9D\x84\x9E конец";
  for (size_t piece = 1; piece <= 7; ++piece) {
    std::string pending, out;
    for (size_t i = 0; i < text.size(); i += piece) {
      pending += text.substr(i, piece);
      const size_t whole = Utf8WholePrefix(pending);
      out += pending.substr(0, whole);
      pending.erase(0, whole);
      EXPECT_LT(pending.size(), 4u);
    }
    EXPECT_EQ(out + pending, text);
    EXPECT_TRUE(pending.empty()) << piece;
  }
}

}  // namespace
