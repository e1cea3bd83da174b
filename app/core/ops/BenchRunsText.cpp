// The bench result at the edge: JSON for scripts and the sidecar, a Russian
// table for the console.
#include <cstdio>

#include "BenchRuns.h"
#include "app/core/values/MeterReadingJson.h"

namespace {

Json Optional(const std::optional<double>& v) {
  return v ? Json(*v) : Json(nullptr);
}

std::string Fixed(double v, int places) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", places, v);
  return text;
}

std::string Fixed(const std::optional<double>& v, int places) {
  return v ? Fixed(*v, places) : "—";
}

std::string Pad(const std::string& text, size_t width) {
  size_t chars = 0;  // UTF-8: count the characters, not the bytes
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  }
  return text + std::string(chars < width ? width - chars : 0, ' ');
}

}  // namespace

std::string BenchResultJson(const BenchResult& result) {
  Json channels = Json::array();
  for (const ChannelResult& ch : result.channels) {
    Json points = Json::array();
    for (const PointResult& p : ch.points) {
      points.push_back({{"flow", p.flow},
                        {"runs", p.runs},
                        {"mf", p.mf},
                        {"error_percent", p.errorPercent},
                        {"repeatability_percent", Optional(p.repeatabilityPercent)},
                        {"limit_percent", Optional(p.limitPercent)},
                        {"acceptance_percent", Optional(p.acceptancePercent)},
                        {"uncertainty_percent", p.uncertaintyPercent},
                        {"notes", p.notes},
                        {"pass", p.pass}});
    }
    channels.push_back({{"channel", ch.channel}, {"points", points}, {"pass", ch.pass}});
  }
  return Json{{"channels", channels},
              {"profile", result.profileId},
              {"profile_name", result.profileName},
              {"pass", result.pass}}
      .dump();
}

std::string BenchResultText(const BenchResult& result) {
  std::string out = "Профиль: " + result.profileName + "\n";
  const size_t w[] = {12, 9, 10, 13, 13, 9, 11};
  for (const ChannelResult& ch : result.channels) {
    out += "\nКанал " + std::to_string(ch.channel) + "\n";
    const char* head[] = {"Расход м³/ч", "Прогонок", "MF",       "Погрешн. %",
                          "Сходим. %",   "МПП ±%",   "Допуск ±%"};
    for (size_t i = 0; i < 7; ++i)
      out += Pad(head[i], w[i]);
    out += "Итог\n";
    for (const PointResult& p : ch.points) {
      const std::string cells[] = {Fixed(p.flow, 3),
                                   std::to_string(p.runs),
                                   Fixed(p.mf, 5),
                                   Fixed(p.errorPercent, 3),
                                   Fixed(p.repeatabilityPercent, 3),
                                   Fixed(p.limitPercent, 2),
                                   Fixed(p.acceptancePercent, 2)};
      for (size_t i = 0; i < 7; ++i)
        out += Pad(cells[i], w[i]);
      out += p.pass ? "годен" : "не годен";
      for (const std::string& note : p.notes)
        out += "; " + note;
      out += "\n";
    }
    out += std::string("Канал ") + std::to_string(ch.channel) + ": " +
           (ch.pass ? "в пределах класса" : "вне класса") + "\n";
  }
  out += std::string("\nИтог: ") + (result.pass ? "прибор годен" : "прибор не годен") + "\n";
  return out;
}
