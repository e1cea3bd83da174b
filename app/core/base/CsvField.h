// One field of a comma-separated file, as spreadsheets read it back: quoted
// when it holds a separator, a quote or a line break, a quote doubled.
#pragma once

#include <string>

inline std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text)
    q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}
