// What the windows share, without a window: the meter of the last read stays
// where that read found it, one operation holds the meter at a time, and the
// journal files writes under the last read's place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "app/journal/JournalReader.h"
#include "app/journal/ServiceJournal.h"
#include "app/journal/Workbench.h"

namespace {

class WorkbenchTest : public ::testing::Test {
 protected:
  WorkbenchTest() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("calibrate-bench-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir_);
  }
  ~WorkbenchTest() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Ini(const std::string& text = {}) const {
    const std::string path = (dir_ / "Calibrate.ini").string();
    if (!text.empty()) std::ofstream(path) << text;
    return path;
  }
  std::string Dir(const char* name) const { return (dir_ / name).string(); }

  static MeterReading Reading(ReadResult result, bool identified, ReadPath path) {
    MeterReading r;
    r.result = result;
    r.identified = identified;
    r.path = path;
    return r;
  }

  std::filesystem::path dir_;
};

TEST_F(WorkbenchTest, HasAMeterOnlyAfterAReadThatIdentifiedOne) {
  struct Case {
    ReadResult result;
    bool identified;
    ReadPath path;
    bool meter;
  };
  const Case cases[] = {
      {ReadResult::Ok, true, ReadPath::Zfk31, true},
      {ReadResult::Ok, true, ReadPath::ModBus, true},
      {ReadResult::Ok, false, ReadPath::Zfk36, false},
      {ReadResult::Ok, true, ReadPath::None, false},
      {ReadResult::NotFound, true, ReadPath::GdzSingle, false},
      {ReadResult::PortError, false, ReadPath::None, false},
  };
  Workbench bench(Ini(), "calibrate");
  EXPECT_FALSE(bench.HaveMeter()) << "before any read";
  for (const Case& c : cases) {
    bench.SetLastReading(Reading(c.result, c.identified, c.path));
    EXPECT_EQ(bench.HaveMeter(), c.meter)
        << static_cast<int>(c.result) << " " << c.identified << " " << static_cast<int>(c.path);
  }
}

// A write goes where the read went, not where the port list points now.
TEST_F(WorkbenchTest, TheMetersPortIsTheLastReadsWhateverIsChosenSince) {
  Workbench bench(Ini(), "calibrate");
  const PortSpec read{"/dev/ttyUSB0", "COM3", 19200, 5, true};
  const PortSpec chosen{"/dev/ttyS6", "COM7", 9600, 0, false};
  bench.SetPort(read);
  bench.SetLastReading(Reading(ReadResult::Ok, true, ReadPath::Zfk31));
  bench.SetPort(chosen);
  const PortSpec& meter = bench.MeterPort();
  EXPECT_EQ(meter.device, read.device);
  EXPECT_EQ(meter.name, read.name);
  EXPECT_EQ(meter.baud, read.baud);
  EXPECT_EQ(meter.address, read.address);
  EXPECT_EQ(meter.echo, read.echo);
  EXPECT_EQ(bench.Port().device, chosen.device);
  // The next read, even one that found nothing, moves it.
  bench.SetLastReading(Reading(ReadResult::NotFound, false, ReadPath::None));
  EXPECT_EQ(bench.MeterPort().device, chosen.device);
}

TEST_F(WorkbenchTest, OneOperationHoldsTheMeterAtATime) {
  Workbench bench(Ini(), "calibrate");
  std::vector<bool> heard;
  bench.SetOnBusy([&](bool busy) { heard.push_back(busy); });
  {
    const Workbench::Operation first(bench);
    ASSERT_TRUE(first.Held());
    {
      const Workbench::Operation second(bench);
      EXPECT_FALSE(second.Held());
    }
    // The one that did not get it gave nothing back.
    EXPECT_TRUE(bench.Busy());
    EXPECT_FALSE(bench.Acquire());
  }
  EXPECT_FALSE(bench.Busy());
  bench.Release();  // nothing held: nothing to hear
  EXPECT_EQ(heard, (std::vector<bool>{true, false}));
  const Workbench::Operation again(bench);
  EXPECT_TRUE(again.Held());
}

TEST_F(WorkbenchTest, JournalSettingsAreSavedAtOnceOrSaidNotToBe) {
  Workbench bench(Ini(), "calibrate");
  const JournalSettings wanted{true, Dir("journal"), "Петров"};
  ASSERT_TRUE(bench.SetJournal(wanted));
  const JournalSettings reread = Workbench(Ini(), "calibrate").Journal();
  EXPECT_EQ(reread.enabled, wanted.enabled);
  EXPECT_EQ(reread.dir, wanted.dir);
  EXPECT_EQ(reread.engineer, wanted.engineer);

  Workbench stuck(Dir("missing") + "/Calibrate.ini", "calibrate");
  EXPECT_FALSE(stuck.SetJournal(wanted));
}

// The folder a path names, without "." or ".." steps or a trailing separator.
std::filesystem::path Whole(const std::filesystem::path& path) {
  const std::filesystem::path normal = path.lexically_normal();
  return normal.has_filename() ? normal : normal.parent_path();
}

// Relative to the settings file where the journal lies there or below, so
// that a portable copy moved elsewhere takes it along; absolute elsewhere.
TEST_F(WorkbenchTest, TheJournalFolderMovesWithAPortableCopy) {
  const std::filesystem::path copy = dir_ / "copy", moved = dir_ / "moved";
  const std::pair<std::filesystem::path, std::string> cases[] = {
      // As the window chose it; as [Journal] Dir keeps it (empty: absolute).
      {copy / "journal/", "journal"},
      {copy / "data" / "j", "data/j"},
      {copy, "."},
      {copy / "x" / ".." / "journal", "journal"},
      {dir_ / "elsewhere", ""},
      {"journal", "journal"},             // from the file's folder
      {dir_ / "copy-2" / "journal", ""},  // a name that only begins like the folder's
  };
  for (const auto& [dir, stored] : cases) {
    SCOPED_TRACE(dir.string());
    std::filesystem::create_directories(copy);
    const std::filesystem::path whole = Whole(copy / dir);
    {
      Workbench bench((copy / "Calibrate.ini").string(), "calibrate");
      ASSERT_TRUE(bench.SetJournal({true, dir.string(), ""}));
      EXPECT_EQ(bench.GetSettings().Ini().ReadString("Journal", "Dir", "?"),
                stored.empty() ? whole.string() : stored);
      EXPECT_EQ(Whole(bench.Journal().dir), whole);
    }
    std::filesystem::rename(copy, moved);
    Workbench there((moved / "Calibrate.ini").string(), "calibrate");
    EXPECT_EQ(Whole(there.Journal().dir), stored.empty() ? whole : Whole(moved / stored));
    std::filesystem::remove_all(moved);
  }
}

// Filed under the meter and the place of the last read, marked as a virtual
// meter's in a demo run; what wrote nothing is not filed.
TEST_F(WorkbenchTest, WritesAreFiledUnderTheLastReadsPlace) {
  struct Case {
    WriteStatus status;
    bool journalOn;
    bool demo;
    bool filed;
  };
  const Case cases[] = {
      {WriteStatus::Verified, true, true, true},    {WriteStatus::Failed, true, false, true},
      {WriteStatus::DryRun, true, false, false},    {WriteStatus::Refused, true, false, false},
      {WriteStatus::Verified, false, false, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const std::string journal = Dir("journal") + std::to_string(n++);
    Workbench bench(Ini(), "calibrate 1.1");
    bench.SetDemo(c.demo);
    ASSERT_TRUE(bench.SetJournal({c.journalOn, journal, "Петров"}));
    MeterReading read = Reading(ReadResult::Ok, true, ReadPath::Zfk31);
    read.port = "COM3";
    read.baud = 19200;
    read.address = 5;
    bench.SetLastReading(read);
    bench.SetPort({"/dev/ttyS6", "COM7", 9600, 0, false});

    WriteOutcome outcome;
    outcome.status = c.status;
    outcome.before.model = outcome.after.model = "ZFK-31";
    outcome.before.serial = outcome.after.serial = "310245";
    const auto result = bench.JournalWrite(WriteKind::Clock, outcome);
    ASSERT_EQ(result.has_value(), c.filed);
    if (!c.filed) continue;
    ASSERT_TRUE(result->ok) << result->error;
    const auto records = ReadJournalFile(MeterJournalFile(journal, "310245")).records;
    ASSERT_EQ(records.size(), 1u);
    const JournalEvent& e = records[0].event;
    EXPECT_EQ(e.kind, "write");
    EXPECT_EQ(e.port, "COM3");
    EXPECT_EQ(e.speed, 19200);
    EXPECT_EQ(e.address, 5);
    EXPECT_EQ(e.program, "calibrate 1.1");
    EXPECT_EQ(e.payload.value("demo", !c.demo), c.demo);
  }
}

}  // namespace
