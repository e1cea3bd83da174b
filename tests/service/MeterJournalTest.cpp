// A meter's events read together whatever file holds them: a journal written
// before every event was named by the meter's model may keep one meter's reads
// under the firmware table's caption and its writes under the model.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "JournalTestUtil.h"
#include "app/journal/JournalReader.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(MeterJournal, OneMeterInTwoFilesIsOneHistoryNewestFirst) {
  const std::string dir = MakeTempDir("journal-two-files");
  const JournalWriter writer(dir);
  const auto append = [&](const char* model, const char* serial, int n, const char* kind) {
    JournalEvent e = MeterEvent(serial, n, kind);
    e.model = model;
    const JournalAppendResult r = writer.Append(e);
    EXPECT_TRUE(r.ok) << r.error;
    // Times are in milliseconds: keep the order unambiguous.
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    return r.file;
  };
  const std::string legacy = append("ЗФК-31", "310245", 1, "read");
  append("ZFK-31", "310245", 2, "write");
  append("ЗФК-31", "310245", 3, "snapshot");
  const std::string current = append("ZFK-31", "310245", 4, "read");
  append("ZFK-36", "999", 5, "read");  // another meter stays apart
  ASSERT_NE(legacy, current);

  for (const std::string& meter : {std::string("310245"), fs::path(legacy).filename().string()}) {
    const JournalFileContent all = ReadMeterJournal(dir, meter);
    ASSERT_TRUE(all.ok) << meter << ": " << all.error;
    ASSERT_EQ(all.records.size(), 4u) << meter;
    for (size_t i = 0; i < 4; ++i)
      EXPECT_EQ(all.records[i].event.payload["n"], 4 - static_cast<int>(i)) << meter;
    EXPECT_EQ(all.file, current) << meter;  // the newest file names the meter now
  }
  EXPECT_FALSE(ReadMeterJournal(dir, "123").ok);

  const JournalListing listing = ListJournalMeters(dir);
  ASSERT_TRUE(listing.ok) << listing.error;
  ASSERT_EQ(listing.meters.size(), 2u);
  const auto zfk31 = std::find_if(listing.meters.begin(), listing.meters.end(),
                                  [](const JournalMeter& m) { return m.serial == "310245"; });
  ASSERT_NE(zfk31, listing.meters.end());
  EXPECT_EQ(zfk31->events, 4u);
  EXPECT_EQ(zfk31->model, "ZFK-31");
  fs::remove_all(dir);
}

}  // namespace
