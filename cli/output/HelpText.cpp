#include "HelpText.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr size_t kWidth = 80;
constexpr size_t kWidestLeftColumn = 22;

bool Shown(const CLI::Option* o) {
  return !o->get_group().empty();
}

// Columns on the terminal: one per character, and a Cyrillic letter is two
// bytes of UTF-8 (every byte but a continuation byte starts a character).
size_t Columns(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The items filled into lines of kWidth columns: the first line goes on from
// column, the others start with indent spaces; an item is never split.
std::string Fill(const std::vector<std::string>& items, size_t column, size_t indent) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    const size_t width = Columns(items[i]);
    if (i > 0 && column + 1 + width > kWidth) {
      text += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (i > 0) {
      text += " ";
      ++column;
    }
    text += items[i];
    column += width;
  }
  return text;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

// Each line of text is a paragraph, filled to the width.
std::string Paragraphs(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  for (std::string line; std::getline(in, line);)
    out += Fill(Words(line), 0, 0) + "\n";
  return out;
}

// "--port COMn|PATH", "--k I=X ...", "--json", "FILE".
std::string Synopsis(const CLI::Option* o) {
  if (o->get_positional()) return o->get_name();
  std::string text = o->get_name();
  if (o->get_items_expected_max() > 0 && !o->get_type_name().empty())
    text += " " + o->get_type_name();
  // A list given as one comma-separated value shows that in its type name.
  if (o->get_items_expected_max() > 1 && o->get_delimiter() == '\0') text += " ...";
  return text;
}

std::string UsageLine(const std::string& usageName, const Declaration& d) {
  std::vector<std::string> items;
  std::vector<const CLI::Option*> done;
  for (const CLI::Option* o : d.App().get_options()) {
    if (!Shown(o) || std::find(done.begin(), done.end(), o) != done.end()) continue;
    std::string item = Synopsis(o);
    if (const CLI::Option* other = d.AlternativeOf(o)) {
      item += " | " + Synopsis(other);
      done.push_back(other);
    }
    items.push_back(d.IsMandatory(o) ? item : "[" + item + "]");
  }
  const std::string start = "Использование: calibrate-cli " + usageName;
  return start + (items.empty() ? "" : " " + Fill(items, Columns(start) + 1, Columns(start) + 1)) +
         "\n";
}

std::string OptionList(const Declaration& d) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const CLI::Option* o : d.App().get_options())
    if (Shown(o) && !o->get_description().empty())
      rows.push_back({Synopsis(o), o->get_description()});
  size_t left = 0;
  for (const auto& row : rows)
    left = std::max(left, std::min(Columns(row.first), kWidestLeftColumn));
  const size_t indent = 2 + left + 2;
  std::string text;
  for (const auto& [synopsis, description] : rows) {
    text += "  " + synopsis;
    const size_t width = Columns(synopsis);
    if (width > left)
      text += "\n" + std::string(indent, ' ');
    else
      text += std::string(left - width + 2, ' ');
    text += Fill(Words(description), indent, indent) + "\n";
  }
  return text;
}

}  // namespace

std::string CommandHelp(const std::string& usageName, const Declaration& d,
                        const std::string& description, const std::string& statuses) {
  std::string text = UsageLine(usageName, d) + "\n" + Paragraphs(description);
  const std::string options = OptionList(d);
  if (!options.empty()) text += "\nПараметры:\n" + options;
  if (!statuses.empty()) text += "\n" + Paragraphs(statuses);
  return text;
}

std::string OverviewHelp(const std::vector<std::pair<std::string, std::string>>& commands) {
  constexpr size_t kNameColumn = 12;
  std::string text = "Использование: calibrate-cli <команда> [параметры]\n\nКоманды:\n";
  for (const auto& [name, summary] : commands) {
    const std::string head = "  " + name;
    const size_t pad = Columns(head) < kNameColumn ? kNameColumn - Columns(head) : 1;
    text += head + std::string(pad, ' ') + Fill(Words(summary), Columns(head) + pad, kNameColumn) +
            "\n";
  }
  return text +
         "\n"
         "calibrate-cli <команда> --help: параметры команды и её коды завершения;\n"
         "calibrate-cli --version: версия программы.\n";
}
