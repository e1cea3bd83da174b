// The flow a virtual meter's channel really carries, and what the meter
// makes of it. Its uncalibrated measurement is x = Q·(1 + e(Q)/100), e an
// optional error curve in percent (linear between its points, constant
// outside them); the meter then shows G = Ku·x + K0·Gmax through its own
// stored K0, Ku and Gmax, scaled as the model's driver scales them, so a
// write of new coefficients changes G as it would on a real meter.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/MeterNode.h"

namespace metersim {

class VirtualMeter;

struct CurvePoint {
  double q = 0;
  double e = 0;  // %
};

// e(q) of a curve sorted by q; 0 for no points.
double CurveError(const std::vector<CurvePoint>& curve, double q);

// G of channel 1 or 2 for the true flow q, from the K0, Ku and Gmax the
// nodes hold; nullopt for a channel the meter does not have.
std::optional<double> TrueFlowG(MeterModel model, const std::vector<MeterNode>& nodes, int channel,
                                double q, const std::vector<CurvePoint>& curve);

// "1=10" and "2=0.5:1.5,10:-0.4": the options of calibrate-metersim and of
// the command line's demo. Empty when every one was taken; else the Russian
// reason, and what came before it is set.
std::string ApplyTrueFlowOptions(VirtualMeter& meter, const std::vector<std::string>& trueFlows,
                                 const std::vector<std::string>& errorCurves);

}  // namespace metersim
