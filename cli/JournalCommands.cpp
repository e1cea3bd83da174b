#include "JournalCommands.h"

#include <iostream>

#include "ExitStatus.h"
#include "app/service/JournalFile.h"
#include "app/service/JournalReader.h"
#include "app/service/ReadJournal.h"

namespace {

JournalSettings RunJournal(const CliOptions& o, Settings& settings) {
  return OverrideJournal(LoadJournalSettings(settings.Ini()), o.journalDir, o.noJournal);
}

}  // namespace

void JournalTheRead(const CliOptions& o, Settings& settings, const MeterReading& reading) {
  const auto result = JournalRead(reading, RunJournal(o, settings), JournalProgram("calibrate-cli"),
                                  o.demo.has_value());
  if (result && !result->ok)
    std::cerr << "calibrate-cli: warning: the read is not in the journal: " << result->error
              << "\n";
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

// The meter's file whose serial number is serial (or whose name is given).
std::string MeterFile(const std::string& dir, const JournalListing& listing,
                      const std::string& serial) {
  for (const JournalMeter& m : listing.meters)
    if (m.serial == serial || m.file == serial)
      return Utf8(PathFromUtf8(dir) / PathFromUtf8(m.file));
  return {};
}

}  // namespace

std::optional<CliOptions> ParseJournalCli(const std::vector<std::string>& args,
                                          std::string& error) {
  CliOptions o;
  size_t i = 1;
  if (args[0] == "journal") {
    if (args.size() < 2 || args[1] != "verify") {
      error = "journal: expected 'journal verify [FILE|--all]'";
      return std::nullopt;
    }
    o.command = CliCommand::JournalVerify;
    i = 2;
  } else {
    o.command = CliCommand::History;
  }
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool valued = a == "--journal" || a == "--ini";
    if (valued && (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)) {
      error = "option " + a + " needs a value";
      return std::nullopt;
    }
    if (a == "--json")
      o.json = true;
    else if (a == "--journal")
      o.journalDir = args[++i];
    else if (a == "--ini")
      o.ini = args[++i];
    else if (a == "--help" || a == "-h") {
      o.helpTopic = o.command == CliCommand::History ? "history" : "journal";
      o.command = CliCommand::Help;
      return o;
    } else if ((a.rfind("--", 0) != 0 ||
                (a == "--all" && o.command == CliCommand::JournalVerify)) &&
               o.operands.empty())
      o.operands.push_back(a);
    else {
      error = args[0] + ": unexpected argument '" + a + "'";
      return std::nullopt;
    }
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
  const JournalFileContent content = ReadJournalFile(file);
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
