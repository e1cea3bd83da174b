// The service window against demo meters of each model, opened from the main
// window after a read: coefficients loaded, one edited and written only with
// the right digits typed, the seal and the clock written and read back, and
// the main window's read held off while an operation has the meter.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidgetItem>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "GuiTestUtil.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/core/values/MeterSnapshotJson.h"
#include "app/gui/service/JournalPanel.h"
#include "app/gui/service/LivePanel.h"
#include "app/gui/service/ServiceWindow.h"
#include "app/journal/JournalReader.h"
#include "app/journal/ServiceJournal.h"
#include "sim/DemoMode.h"

namespace {

// What the port list calls the demo's meter, as main() names it.
const QString kDemoName = "демо";

struct ModelCase {
  const char* model;
  bool clock;  // the 3x models keep one
};

class ServiceWindowTest : public WindowTest, public ::testing::WithParamInterface<ModelCase> {};

float Value(const QTableWidgetItem* cell) {
  return QLocale::c().toFloat(cell->text());
}

TEST_P(ServiceWindowTest, WritesCoefficientSealAndClockOnlyWhenConfirmed) {
  std::string error;
  auto demo = StartDemoMeter(GetParam().model, 0, 19200, error);
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun(demo->Device(), kDemoName);
  window->CBBaud->setCurrentIndex(1);
  window->BRefreshClick();
  ASSERT_EQ(window->LastReading().result, ReadResult::Ok);
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  EXPECT_EQ(service.Tabs->indexOf(service.ClockView) >= 0, GetParam().clock);

  service.LoadClick();
  QTableWidgetItem* cell = service.CoefCell(0, 1, 3);
  const float old = Value(cell);
  const float wanted = old + 0.25f;
  cell->setText(QString::number(static_cast<double>(wanted)).replace('.', ','));
  EXPECT_TRUE(cell->font().bold());

  // Wrong digits: the dialog's button stays disabled and nothing goes out.
  const QString tail = SerialTail(window->LastReading().serial);
  QString wrong = tail;
  wrong[0] = tail[0] == '1' ? '2' : '1';
  bool refreshWhileAsked = true;
  QString otherOperation;
  service.SetAnswering([&](QDialog& dialog, const QString& serial) {
    refreshWhileAsked = window->BRefresh->isEnabled();
    service.LoadClick();  // a second operation while this one holds the meter
    otherOperation = service.StatusText();
    Typing(wrong)(dialog, serial);
  });
  service.WriteCoefsClick();
  EXPECT_FALSE(refreshWhileAsked);
  EXPECT_EQ(otherOperation.toStdString(), "Идёт другая операция");
  EXPECT_TRUE(window->BRefresh->isEnabled());
  ASSERT_TRUE(service.LastOutcome());
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::DryRun);
  EXPECT_EQ(demo->Meter()->WriteCount(), 0u);

  service.SetAnswering(Typing(tail));
  service.WriteCoefsClick();
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Verified)
      << service.StatusText().toStdString();
  EXPECT_TRUE(std::filesystem::exists(service.LastOutcome()->imagePath));
  EXPECT_TRUE(service.LastOutcome()->imagePath.starts_with(service.ImageDir().toStdString()));
  service.LoadClick();
  EXPECT_EQ(Value(service.CoefCell(0, 1, 3)), wanted);
  EXPECT_FALSE(service.CoefCell(0, 1, 3)->font().bold());

  // Back to the old value from the before-image, then every item from a
  // snapshot file of the meter as it is now.
  service.RestoreFrom(QString::fromStdString(service.LastOutcome()->imagePath));
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Verified);
  EXPECT_EQ(Value(service.CoefCell(0, 1, 3)), old);
  const std::string snapshotFile = ini.Path() + ".snapshot.json";
  std::ofstream(snapshotFile) << DumpJson(
      SnapshotToJson(TakeSnapshot(window->Bench().MeterPort(), window->Bench().GetCatalogue())));
  service.RestoreFrom(QString::fromStdString(snapshotFile));
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Verified)
      << service.StatusText().toStdString();
  EXPECT_GT(service.LastOutcome()->verification.size(), 10u);

  // The seal: refused unless 8 characters, previewed as the main window shows it.
  const size_t writes = demo->Meter()->WriteCount();
  service.ESeal->setText("C206987");
  service.WriteSealClick();
  EXPECT_NE(service.StatusText().indexOf("8 символов"), -1) << service.StatusText().toStdString();
  EXPECT_EQ(demo->Meter()->WriteCount(), writes);
  service.ESeal->setText("C2069876");
  EXPECT_TRUE(service.LSealShown->text().startsWith("9876, v.2.06"));
  EXPECT_TRUE(service.LSealBytes->text().startsWith("43 32 30 36 39 38 37 36 00 00"));
  service.WriteSealClick();
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Verified)
      << service.StatusText().toStdString();
  EXPECT_TRUE(service.LSealNow->text().startsWith("9876, v.2.06"));

  if (!GetParam().clock) return;
  service.SetClockClick();
  EXPECT_EQ(service.LastOutcome()->status, WriteStatus::Verified)
      << service.StatusText().toStdString();
  EXPECT_NE(service.LMeterTime->text(), "—");
  EXPECT_TRUE(service.LClockDiff->text().endsWith(" с") ||
              service.LClockDiff->text().contains(" с ("));
  // The meter's clock runs on with the computer's, a second later a second on.
  const auto at = [](const QLabel* l) {
    return QDateTime::fromString(l->text(), "dd.MM.yyyy HH:mm:ss");
  };
  const QDateTime meterBefore = at(service.LMeterTime);
  ASSERT_TRUE(meterBefore.isValid()) << service.LMeterTime->text().toStdString();
  const qint64 differenceBefore = at(service.LComputerTime).secsTo(meterBefore);
  QTest::qWait(2100);  // the window's second ticker runs at least once a second after
  EXPECT_GE(meterBefore.secsTo(at(service.LMeterTime)), 1);
  EXPECT_EQ(at(service.LComputerTime).secsTo(at(service.LMeterTime)), differenceBefore);
}

INSTANTIATE_TEST_SUITE_P(Models, ServiceWindowTest,
                         ::testing::Values(ModelCase{"zfk31", true}, ModelCase{"zfk36", true},
                                           ModelCase{"gdz1207s-2", true},
                                           ModelCase{"gdz1208", false}),
                         [](const auto& info) {
                           std::string name = info.param.model;
                           std::erase(name, '-');
                           return name;
                         });

TEST_F(WindowTest, ServiceBeforeAReadAsksForOne) {
  auto window = MakeWindow(ini.Path());
  window->BServiceClick();
  TFrmService* service = window->ServiceWindow();
  ASSERT_NE(service, nullptr);
  EXPECT_TRUE(service->isVisible());
  EXPECT_TRUE(service->LMeter->text().startsWith("Сначала прочитайте прибор"));
  EXPECT_FALSE(service->Tabs->isEnabled());
  EXPECT_TRUE(boxes.empty());
  window->BServiceClick();  // one window, raised again
  EXPECT_EQ(window->ServiceWindow(), service);
}

// A ZFK-36 whose coefficient block no longer matches its checksum: the
// service window's read says so instead of "Прочитано из прибора".
TEST_F(WindowTest, ServiceReadWarnsOfACorruptZfk36Block) {
  std::string error;
  auto demo = StartDemoMeter("zfk36", 0, 19200, error);
  ASSERT_TRUE(demo) << error;
  std::vector<uint8_t> b = demo->Meter()->Read(metersim::MemoryArea::Rtc2k, 1504 + 10, 1);
  b[0] ^= 0x01;
  demo->Meter()->Write(metersim::MemoryArea::Rtc2k, 1504 + 10, b);
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun(demo->Device(), kDemoName);
  window->CBBaud->setCurrentIndex(1);
  window->BRefreshClick();
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  service.LoadClick();
  EXPECT_TRUE(service.StatusText().startsWith("Внимание: блок коэффициентов повреждён"))
      << service.StatusText().toStdString();
}

}  // namespace

namespace {

// Closing the program while the live values are polled: the view gives the
// meter back and closes the port before the main window's read goes.
TEST_F(WindowTest, ClosingWhileLiveValuesRunGivesTheMeterBackFirst) {
  std::string error;
  auto demo = StartDemoMeter("zfk31", 0, 19200, error);
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  window->SelectDeviceForRun(demo->Device(), kDemoName);
  window->CBBaud->setCurrentIndex(1);
  window->BRefreshClick();
  ASSERT_EQ(window->LastReading().result, ReadResult::Ok);
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  auto* live = service.findChild<TLivePanel*>();
  ASSERT_NE(live, nullptr);
  // Leaving the view pauses it and gives the meter back.
  service.Tabs->setCurrentWidget(live);
  live->Start();
  ASSERT_TRUE(live->Running());
  EXPECT_FALSE(window->BRefresh->isEnabled());
  service.Tabs->setCurrentIndex(0);
  EXPECT_FALSE(live->Running());
  EXPECT_TRUE(window->BRefresh->isEnabled());

  service.Tabs->setCurrentWidget(live);
  live->Start();
  ASSERT_TRUE(live->Running());
  window.reset();  // a use after free here is what ASan catches
  EXPECT_EQ(demo->Meter()->WriteCount(), 0u);
}

// "Снимок" files a snapshot of the meter when the journal is kept, and only
// reads it when not.
TEST_F(WindowTest, TheSnapshotButtonFilesASnapshotWhenTheJournalIsKept) {
  std::string error;
  auto demo = StartDemoMeter("zfk36", 0, 9600, error);
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  const std::string dir = ini.Path() + ".journal";
  ASSERT_TRUE(window->IniSettings().Ini().WriteString("Journal", "Dir", dir));
  window->SelectDeviceForRun(demo->Device(), kDemoName);
  window->BRefreshClick();
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  for (const bool kept : {false, true, true}) {
    ASSERT_TRUE(window->IniSettings().Ini().WriteInteger("Journal", "Enabled", kept));
    service.BSnapshot->click();
    EXPECT_TRUE(service.StatusText().contains(kept ? "снимок записан в журнал" : "не ведётся"))
        << service.StatusText().toStdString();
  }
  std::vector<std::string> kinds;
  for (const JournalRecord& r : ReadMeterJournal(dir, "360517").records)
    kinds.push_back(r.event.kind);
  EXPECT_EQ(kinds, (std::vector<std::string>{"snapshot", "snapshot"}));
  EXPECT_EQ(demo->Meter()->WriteCount(), 0u);
}

// With the journal on, the window files its reads and its writes in one
// chain, and the journal view lists them. A journal that names no engineer
// gets one asked for, and kept, before the write; without one nothing is
// written. Where it requires reasons, "Записать" waits for one, and the
// reason reaches both of the write's events.
TEST_F(WindowTest, TheJournalKeepsTheWindowsReadsAndWrites) {
  std::string error;
  auto demo = StartDemoMeter("zfk31", 0, 19200, error);
  ASSERT_TRUE(demo) << error;
  auto window = MakeWindow(ini.Path());
  const std::string dir = ini.Path() + ".journal";
  IniFile& settings = window->IniSettings().Ini();
  ASSERT_TRUE(settings.WriteInteger("Journal", "Enabled", 1) &&
              settings.WriteString("Journal", "Dir", dir) &&
              settings.WriteInteger("Journal", "RequireReason", 1));
  window->SelectDeviceForRun(demo->Device(), kDemoName);
  window->CBBaud->setCurrentIndex(1);
  window->BRefreshClick();
  ASSERT_EQ(window->LastReading().result, ReadResult::Ok);
  window->BServiceClick();
  TFrmService& service = *window->ServiceWindow();
  const QString tail = SerialTail(window->LastReading().serial);
  QString engineer;  // what the engineer types when asked; empty: he cancels
  service.SetAskingEngineer(
      [&](QDialog& dialog) { dialog.findChild<QLineEdit*>("EEngineer")->setText(engineer); });
  std::vector<bool> enabled;  // "Записать" with the digits, then with each reason
  service.SetAnswering([&](QDialog& dialog, const QString& serial) {
    Typing(tail)(dialog, serial);
    enabled.push_back(dialog.findChild<QPushButton*>("BWrite")->isEnabled());
    for (const char* reason : {"   ", "замена батареи"}) {
      dialog.findChild<QLineEdit*>("EReason")->setText(reason);
      enabled.push_back(dialog.findChild<QPushButton*>("BWrite")->isEnabled());
    }
  });
  service.ESeal->setText("C2069876");
  service.WriteSealClick();
  EXPECT_FALSE(service.LastOutcome().has_value());
  EXPECT_TRUE(service.StatusText().contains("инженер не указан"));
  engineer = " Сидоров ";
  service.WriteSealClick();
  ASSERT_EQ(service.LastOutcome()->status, WriteStatus::Verified);
  EXPECT_EQ(enabled, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(window->Bench().Journal().engineer, "Сидоров");

  const std::string file = MeterJournalFile(dir, window->LastReading().serial);
  std::vector<std::string> kinds;
  const std::vector<JournalRecord> records = ReadJournalFile(file).records;
  for (const JournalRecord& r : records)
    kinds.push_back(r.event.kind);
  // Newest first: the read began the session, so its snapshot followed; the
  // write's start was filed before the write, and its outcome names it.
  EXPECT_EQ(kinds, (std::vector<std::string>{"write", "write-started", "snapshot", "read"}));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].event.payload.value("started", ""), records[1].id);
  for (const JournalRecord& r : {records[0], records[1]})
    EXPECT_EQ(r.event.engineer + ": " + r.event.reason, "Сидоров: замена батареи");
  EXPECT_TRUE(VerifyJournalFile(file).Ok());
  auto* journal = service.findChild<JournalPanel*>();
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(journal->Events()->count(), 4);
  EXPECT_EQ(journal->EngineerEdit()->text(), "Сидоров");

  // Killed before the outcome: the start, in doubt, with what the meter may hold.
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  in.close();
  ASSERT_EQ(lines.size(), 4u);
  lines.pop_back();
  const auto keep = [&] {
    std::ofstream out(file, std::ios::trunc);
    for (const std::string& line : lines)
      out << line << "\n";
  };
  keep();
  journal->Refresh();
  ASSERT_EQ(journal->Events()->count(), 3);
  EXPECT_TRUE(
      journal->Events()->item(0)->text().contains("прервано, прибор может хранить: "
                                                  "запись калибровки: "))
      << journal->Events()->item(0)->text().toStdString();
  // And an edited first line: the mark heads the list and every report page.
  const size_t at = lines[0].find("\"engineer\":\"");
  ASSERT_NE(at, std::string::npos);
  lines[0].insert(at + 12, "Y");
  keep();
  journal->Refresh();
  ASSERT_EQ(journal->Events()->count(), 4);
  EXPECT_TRUE(journal->Events()->item(0)->text().startsWith("журнал повреждён: строка 1 ("))
      << journal->Events()->item(0)->text().toStdString();
  const std::string html = dir + "/report.html";
  journal->chooseReportFile = [&](const QString&) { return QString::fromStdString(html); };
  journal->ReportButton()->click();
  std::stringstream report;
  report << std::ifstream(html).rdbuf();
  EXPECT_NE(report.str().find("<p class=\"damage\">журнал повреждён: строка 1</p>"),
            std::string::npos);
}

}  // namespace
