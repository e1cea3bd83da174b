#include "BenchRuns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace {

// The columns of a runs file in their order; the Sample layout has no
// "indicated".
enum Column { Channel, Nominal, Reference, Indicated, Duration, Uncertainty };
const char* const kColumnNames[] = {"канал",     "номинальный расход", "эталон",
                                    "показание", "длительность",       "неопределённость"};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::vector<std::string_view> SplitCells(std::string_view line, char sep) {
  std::vector<std::string_view> cells;
  for (size_t start = 0;;) {
    const size_t end = line.find(sep, start);
    cells.push_back(Trim(line.substr(start, end == std::string_view::npos ? end : end - start)));
    if (end == std::string_view::npos) return cells;
    start = end + 1;
  }
}

// A number of a cell; a decimal comma is taken when ';' separates the cells.
std::optional<double> ParseNumber(std::string_view cell) {
  if (cell.empty() || cell.size() > 32) return std::nullopt;
  std::string text(cell);
  std::replace(text.begin(), text.end(), ',', '.');
  if (text.front() == '+') text.erase(0, 1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string Where(size_t line, Column column) {
  return "строка " + std::to_string(line) + ", столбец «" + kColumnNames[column] + "»";
}

// Fills one run from the cells of a line; the message on a fault.
std::string ParseRun(const std::vector<std::string_view>& cells, RunsLayout layout, size_t line,
                     BenchRun& run) {
  std::vector<Column> columns = {Channel, Nominal, Reference, Indicated, Duration, Uncertainty};
  if (layout == RunsLayout::Sample) columns.erase(columns.begin() + Indicated);
  const size_t required = columns.size() - 1;
  if (cells.size() < required || cells.size() > columns.size()) {
    return "строка " + std::to_string(line) + ": " + std::to_string(cells.size()) +
           " столбцов, ожидается " + std::to_string(required) + " или " +
           std::to_string(columns.size());
  }
  run.line = line;
  for (size_t i = 0; i < cells.size(); ++i) {
    const Column column = columns[i];
    if (column == Uncertainty && cells[i].empty()) continue;
    const auto value = ParseNumber(cells[i]);
    if (!value)
      return Where(line, column) + ": не число «" + std::string(cells[i].substr(0, 32)) + "»";
    const bool zeroAllowed = column == Uncertainty;
    if (column == Channel) {
      if (*value != 1 && *value != 2) return Where(line, column) + ": канал 1 или 2";
      run.channel = static_cast<uint8_t>(*value);
    } else if (*value < 0 || (*value == 0 && !zeroAllowed)) {
      return Where(line, column) +
             (zeroAllowed ? ": не может быть меньше нуля" : ": должно быть больше нуля");
    }
    switch (column) {
      case Nominal:
        run.nominalFlow = *value;
        break;
      case Reference:
        run.reference = *value;
        break;
      case Indicated:
        run.indicated = *value;
        break;
      case Duration:
        run.durationS = *value;
        break;
      case Uncertainty:
        run.uncertainty = *value;
        break;
      case Channel:
        break;
    }
  }
  return {};
}

double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values)
    sum += v;
  return sum / static_cast<double>(values.size());
}

PointResult EvaluatePoint(double flow, const std::vector<const BenchRun*>& runs,
                          const BenchProfile& profile) {
  PointResult point;
  point.flow = flow;
  point.runs = runs.size();
  std::vector<double> factors;
  for (const BenchRun* run : runs) {
    factors.push_back(run->reference / run->indicated);
    point.uncertaintyPercent = std::max(point.uncertaintyPercent, run->uncertainty.value_or(0));
  }
  point.mf = Mean(factors);
  point.errorPercent = (1 / point.mf - 1) * 100;
  if (runs.size() > 1) {
    const auto [lo, hi] = std::minmax_element(factors.begin(), factors.end());
    point.repeatabilityPercent = (*hi - *lo) / point.mf * 100;
    point.repeatabilityOk = *point.repeatabilityPercent <= profile.repeatabilityLimit;
    if (!point.repeatabilityOk) point.notes.push_back("повторяемость вне допуска");
  } else {
    point.notes.push_back("один прогон: повторяемость не оценена");
  }
  point.limitPercent = LimitAt(profile, flow);
  if (!point.limitPercent) {
    point.notes.push_back("расход вне диапазона профиля: предел не задан");
    return point;
  }
  // The bench should be within a fifth of the MPE; beyond that its
  // uncertainty narrows the acceptance limit (ILAC G8 guard band).
  const double mpe = *point.limitPercent;
  point.guardBandNeeded = point.uncertaintyPercent > mpe / 5;
  point.acceptancePercent = point.guardBandNeeded ? mpe - point.uncertaintyPercent : mpe;
  if (point.guardBandNeeded) point.notes.push_back("неопределённость стенда больше 1/5 МПП");
  const bool errorOk = std::fabs(point.errorPercent) <= *point.acceptancePercent;
  if (!errorOk) point.notes.push_back("погрешность вне допуска");
  point.pass = errorOk && (runs.size() == 1 || point.repeatabilityOk);
  return point;
}

}  // namespace

RunsParse ParseRuns(std::string_view text, RunsLayout layout) {
  RunsParse out;
  if (text.size() > kMaxRunsText) {
    out.error = "файл прогонов больше " + std::to_string(kMaxRunsText / 1024) + " КБ";
    return out;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a spreadsheet's BOM
  bool header = false;
  char sep = ',';
  size_t lineNo = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNo;
    if (line.empty() || line.front() == '#') continue;
    if (!header) {  // the header names the columns; its separator is the file's
      header = true;
      sep = line.find(';') != std::string_view::npos ? ';' : ',';
      continue;
    }
    if (out.runs.size() == kMaxRuns) {
      out.error = "больше " + std::to_string(kMaxRuns) + " прогонок";
      return out;
    }
    BenchRun run;
    out.error = ParseRun(SplitCells(line, sep), layout, lineNo, run);
    if (!out.Ok()) return out;
    out.runs.push_back(run);
  }
  if (out.runs.empty()) out.error = "в файле прогонов нет ни одного прогона";
  return out;
}

std::optional<double> LimitAt(const BenchProfile& profile, double q) {
  // A flow at a band's edge belongs to the band above, also when the edge was
  // computed (Q2 = 1.6·Q3/R) and lies a rounding off the figure typed.
  constexpr double kEdge = 1 - 1e-9;
  for (const LimitBand& band : profile.bands) {
    if (q < band.from * kEdge || q >= band.to * kEdge) continue;
    if (band.b == 0 || q <= 0) return band.mpe;
    const double mpe = band.mpe + band.b * profile.qp / q;
    return band.cap > 0 ? std::min(mpe, band.cap) : mpe;
  }
  return std::nullopt;
}

BenchResult EvaluateRuns(std::span<const BenchRun> runs, const BenchProfile& profile) {
  BenchResult result;
  result.profileId = profile.id;
  result.profileName = profile.name;
  std::map<uint8_t, std::map<double, std::vector<const BenchRun*>>> points;
  for (const BenchRun& run : runs) {
    if (run.indicated > 0 && run.reference > 0) {
      points[run.channel][run.nominalFlow].push_back(&run);
    }
  }
  result.pass = !points.empty();
  for (const auto& [channel, flows] : points) {
    ChannelResult ch;
    ch.channel = channel;
    ch.pass = true;
    for (const auto& [flow, pointRuns] : flows) {
      ch.points.push_back(EvaluatePoint(flow, pointRuns, profile));
      ch.pass = ch.pass && ch.points.back().pass;
    }
    result.pass = result.pass && ch.pass;
    result.channels.push_back(std::move(ch));
  }
  return result;
}
