// The proposed adjustment under the linear model of the meter (BenchRuns.h):
// indicated = Ku·x + K0·Gmax. Inverting it with the old coefficients gives
// each point's raw measurement x; a least-squares line through (x, reference)
// gives the new Ku (slope) and K0·Gmax (intercept).
#include <cmath>
#include <cstdio>

#include "BenchRuns.h"

namespace {

struct Fit {
  double ku = 0;
  double k0 = 0;
};

Fit FitLine(const std::vector<double>& x, const std::vector<double>& ref,
            const ChannelCoefficients& old) {
  const double n = static_cast<double>(x.size());
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += ref[i];
    sxx += x[i] * x[i];
    sxy += x[i] * ref[i];
  }
  const double det = n * sxx - sx * sx;
  // One point (or points with one x) fixes the gain only: K0 is kept.
  if (x.size() < 2 || std::fabs(det) <= 1e-12 * n * sxx) {
    return {(sy - n * old.k0 * old.gmax) / sx, old.k0};
  }
  const double ku = (n * sxy - sx * sy) / det;
  return {ku, (sy - ku * sx) / n / old.gmax};
}

const ChannelCoefficients* Find(std::span<const ChannelCoefficients> all, uint8_t channel) {
  for (const auto& c : all) {
    if (c.channel == channel) return &c;
  }
  return nullptr;
}

std::string Pct(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v * 100);
  return text;
}

}  // namespace

AdjustProposal ProposeAdjustment(const BenchResult& asFound,
                                 std::span<const ChannelCoefficients> coefficients,
                                 double maxKuChange) {
  AdjustProposal out;
  for (const ChannelResult& ch : asFound.channels) {
    const std::string name = "канал " + std::to_string(ch.channel);
    const ChannelCoefficients* old = Find(coefficients, ch.channel);
    if (!old || old->ku == 0 || !(old->gmax > 0) || ch.points.empty()) {
      out.error = name + ": нет коэффициентов K0, Ku или Gmax";
      return out;
    }
    std::vector<double> x, ref;
    for (const PointResult& p : ch.points) {
      if (p.repeatabilityPercent && !p.repeatabilityOk) {
        out.error = name + ", " + std::to_string(p.flow) +
                    " м³/ч: повторяемость вне допуска, "
                    "регулировка по таким прогонам не предлагается";
        return out;
      }
      const double indicated = p.flow / p.mf;
      x.push_back((indicated - old->k0 * old->gmax) / old->ku);
      ref.push_back(p.flow);
    }
    const Fit fit = FitLine(x, ref, *old);
    const double change = std::fabs(fit.ku - old->ku) / std::fabs(old->ku);
    if (!std::isfinite(change) || change > maxKuChange) {
      out.error = name + ": Ku изменился бы на " + Pct(change) + " %, больше допустимых " +
                  Pct(maxKuChange) + " %";
      return out;
    }
    ChannelAdjustment adj{*old, *old, {}};
    adj.after.ku = fit.ku;
    adj.after.k0 = fit.k0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double predicted = fit.ku * x[i] + fit.k0 * old->gmax;
      adj.points.push_back(
          {ref[i], ch.points[i].errorPercent, (predicted - ref[i]) / ref[i] * 100});
    }
    out.channels.push_back(std::move(adj));
  }
  if (out.channels.empty()) out.error = "нет результатов поверки для регулировки";
  return out;
}
