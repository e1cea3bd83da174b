#include "HelpText.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr size_t kWidth = 80;
constexpr size_t kWidestLeftColumn = 22;

bool Shown(const CLI::Option* o) {
  return !o->get_group().empty();
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
  const std::string start = "usage: calibrate-cli " + usageName;
  const std::string indent(start.size() + 1, ' ');
  std::string text = start, line = start;
  for (const std::string& item : items) {
    if (line.size() + 1 + item.size() > kWidth && line != start) {
      text += "\n" + indent + item;
      line = indent + item;
    } else {
      text += " " + item;
      line += " " + item;
    }
  }
  return text + "\n";
}

std::string OptionList(const Declaration& d) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const CLI::Option* o : d.App().get_options())
    if (Shown(o) && !o->get_description().empty())
      rows.push_back({Synopsis(o), o->get_description()});
  size_t left = 0;
  for (const auto& row : rows)
    left = std::max(left, std::min(row.first.size(), kWidestLeftColumn));
  const std::string indent(2 + left + 2, ' ');
  std::string text;
  for (const auto& [synopsis, description] : rows) {
    text += "  " + synopsis;
    if (synopsis.size() > left)
      text += "\n" + indent;
    else
      text += std::string(left - synopsis.size() + 2, ' ');
    // The description's words, wrapped to the width.
    std::istringstream words(description);
    std::string word;
    size_t column = indent.size();
    for (bool first = true; words >> word; first = false) {
      if (!first && column + 1 + word.size() > kWidth) {
        text += "\n" + indent;
        column = indent.size();
      } else if (!first) {
        text += " ";
        ++column;
      }
      text += word;
      column += word.size();
    }
    text += "\n";
  }
  return text;
}

}  // namespace

std::string CommandHelp(const std::string& usageName, const Declaration& d,
                        const std::string& description, const std::string& statuses) {
  std::string text = UsageLine(usageName, d) + "\n" + description;
  const std::string options = OptionList(d);
  if (!options.empty()) text += "\n" + options;
  if (!statuses.empty()) text += "\n" + statuses;
  return text;
}

std::string OverviewHelp(const std::vector<std::pair<std::string, std::string>>& commands) {
  std::string text = "usage: calibrate-cli <command> [options]\n\nCommands:\n";
  for (const auto& [name, summary] : commands)
    text +=
        "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') + summary + "\n";
  return text +
         "\n"
         "calibrate-cli <command> --help shows the options of a command;\n"
         "calibrate-cli --version shows the version.\n";
}
