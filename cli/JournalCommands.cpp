#include "JournalCommands.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "ExitStatus.h"
#include "app/service/JournalFile.h"
#include "app/service/JournalReader.h"
#include "app/service/ReadJournal.h"
#include "app/service/ServiceJournal.h"
#include "app/service/ServiceReport.h"

namespace {

JournalSettings RunJournal(const CliOptions& o, Settings& settings) {
  return OverrideJournal(LoadJournalSettings(settings.Ini()), o.journalDir, o.noJournal);
}

}  // namespace

namespace {

void WarnIfLost(const std::optional<JournalAppendResult>& result, const char* what) {
  if (result && !result->ok)
    std::cerr << "calibrate-cli: warning: the " << what
              << " is not in the journal: " << result->error << "\n";
}

}  // namespace

void JournalTheRead(const CliOptions& o, Settings& settings, const MeterReading& reading) {
  WarnIfLost(JournalRead(reading, RunJournal(o, settings), JournalProgram("calibrate-cli"),
                         o.demo.has_value()),
             "read");
}

void JournalTheSnapshot(const CliOptions& o, Settings& settings, const MeterSnapshot& snapshot) {
  WarnIfLost(JournalSnapshot(snapshot, RunJournal(o, settings), JournalProgram("calibrate-cli"),
                             o.demo.has_value()),
             "snapshot");
}

void JournalTheWrite(const CliOptions& o, Settings& settings, WriteKind kind,
                     const WriteOutcome& outcome, const JournalPlace& place) {
  WarnIfLost(JournalWrite(kind, outcome, RunJournal(o, settings), JournalProgram("calibrate-cli"),
                          o.demo.has_value(), place),
             "write");
}

namespace {

// The folder the journal commands read: --journal, else the settings' Dir
// (whether or not reads are journalled now: the journal of earlier runs).
std::string JournalDir(const CliOptions& o) {
  if (o.journalDir) return *o.journalDir;
  Settings settings(o.ini ? *o.ini : Settings::DefaultPath());
  return LoadJournalSettings(settings.Ini()).dir;
}

void PrintMeters(const JournalListing& listing) {
  if (listing.meters.empty()) std::cout << "(the journal is empty)\n";
  for (const JournalMeter& m : listing.meters) {
    if (!m.error.empty()) {
      std::cout << m.file << ": " << m.error << "\n";
      continue;
    }
    std::cout << m.model << "  №" << (m.serial.empty() ? "?" : m.serial) << "  " << m.port
              << " addr " << m.address << "  events " << m.events << "  last " << m.lastTimeLocal
              << "\n";
  }
}

void PrintEvents(const JournalFileContent& content) {
  for (const JournalRecord& r : content.records)
    std::cout << r.id << "  " << r.timeLocal << "  " << r.event.kind << "  " << r.event.model
              << "  " << r.event.engineer << "  " << r.event.program << "\n";
  for (const JournalDamage& d : content.damaged)
    std::cout << "line " << d.line << " damaged: " << d.why << "\n";
}

// How ReadMeterJournal names a listed meter: by its serial number, which
// every file of it shares, or by its file when it has none.
std::string MeterKey(const JournalMeter& m) {
  return m.serial.empty() ? m.file : m.serial;
}

// The meter whose serial number is serial (or whose file is named so).
std::string MeterFile(const std::string& /*dir*/, const JournalListing& listing,
                      const std::string& serial) {
  for (const JournalMeter& m : listing.meters)
    if (m.serial == serial || m.file == serial) return MeterKey(m);
  return {};
}

}  // namespace

std::optional<CliOptions> ParseJournalCli(const std::vector<std::string>& args,
                                          std::string& error) {
  CliOptions o;
  size_t i = 1;
  size_t operands = 1;
  if (args[0] == "journal") {
    if (args.size() < 2 || args[1] != "verify") {
      error = "journal: expected 'journal verify [FILE|--all]'";
      return std::nullopt;
    }
    o.command = CliCommand::JournalVerify;
    i = 2;
  } else if (args[0] == "compare") {
    o.command = CliCommand::Compare;
    operands = 2;
  } else {
    o.command = args[0] == "report" ? CliCommand::Report : CliCommand::History;
  }
  const bool compare = o.command == CliCommand::Compare;
  const bool report = o.command == CliCommand::Report;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool valued =
        a == "--journal" || a == "--ini" || (report && (a == "--session" || a == "--html"));
    if (valued && (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)) {
      error = "option " + a + " needs a value";
      return std::nullopt;
    }
    if (a == "--json" && !report)
      o.json = true;
    else if (a == "--journal")
      o.journalDir = args[++i];
    else if (a == "--ini")
      o.ini = args[++i];
    else if (report && a == "--session")
      o.session = args[++i];
    else if (report && a == "--html")
      o.htmlFile = args[++i];
    else if ((compare || report) && a == "--last")
      o.lastVisit = true;
    else if (a == "--help" || a == "-h") {
      o.helpTopic = args[0];
      o.command = CliCommand::Help;
      return o;
    } else if ((a.rfind("--", 0) != 0 ||
                (a == "--all" && o.command == CliCommand::JournalVerify)) &&
               o.operands.size() < operands)
      o.operands.push_back(a);
    else {
      error = args[0] + ": unexpected argument '" + a + "'";
      return std::nullopt;
    }
  }
  if (compare && (o.lastVisit ? o.operands.size() > 1 : o.operands.size() != 2)) {
    error = "compare: expected two snapshots or events, or --last [SERIAL]";
    return std::nullopt;
  }
  if (report && (!o.htmlFile || (o.lastVisit && o.session))) {
    error = o.htmlFile ? "report: --session and --last exclude each other"
                       : "report: --html FILE is required";
    return std::nullopt;
  }
  return o;
}

int RunHistory(const CliOptions& o) {
  const std::string dir = JournalDir(o);
  const JournalListing listing = ListJournalMeters(dir);
  if (!listing.ok) {
    std::cerr << "calibrate-cli: " << listing.error << "\n";
    return Code(ExitStatus::Failed);
  }
  if (o.operands.empty()) {
    if (o.json)
      std::cout << ToJson(listing).dump() << "\n";
    else
      PrintMeters(listing);
    return Code(ExitStatus::Ok);
  }
  const std::string file = MeterFile(dir, listing, o.operands[0]);
  if (file.empty()) {
    std::cerr << "calibrate-cli: no meter " << o.operands[0] << " in the journal " << dir << "\n";
    return Code(ExitStatus::Failed);
  }
  const JournalFileContent content = ReadMeterJournal(dir, file);
  if (!content.ok) {
    std::cerr << "calibrate-cli: " << content.error << "\n";
    return Code(ExitStatus::Failed);
  }
  if (o.json)
    std::cout << ToJson(content).dump() << "\n";
  else
    PrintEvents(content);
  return Code(ExitStatus::Ok);
}

int RunJournalVerify(const CliOptions& o) {
  std::vector<JournalVerdict> files;
  if (!o.operands.empty() && o.operands[0] != "--all") {
    files.push_back(VerifyJournalFile(o.operands[0]));
  } else {
    JournalFolderVerdict folder = VerifyJournal(JournalDir(o));
    if (!folder.ok) {
      std::cerr << "calibrate-cli: " << folder.error << "\n";
      return Code(ExitStatus::Failed);
    }
    files = std::move(folder.files);
  }
  bool ok = true;
  nlohmann::json out = nlohmann::json::array();
  for (const JournalVerdict& v : files) {
    ok = ok && v.Ok();
    if (o.json) {
      out.push_back(ToJson(v));
    } else if (!v.readable) {
      std::cout << v.file << ": cannot be read: " << v.error << "\n";
    } else if (v.problems.empty()) {
      std::cout << v.file << ": ok, " << v.events << " events\n";
    } else {
      const JournalProblem& p = v.problems.front();
      std::cout << v.file << ": BROKEN at line " << p.line << " (" << JournalFaultName(p.fault)
                << "): " << p.why << "\n";
    }
  }
  if (o.json) std::cout << out.dump() << "\n";
  return Code(ok ? ExitStatus::Ok : ExitStatus::Failed);
}

namespace {

// The meter's file: SERIAL given, else the only meter of the journal (or, when
// newest is set, the meter of the journal's newest event). Empty, with the
// reason on standard error, when there is none.
std::string ChosenMeterFile(const CliOptions& o, const std::string& dir, bool newest) {
  const JournalListing listing = ListJournalMeters(dir);
  if (!listing.ok) {
    std::cerr << "calibrate-cli: " << listing.error << "\n";
    return {};
  }
  if (listing.meters.empty()) {
    std::cerr << "calibrate-cli: the journal " << dir << " holds no events\n";
    return {};
  }
  if (!o.operands.empty()) {
    const std::string file = MeterFile(dir, listing, o.operands[0]);
    if (file.empty())
      std::cerr << "calibrate-cli: no meter " << o.operands[0] << " in the journal " << dir << "\n";
    return file;
  }
  const JournalMeter* chosen = &listing.meters.front();
  for (const JournalMeter& m : listing.meters) {
    if (!newest && &m != chosen) {
      std::cerr << "calibrate-cli: the journal holds " << listing.meters.size()
                << " meters; name one by its serial number (calibrate-cli history)\n";
      return {};
    }
    if (m.lastTimeUtc > chosen->lastTimeUtc) chosen = &m;
  }
  return MeterKey(*chosen);
}

// A side of a comparison: a file, or an event of the journal.
struct Side {
  std::string what;  // for the output: the file, or the event's id, kind and time
  nlohmann::json document;
  std::string kind;  // "read", "snapshot", "write"
};

// Nullopt with the reason on standard error; status then says which failure.
std::optional<Side> LoadSide(const std::string& ref, const std::string& dir, ExitStatus& status) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(PathFromUtf8(ref), ec)) {
    std::ifstream in(PathFromUtf8(ref), std::ios::binary);
    nlohmann::json document = nlohmann::json::parse(in, nullptr, false);
    if (document.is_discarded()) {
      std::cerr << "calibrate-cli: " << ref << " is no JSON document\n";
      status = ExitStatus::Usage;
      return std::nullopt;
    }
    const std::string kind = document.contains("schema")      ? "snapshot"
                             : document.contains("operation") ? "write"
                                                              : "read";
    return Side{ref, std::move(document), kind};
  }
  const JournalLookup found = FindJournalEvent(dir, ref);
  if (!found.ok) {
    status = ExitStatus::NotFound;
    std::cerr << "calibrate-cli: " << ref << ": no such file, nor event: "
              << (found.error.empty() ? "the journal " + dir + " holds no events" : found.error)
              << "\n";
    return std::nullopt;
  }
  const JournalRecord& r = found.record;
  return Side{r.id + " (" + r.event.kind + ", " + r.timeLocal + ")", r.event.payload, r.event.kind};
}

int PrintComparison(const CliOptions& o, const std::string& a, const std::string& b,
                    const StateComparison& c) {
  if (o.json) {
    nlohmann::json out = ToJson(c);
    out["a"] = a;
    out["b"] = b;
    std::cout << out.dump() << "\n";
  } else {
    std::cout << "A: " << a << "\nB: " << b << "\n";
    for (const FieldChange& change : c.changes)
      std::cout << change.label << ": " << ChangeText(change) << "\n";
    if (c.Equal())
      std::cout << "no difference (" << c.compared << " fields compared)\n";
    else
      std::cout << c.changes.size() << " of " << c.compared << " fields differ\n";
  }
  return Code(c.Equal() ? ExitStatus::Ok : ExitStatus::Failed);
}

int CompareLastVisit(const CliOptions& o, const std::string& dir) {
  const std::string file = ChosenMeterFile(o, dir, true);
  if (file.empty()) return Code(ExitStatus::NotFound);
  const JournalFileContent content = ReadMeterJournal(dir, file);
  const VisitComparison v = CompareWithPreviousVisit(JournalSessions(content));
  if (!v.ok) {
    std::cerr << "calibrate-cli: " << (content.ok ? v.error : content.error) << "\n";
    return Code(ExitStatus::NotFound);
  }
  const auto describe = [](const JournalRecord& r) {
    return r.id + " (" + r.event.kind + ", " + r.timeLocal + ")";
  };
  return PrintComparison(o, describe(v.previous), describe(v.last), v.comparison);
}

}  // namespace

int RunCompare(const CliOptions& o) {
  const std::string dir = JournalDir(o);
  if (o.lastVisit) return CompareLastVisit(o, dir);
  ExitStatus status = ExitStatus::NotFound;
  const auto a = LoadSide(o.operands[0], dir, status);
  const auto b = a ? LoadSide(o.operands[1], dir, status) : std::nullopt;
  if (!a || !b) return Code(status);
  std::string error;
  const auto before = StateOf(a->document, error);
  const auto after = before ? StateOf(b->document, error) : std::nullopt;
  if (!after) {
    std::cerr << "calibrate-cli: " << (before ? b->what : a->what) << ": " << error << "\n";
    return Code(ExitStatus::Usage);
  }
  return PrintComparison(o, a->what, b->what, CompareStates(*before, *after, a->kind == b->kind));
}

int RunReport(const CliOptions& o) {
  const std::string dir = JournalDir(o);
  const std::string file = ChosenMeterFile(o, dir, false);
  if (file.empty()) return Code(ExitStatus::NotFound);
  const JournalFileContent content = ReadMeterJournal(dir, file);
  if (!content.ok) {
    std::cerr << "calibrate-cli: " << content.error << "\n";
    return Code(ExitStatus::NotFound);
  }
  const std::vector<JournalSession> sessions = JournalSessions(content);
  std::string error;
  const JournalSession* session = FindSession(sessions, o.session.value_or("last"), error);
  if (!session) {
    std::cerr << "calibrate-cli: " << error << "\n";
    return Code(ExitStatus::NotFound);
  }
  const ServiceReport report = MakeServiceReport(*session);
  std::ofstream out(PathFromUtf8(*o.htmlFile), std::ios::binary | std::ios::trunc);
  out << report.html;
  out.flush();
  if (!out) {
    std::cerr << "calibrate-cli: cannot write " << *o.htmlFile << "\n";
    return Code(ExitStatus::Failed);
  }
  std::cout << "report " << report.number << " (" << session->records.size() << " events) -> "
            << *o.htmlFile << "\n";
  return Code(ExitStatus::Ok);
}
