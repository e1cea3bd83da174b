#include "TrueFlow.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "drivers/lumGdz1207s.h"
#include "drivers/lumGdz1208.h"
#include "drivers/lumZfk31.h"
#include "drivers/lumZfk36.h"
#include "sim/VirtualMeter.h"

namespace metersim {
namespace {

float FloatAt(const std::vector<uint8_t>& area, size_t at, bool bigEndian) {
  uint8_t b[4] = {};
  for (size_t i = 0; i < 4 && at + i < area.size(); ++i)
    b[i] = area[at + i];
  if (bigEndian) std::reverse(b, b + 4);
  float f = 0;
  std::memcpy(&f, b, 4);  // the hosts are little-endian, as the meters' LE floats
  return f;
}

// Stored K0, Ku and Gmax of a channel, at the places the model keeps them
// (the drivers' headers describe the same places).
struct Stored {
  float k0 = 0, ku = 0, gmax = 0;
};

template <class Driver>
double G(const Stored& s, double x) {
  return Driver::ShownKu(s.ku) * x + Driver::ShownK0(s.k0, s.gmax);
}

std::optional<double> Number(std::string_view text) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

// "CH=rest": the channel and the rest.
std::optional<std::pair<int, std::string_view>> ChannelOf(std::string_view text) {
  if (text.size() < 3 || text[1] != '=' || (text[0] != '1' && text[0] != '2')) return std::nullopt;
  return std::pair{text[0] - '0', text.substr(2)};
}

}  // namespace

double CurveError(const std::vector<CurvePoint>& curve, double q) {
  if (curve.empty()) return 0;
  if (q <= curve.front().q) return curve.front().e;
  for (size_t i = 1; i < curve.size(); ++i) {
    const CurvePoint& a = curve[i - 1];
    const CurvePoint& b = curve[i];
    if (q <= b.q) return a.e + (b.e - a.e) * (q - a.q) / (b.q - a.q);
  }
  return curve.back().e;
}

std::optional<double> TrueFlowG(MeterModel model, const std::vector<MeterNode>& nodes, int channel,
                                double q, const std::vector<CurvePoint>& curve) {
  const double x = q * (1 + CurveError(curve, q) / 100);
  const size_t c = static_cast<size_t>(channel - 1);
  switch (model) {
    case MeterModel::Zfk31: {
      const auto& rtc = nodes[0].Area(MemoryArea::Rtc2k);
      return G<TlumZfk31>({FloatAt(rtc, 1792 + 4 * c, true), FloatAt(rtc, 1816 + 4 * c, true),
                           FloatAt(rtc, 204 + 4 * c, true)},
                          x);
    }
    case MeterModel::Zfk36: {
      const auto& rtc = nodes[0].Area(MemoryArea::Rtc2k);
      const size_t set = 1504 + 72 * c;
      return G<TlumZfk36>(
          {FloatAt(rtc, set, true), FloatAt(rtc, set + 4, true), FloatAt(rtc, 308 + 4 * c, true)},
          x);
    }
    case MeterModel::Gdz1207s:
    case MeterModel::Gdz1207s2: {
      if (c >= nodes.size()) return std::nullopt;  // one node, one channel
      const auto& rtc = nodes[c].Area(MemoryArea::Rtc2k);
      return G<TlumGdz1207s>(
          {FloatAt(rtc, 256, false), FloatAt(rtc, 260, false), FloatAt(rtc, 16, false)}, x);
    }
    case MeterModel::Gdz1208:
    case MeterModel::Gdz1208x2: {
      const auto& regs = nodes[0].Area(MemoryArea::Registers);
      const auto ch = static_cast<uint8_t>(channel);
      const size_t k0 = 2u * TlumGdz1208::CoefRegister(CoefList::K, ch, 0);
      const auto k0Value = static_cast<int16_t>((regs[k0] << 8) | regs[k0 + 1]);
      const size_t ku = 2u * TlumGdz1208::CoefRegister(CoefList::K, ch, 1);
      // One Gmax, channel 1's, serves both channels of the GDZ-12.08.
      return G<TlumGdz1208>(
          {static_cast<float>(k0Value), FloatAt(regs, ku, true), FloatAt(regs, 2 * 299, true)}, x);
    }
  }
  return std::nullopt;
}

std::string ApplyTrueFlowOptions(VirtualMeter& meter, const std::vector<std::string>& trueFlows,
                                 const std::vector<std::string>& errorCurves) {
  for (const std::string& text : trueFlows) {
    const auto ch = ChannelOf(text);
    const auto q = ch ? Number(ch->second) : std::nullopt;
    if (!q || *q < 0) return "--true-flow " + text + ": ожидается КАНАЛ=РАСХОД, например 1=10";
    meter.SetTrueFlow(ch->first, *q);
  }
  for (const std::string& text : errorCurves) {
    const auto ch = ChannelOf(text);
    std::vector<CurvePoint> curve;
    bool ok = ch.has_value();
    for (std::string_view rest = ok ? ch->second : ""; ok && !rest.empty() && curve.size() < 64;) {
      const size_t comma = rest.find(',');
      const std::string_view item = rest.substr(0, comma);
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
      const size_t colon = item.find(':');
      const auto q = Number(item.substr(0, colon));
      const auto e =
          colon == std::string_view::npos ? std::nullopt : Number(item.substr(colon + 1));
      ok = q && e && *q >= 0 && (curve.empty() || *q > curve.back().q);
      if (ok) curve.push_back({*q, *e});
    }
    if (!ok || curve.empty())
      return "--error-curve " + text +
             ": ожидается КАНАЛ=q1:e1,q2:e2,... (расходы по возрастанию, погрешность в %)";
    meter.SetErrorCurve(ch->first, curve);
  }
  return {};
}

}  // namespace metersim
