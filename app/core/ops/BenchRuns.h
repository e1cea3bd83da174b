// Calibration at the bench: the engineer runs a reference volume (or flow)
// through the meter at several flow rates, compares what the meter indicated,
// and decides whether it lies within its class. This unit holds the runs, the
// classes (profiles) and the evaluation, toolkit-free; the command line's
// calibrate and the window's bench view are both built on it. No function
// here throws: a fault comes back as a Russian message.
//
// The arithmetic (API MPMS ch. 4 and 12.2, OIML R 49, EN 1434, MID MI-005):
//   meter factor MF = reference / indicated; a point's MF is the mean of its
//   accepted runs; repeatability = (MF max - MF min) / MF mean;
//   error of indication = (indicated - reference) / reference * 100 %;
//   a point passes when |error| <= MPE - U (guard band, ILAC G8), U being the
//   bench's expanded uncertainty, and its repeatability within the profile's
//   limit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One run: a reference quantity passed through the meter at a nominal flow.
// Reference and indicated are both volumes or both flows (their ratio alone
// matters).
struct BenchRun {
  uint8_t channel = 1;                // 1 or 2
  double nominalFlow = 0;             // the bench's set flow, m3/h; groups runs into points
  double reference = 0;               // by the bench's standard
  double indicated = 0;               // by the meter
  double durationS = 0;               // how long the run lasted (sampling: how long to sample)
  std::optional<double> uncertainty;  // the bench's expanded uncertainty U, % (k = 2)
  size_t line = 0;                    // of the runs file, for messages; 0: not from a file
  size_t samples = 0;                 // sampled from the meter: how many values of G were averaged
};

// What a runs file must give: the indicated column is left out when the
// indicated flow is sampled from the meter.
enum class RunsLayout { Evaluate, Sample };

struct RunsParse {
  std::vector<BenchRun> runs;
  std::string error;  // empty: ok; else Russian, naming the line and the column
  bool Ok() const { return error.empty(); }
};

// A runs file as CSV with a header line: channel, nominal flow, reference,
// indicated, duration in s, and optionally the bench uncertainty in %. Cells
// are separated by ',' or ';' (whichever the header uses); numbers may have a
// decimal comma when the separator is ';', as a spreadsheet set up for Russian
// writes them. In the Sample layout the indicated column is absent. Lines
// starting with '#' and empty lines are skipped; at most kMaxRuns runs and
// kMaxRunsText bytes.
inline constexpr size_t kMaxRuns = 1000;
inline constexpr size_t kMaxRunsText = 1 << 20;
RunsParse ParseRuns(std::string_view text, RunsLayout layout = RunsLayout::Evaluate);

// One band of a profile: the maximum permissible error (±mpe %) for flows q in
// [from, to). A band whose to is +infinity is open above. When qp > 0 the band
// follows EN 1434: ±(a + b·qp/q) %, capped at cap.
struct LimitBand {
  double from = 0;
  double to = 0;
  double mpe = 0;  // % (the constant part a for EN 1434)
  double b = 0;    // EN 1434's flow term; 0 elsewhere
  double cap = 0;  // EN 1434's cap, %; 0: none
};

// A class of accuracy with its flows already set (R 49 needs Q1/Q2, EN 1434
// qp, MI-005 nothing).
struct BenchProfile {
  std::string id;    // "r49-2", "en1434-3", "mi005-1.0", or an own profile's section name
  std::string name;  // Russian, for tables and the report
  std::vector<LimitBand> bands;
  double qp = 0;                     // EN 1434's permanent flow; 0 elsewhere
  double repeatabilityLimit = 0.05;  // %, over the runs of a point
  // Above 30 °C R 49 allows ±3 % instead of ±2 %; no temperature is taken
  // here, so the profile gives the limits for water up to 30 °C.
};

// The flows a built-in profile needs, as given on the command line.
struct ProfileFlows {
  std::optional<double> q1, q2;         // R 49: Q1 and Q2 ...
  std::optional<double> q3, ratio;      // ... or Q3 and R = Q3/Q1 (Q2 = 1.6·Q1)
  std::optional<double> qp;             // EN 1434
  std::optional<double> repeatability;  // %, replaces the profile's limit
};

struct ProfileResult {
  BenchProfile profile;
  std::string error;  // empty: ok; else Russian
  bool Ok() const { return error.empty(); }
};

// The built-in ids, in the order help lists them.
std::vector<std::string> BuiltInProfileIds();
// Which flows of ProfileFlows a built-in profile needs, so that a form asks
// for those alone: R 49 Q1/Q2 or Q3/R, EN 1434 qp. None too for an unknown id.
enum class FlowsNeeded { None, R49, Qp };
FlowsNeeded FlowsNeededBy(const std::string& id);
// The Russian name of a built-in profile, as BuiltInProfile gives it; empty
// for an unknown id.
std::string BuiltInProfileName(const std::string& id);
// A built-in profile with its flows; an error when the id is unknown or a
// flow it needs is missing, not positive or out of order.
ProfileResult BuiltInProfile(const std::string& id, const ProfileFlows& flows);

// Own profiles, in profiles.ini beside firmware.ini. One section per profile:
//   [Профиль A]
//   Name=Класс предприятия       ; optional, the section name otherwise
//   Repeatability=0.05           ; optional, %
//   Limit1=0..2:5                ; ±5 % for 0 <= q < 2 (m3/h)
//   Limit2=2..*:2                ; ±2 % for q >= 2
// Bands may not overlap; a flow outside every band has no limit (the point
// fails, saying so). Parsing is bounded (kMaxRunsText, 32 bands a profile).
struct ProfilesParse {
  std::vector<BenchProfile> profiles;
  std::string error;  // empty: ok; else Russian, naming the section and key
  bool Ok() const { return error.empty(); }
};
ProfilesParse ParseProfiles(std::string_view iniText);
// profiles.ini beside the firmware.ini in use (FirmwareIniPath()).
std::string ProfilesIniPath();
// A built-in profile, or else one of profiles.ini (read from path).
ProfileResult FindProfile(const std::string& id, const ProfileFlows& flows,
                          const std::string& profilesIni);

// The limit of a profile at flow q, %; nullopt when no band covers q.
std::optional<double> LimitAt(const BenchProfile& profile, double q);

// A point: the runs of one channel at one nominal flow.
struct PointResult {
  double flow = 0;  // nominal, m3/h
  size_t runs = 0;
  double mf = 0;                               // composite meter factor
  double errorPercent = 0;                     // from the composite MF: (1/MF - 1)·100
  std::optional<double> repeatabilityPercent;  // nullopt: one run, no repeatability
  bool repeatabilityOk = false;                // false also when there is one run only
  std::optional<double> limitPercent;          // the MPE; nullopt: no band covers the flow
  std::optional<double> acceptancePercent;     // MPE - U
  double uncertaintyPercent = 0;               // the largest U of the point's runs
  bool guardBandNeeded = false;                // U above MPE/5: the limit was narrowed
  bool pass = false;
  std::vector<std::string> notes;  // Russian, why the point fails or what to mind
};

struct ChannelResult {
  uint8_t channel = 1;
  std::vector<PointResult> points;  // by rising flow
  bool pass = false;
};

struct BenchResult {
  std::string profileId;
  std::string profileName;
  std::vector<ChannelResult> channels;  // by channel number
  bool pass = false;
};

// Groups the runs into points (channel, nominal flow) and evaluates them.
BenchResult EvaluateRuns(std::span<const BenchRun> runs, const BenchProfile& profile);

// {"channels":[{"channel":1,"points":[{"flow":…,"runs":…,"mf":…,
// "error_percent":…,"repeatability_percent":…|null,"limit_percent":…|null,
// "acceptance_percent":…|null,"pass":true}],"pass":true}],"profile":…,"pass":true}
std::string BenchResultJson(const BenchResult& result);
// The Russian table per channel and the verdict, for the console.
std::string BenchResultText(const BenchResult& result);

// The proposed adjustment. The model of the meter: indicated = Ku·x + K0·Gmax,
// x being the meter's uncalibrated measurement and Gmax the channel's maximum
// flow. From the old K0, Ku each point's x follows from what it indicated;
// new Ku', K0' are fitted so that Ku'·x + K0'·Gmax matches the reference
// (least squares; one point: Ku only). The as-left run confirms or refutes
// the model.
inline constexpr const char* kAdjustModelText =
    "модель: показание = Ku·x + K0·Gmax; подтверждает или опровергает поверка после регулировки";
inline constexpr double kDefaultMaxKuChange = 0.10;  // a share of the old Ku

struct ChannelCoefficients {
  uint8_t channel = 1;
  double k0 = 0;  // as the model uses it: a share of Gmax
  double ku = 0;
  double gmax = 0;  // m3/h
};

struct PredictedPoint {
  double flow = 0;
  double asFoundError = 0;  // %
  double asLeftError = 0;   // % predicted by the model
};

struct ChannelAdjustment {
  ChannelCoefficients before;
  ChannelCoefficients after;  // k0/ku proposed
  std::vector<PredictedPoint> points;
};

struct AdjustProposal {
  std::vector<ChannelAdjustment> channels;
  std::string error;  // empty: ok; else Russian, why no adjustment is proposed
  bool Ok() const { return error.empty(); }
};

// A point's reference flow is taken as its nominal flow and its indicated
// flow as nominal / MF, so volumes and flows alike serve. Refused (error set)
// when a point's repeatability fails (a point of one run has none to fail),
// a channel has no coefficients, or Ku would change by more than maxKuChange.
AdjustProposal ProposeAdjustment(const BenchResult& asFound,
                                 std::span<const ChannelCoefficients> coefficients,
                                 double maxKuChange = kDefaultMaxKuChange);
