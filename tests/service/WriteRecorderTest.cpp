// A guarded write in the journal: its start filed before anything is sent,
// the outcome naming the start, a journal that cannot take the start refusing
// the write, and a start without an outcome read as a write left in doubt.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "JournalTestUtil.h"
#include "app/journal/InterruptedWrites.h"
#include "app/journal/JournalWriteRecorder.h"
#include "app/journal/Sha256.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class WriteRecorderTest : public ::testing::Test {
 protected:
  std::string dir_ = MakeTempDir("recorder");
  void TearDown() override { fs::remove_all(dir_); }

  // What the core hands to Started: the before-image, saved, and the targets.
  WriteOutcome Intent() {
    WriteOutcome intent;
    intent.before = {"ZFK-36",
                     "360517",
                     "2026-12-08T07:40:00",
                     {ImageItem::Of(CoefTarget(CoefList::K, 1, 0, 0.0025f))}};
    intent.after = {"ZFK-36",
                    "360517",
                    "2026-12-08T07:40:01",
                    {ImageItem::Of(CoefTarget(CoefList::K, 1, 0, 0.003f))}};
    std::string error;
    intent.imagePath = SaveImage(intent.before, dir_ + "/bi", error);
    EXPECT_FALSE(intent.imagePath.empty()) << error;
    return intent;
  }
  static JournalWriteRecorder RecorderAt(const std::string& journal, bool on = true,
                                         const char* engineer = "Петров", bool reasons = false) {
    return {{on, journal, engineer, reasons}, "calibrate-test", false, {"COM3", 9600, 5}};
  }
};

TEST_F(WriteRecorderTest, TheStartIsFiledFirstAndTheOutcomeNamesIt) {
  const std::string journal = dir_ + "/journal";
  JournalWriteRecorder recorder = RecorderAt(journal);
  WriteOutcome intent = Intent();
  intent.changeReason = "после замены датчика";
  ASSERT_EQ(recorder.Started(WriteKind::Coefficients, intent), "");

  // Killed here, the journal would hold the start and call the write in doubt.
  JournalFileContent content = ReadMeterJournal(journal, "360517");
  ASSERT_EQ(content.records.size(), 1u);
  const JournalRecord start = content.records[0];
  EXPECT_EQ(start.event.kind, "write-started");
  EXPECT_EQ(start.id, recorder.StartedId());
  EXPECT_EQ(start.event.port, "COM3");
  EXPECT_EQ(start.event.reason, "после замены датчика");
  const nlohmann::json& p = start.event.payload;
  EXPECT_EQ(p.at("operation"), "write");
  EXPECT_EQ(p.at("before_image_file"), intent.imagePath);
  EXPECT_EQ(p.at("before_image_sha256"), Sha256Hex(ReadBytes(intent.imagePath)));
  EXPECT_EQ(p.at("before"), nlohmann::json::parse(ImageJson(intent.before).dump()));
  EXPECT_TRUE(IsInterruptedWrite(start, FinishedWriteStarts(content.records)));
  const auto items = WriteItemChanges(start);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].item + ": " + items[0].before + " → " + items[0].after,
            "K[0] к.1: 0.0025 → 0.003");

  WriteOutcome outcome = intent;
  outcome.status = WriteStatus::Verified;
  outcome.verification = {Verification::Verified};
  outcome.written = {true};
  const auto result = recorder.Finish(WriteKind::Coefficients, outcome);
  ASSERT_TRUE(result && result->ok) << (result ? result->error : "nothing filed");
  content = ReadMeterJournal(journal, "360517");
  ASSERT_EQ(content.records.size(), 2u);
  EXPECT_EQ(content.records[0].event.kind, "write");
  EXPECT_EQ(content.records[0].event.payload.at("started"), start.id);
  EXPECT_EQ(content.records[0].event.reason, "после замены датчика");
  const auto finished = FinishedWriteStarts(content.records);
  for (const JournalRecord& r : content.records)
    EXPECT_FALSE(IsInterruptedWrite(r, finished)) << r.event.kind;
  EXPECT_TRUE(content.breaks.empty());
}

// Off: nothing filed, nothing refused. On: a journal that cannot take the
// start, or that lacks the engineer or a reason it requires, refuses the
// write with the cause.
TEST_F(WriteRecorderTest, AStartThatCannotBeFiledRefusesTheWrite) {
  WriteBytes(dir_ + "/file", "x");
  fs::create_directories(dir_ + "/taken/ZFK-36_sn360517.jsonl");  // a folder in the file's place
  struct Case {
    const char* name;
    std::string journal;
    bool on;
    bool imageGone;
    std::string reason;  // the start of Started's answer; empty: accepted
    const char* engineer = "Петров";
    bool reasons = false;  // [Journal] RequireReason=1
    const char* why = "";  // the engineer's reason for the change
  } const cases[] = {
      {"off", dir_ + "/file/j", false, false, ""},
      {"fine", dir_ + "/ok", true, false, ""},
      {"under a file", dir_ + "/file/j", true, false, "журнал недоступен: "},
      {"folder for the meter's file", dir_ + "/taken", true, false, "журнал недоступен: "},
      {"before-image gone", dir_ + "/ok2", true, true, "образ «до записи» "},
      {"off, nobody", dir_ + "/ok3", false, false, "", " ", true},
      {"no engineer", dir_ + "/ok3", true, false, "в журнале не указан инженер", " "},
      {"no reason", dir_ + "/ok3", true, false, "не указана причина", "Петров", true, " \t"},
      {"a reason", dir_ + "/ok4", true, false, "", "Петров", true, "поверка"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JournalWriteRecorder recorder = RecorderAt(c.journal, c.on, c.engineer, c.reasons);
    WriteOutcome intent = Intent();
    intent.changeReason = c.why;
    if (c.imageGone) fs::remove(intent.imagePath);
    const std::string answer = recorder.Started(WriteKind::Coefficients, intent);
    EXPECT_EQ(answer.substr(0, c.reason.size()), c.reason) << answer;
    EXPECT_EQ(answer.empty(), c.reason.empty()) << answer;
    EXPECT_EQ(recorder.StartedId().empty(), !c.on || !c.reason.empty());
    // A write refused before it began changed nothing: no outcome to file.
    WriteOutcome refused = intent;
    refused.status = WriteStatus::Refused;
    EXPECT_EQ(recorder.Finish(WriteKind::Coefficients, refused).has_value(),
              !recorder.StartedId().empty());
  }
}

JournalRecord Event(const std::string& id, const std::string& kind, nlohmann::json payload) {
  JournalRecord r;
  r.id = id;
  r.event.kind = kind;
  r.event.payload = std::move(payload);
  return r;
}

TEST(InterruptedWrites, AStartWithoutItsOutcomeAndAStoppedWriteAreInDoubt) {
  const std::vector<JournalRecord> records = {
      Event("a1", "write-started", {{"operation", "write"}}),
      Event("b2", "write-started", {{"operation", "reset"}}),
      Event("c3", "write", {{"status", "verified"}, {"started", "a1"}}),
      Event("d4", "write", {{"status", "interrupted"}, {"started", "e5"}}),
      Event("e5", "write-started", {{"operation", "write"}}),
      Event("f6", "write", {{"status", "failed"}}),  // a journal of before write-started
      Event("g7", "read", {{"status", "interrupted"}}),
  };
  const auto finished = FinishedWriteStarts(records);
  const std::map<std::string, bool> expected = {{"a1", false}, {"b2", true},  {"c3", false},
                                                {"d4", true},  {"e5", false}, {"f6", false},
                                                {"g7", false}};
  for (const JournalRecord& r : records)
    EXPECT_EQ(IsInterruptedWrite(r, finished), expected.at(r.id)) << r.id;
}

}  // namespace
