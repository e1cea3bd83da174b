// The classes of accuracy: the built-in ones of OIML R 49 / ISO 4064 (water
// meters), EN 1434 (heat meters' flow sensors) and MID MI-005 (meters of
// liquids other than water), and a department's own in profiles.ini.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

#include "BenchRuns.h"
#include "app/core/base/RegularFile.h"
#include "app/core/settings/SettingsPlace.h"

namespace {

constexpr double kOpen = std::numeric_limits<double>::infinity();
constexpr size_t kMaxBands = 32;

// The built-in ids; MI-005's accuracy classes are the limits themselves.
const char* const kR49[] = {"r49-1", "r49-2"};
const char* const kEn1434[] = {"en1434-2", "en1434-3"};
const char* const kMi005[] = {"mi005-0.3", "mi005-0.5", "mi005-1.0", "mi005-1.5", "mi005-2.5"};

bool Positive(const std::optional<double>& v) {
  return v && std::isfinite(*v) && *v > 0;
}

std::string Unneeded(const ProfileFlows& flows, bool r49, bool en1434) {
  if (!r49 && (flows.q1 || flows.q2 || flows.q3 || flows.ratio)) {
    return "--q1, --q2, --q3 и --ratio нужны только профилям R 49";
  }
  if (!en1434 && flows.qp) return "--qp нужен только профилям EN 1434";
  return {};
}

ProfileResult R49(const std::string& id, const ProfileFlows& flows) {
  ProfileResult out;
  const bool byQ1 = flows.q1 || flows.q2;
  const bool byQ3 = flows.q3 || flows.ratio;
  double q1 = 0, q2 = 0;
  if (byQ1 == byQ3) {
    out.error = "профилю " + id + " нужны либо --q1 и --q2, либо --q3 и --ratio";
    return out;
  }
  if (byQ1) {
    if (!Positive(flows.q1) || !Positive(flows.q2) || *flows.q2 <= *flows.q1) {
      out.error = "--q1 и --q2 должны быть больше нуля, Q2 больше Q1";
      return out;
    }
    q1 = *flows.q1;
    q2 = *flows.q2;
  } else {
    if (!Positive(flows.q3) || !Positive(flows.ratio) || *flows.ratio <= 1.6) {
      out.error = "--q3 должен быть больше нуля, --ratio (Q3/Q1) больше 1,6";
      return out;
    }
    q1 = *flows.q3 / *flows.ratio;
    q2 = 1.6 * q1;  // ISO 4064-1: Q2/Q1 = 1.6
  }
  const bool class1 = id == "r49-1";
  out.profile.name = class1 ? "OIML R 49, класс 1" : "OIML R 49, класс 2";
  out.profile.bands = {{q1, q2, class1 ? 3.0 : 5.0}, {q2, kOpen, class1 ? 1.0 : 2.0}};
  return out;
}

ProfileResult En1434(const std::string& id, const ProfileFlows& flows) {
  ProfileResult out;
  if (!Positive(flows.qp)) {
    out.error = "профилю " + id + " нужен --qp (постоянный расход) больше нуля";
    return out;
  }
  const bool class2 = id == "en1434-2";
  out.profile.name = class2 ? "EN 1434, класс 2" : "EN 1434, класс 3";
  out.profile.qp = *flows.qp;
  out.profile.bands = {{0, kOpen, class2 ? 2.0 : 3.0, class2 ? 0.02 : 0.05, 5.0}};
  return out;
}

std::optional<double> Number(std::string_view text) {
  std::string s(text.substr(0, 32));
  std::replace(s.begin(), s.end(), ',', '.');
  while (!s.empty() && s.back() == ' ')
    s.pop_back();
  while (!s.empty() && s.front() == ' ')
    s.erase(0, 1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return v;
}

// "0..2:5", "2..*:2": a band of flows and its limit.
std::optional<LimitBand> ParseBand(std::string_view value) {
  const size_t dots = value.find("..");
  const size_t colon = value.rfind(':');
  if (dots == std::string_view::npos || colon == std::string_view::npos || colon < dots) {
    return std::nullopt;
  }
  const auto from = Number(value.substr(0, dots));
  std::string_view toText = value.substr(dots + 2, colon - dots - 2);
  while (!toText.empty() && toText.front() == ' ')
    toText.remove_prefix(1);
  while (!toText.empty() && toText.back() == ' ')
    toText.remove_suffix(1);
  const auto to = toText == "*" ? std::optional<double>(kOpen) : Number(toText);
  const auto mpe = Number(value.substr(colon + 1));
  if (!from || !to || !mpe || *from < 0 || *to <= *from || *mpe <= 0) return std::nullopt;
  return LimitBand{*from, *to, *mpe};
}

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return std::string(s);
}

// One section into a profile; the message on a fault.
std::string ToProfile(const Section& section, BenchProfile& profile) {
  profile.id = profile.name = section.name;
  const std::string where = "profiles.ini, [" + section.name + "]";
  for (const auto& [key, value] : section.keys) {
    const std::string k = Lower(key);
    if (k == "name") {
      profile.name = value;
    } else if (k == "repeatability") {
      const auto r = Number(value);
      if (!r || *r <= 0) return where + " Repeatability: нужен процент больше нуля";
      profile.repeatabilityLimit = *r;
    } else if (k.starts_with("limit")) {
      const auto band = ParseBand(value);
      if (!band) return where + " " + key + ": ожидается «от..до:предел», например 0..2:5";
      if (profile.bands.size() == kMaxBands) return where + ": больше 32 полос";
      for (const LimitBand& b : profile.bands) {
        if (band->from < b.to && b.from < band->to)
          return where + " " + key + ": полосы перекрываются";
      }
      profile.bands.push_back(*band);
    } else {
      return where + ": неизвестный ключ " + key;
    }
  }
  if (profile.bands.empty()) return where + ": нет ни одной строки Limit";
  std::sort(profile.bands.begin(), profile.bands.end(),
            [](const LimitBand& a, const LimitBand& b) { return a.from < b.from; });
  return {};
}

std::vector<Section> Sections(std::string_view text, std::string& error) {
  std::vector<Section> sections;
  size_t lineNo = 0;
  while (!text.empty() && error.empty()) {
    const size_t end = text.find('\n');
    const std::string line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNo;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    const std::string at = "profiles.ini, строка " + std::to_string(lineNo);
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3)
        error = at + ": раздел без «]»";
      else
        sections.push_back({Trimmed(std::string_view(line).substr(1, line.size() - 2)), {}});
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
      error = at + ": ожидается «ключ=значение»";
    else if (sections.empty())
      error = at + ": ключ вне раздела";
    else {
      std::string value = Trimmed(std::string_view(line).substr(eq + 1));
      const size_t comment = value.find(';');  // "Limit1=0..2:5 ; ..." keeps its note out
      if (comment != std::string::npos) value = Trimmed(std::string_view(value).substr(0, comment));
      sections.back().keys.emplace_back(Trimmed(std::string_view(line).substr(0, eq)), value);
    }
  }
  return sections;
}

}  // namespace

std::vector<std::string> BuiltInProfileIds() {
  std::vector<std::string> ids(std::begin(kR49), std::end(kR49));
  ids.insert(ids.end(), std::begin(kEn1434), std::end(kEn1434));
  ids.insert(ids.end(), std::begin(kMi005), std::end(kMi005));
  return ids;
}

FlowsNeeded FlowsNeededBy(const std::string& id) {
  if (std::find(std::begin(kR49), std::end(kR49), id) != std::end(kR49)) return FlowsNeeded::R49;
  if (std::find(std::begin(kEn1434), std::end(kEn1434), id) != std::end(kEn1434))
    return FlowsNeeded::Qp;
  return FlowsNeeded::None;
}

// The name does not depend on the flows: any valid ones give it.
std::string BuiltInProfileName(const std::string& id) {
  ProfileFlows flows;
  if (FlowsNeededBy(id) == FlowsNeeded::R49) {
    flows.q1 = 1;
    flows.q2 = 2;
  }
  if (FlowsNeededBy(id) == FlowsNeeded::Qp) flows.qp = 1;
  return BuiltInProfile(id, flows).profile.name;
}

ProfileResult BuiltInProfile(const std::string& id, const ProfileFlows& flows) {
  ProfileResult out;
  const bool r49 = std::find(std::begin(kR49), std::end(kR49), id) != std::end(kR49);
  const bool en1434 = std::find(std::begin(kEn1434), std::end(kEn1434), id) != std::end(kEn1434);
  const bool mi005 = std::find(std::begin(kMi005), std::end(kMi005), id) != std::end(kMi005);
  if (!r49 && !en1434 && !mi005) {
    out.error = "неизвестный профиль " + id;
    return out;
  }
  out.error = Unneeded(flows, r49, en1434);
  if (!out.Ok()) return out;
  if (r49) out = R49(id, flows);
  if (en1434) out = En1434(id, flows);
  if (mi005) {
    const double limit = *Number(std::string_view(id).substr(6));
    out.profile.name = "MID MI-005, класс " + id.substr(6);
    out.profile.bands = {{0, kOpen, limit}};
  }
  out.profile.id = id;
  if (flows.repeatability) {
    if (!Positive(flows.repeatability))
      out.error = "--repeatability должна быть больше нуля";
    else
      out.profile.repeatabilityLimit = *flows.repeatability;
  }
  return out;
}

ProfilesParse ParseProfiles(std::string_view iniText) {
  ProfilesParse out;
  if (iniText.size() > kMaxRunsText) {
    out.error = "profiles.ini больше " + std::to_string(kMaxRunsText / 1024) + " КБ";
    return out;
  }
  if (iniText.starts_with("\xEF\xBB\xBF")) iniText.remove_prefix(3);
  for (const Section& section : Sections(iniText, out.error)) {
    if (!out.Ok()) break;
    BenchProfile profile;
    out.error = ToProfile(section, profile);
    out.profiles.push_back(std::move(profile));
  }
  if (!out.Ok()) out.profiles.clear();
  return out;
}

std::string ProfilesIniPath() {
  return (std::filesystem::path(FirmwareIniPath()).parent_path() / "profiles.ini").string();
}

ProfileResult FindProfile(const std::string& id, const ProfileFlows& flows,
                          const std::string& profilesIni) {
  const auto ids = BuiltInProfileIds();
  if (std::find(ids.begin(), ids.end(), id) != ids.end()) return BuiltInProfile(id, flows);
  ProfileResult out;
  std::string why;
  const auto text = ReadRegularFile(profilesIni, kMaxRunsText, why);
  if (!text) {
    out.error = "неизвестный профиль " + id + " (" + profilesIni + ": " + why + ")";
    return out;
  }
  const ProfilesParse parsed = ParseProfiles(*text);
  if (!parsed.Ok()) {
    out.error = parsed.error;
    return out;
  }
  for (const BenchProfile& profile : parsed.profiles) {
    if (Lower(profile.id) != Lower(id)) continue;
    out.profile = profile;
    out.error = Unneeded(flows, false, false);
    if (out.Ok() && flows.repeatability) out.profile.repeatabilityLimit = *flows.repeatability;
    return out;
  }
  out.error = "неизвестный профиль " + id + " (нет ни среди встроенных, ни в " + profilesIni + ")";
  return out;
}
