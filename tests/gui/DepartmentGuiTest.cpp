// The journal view's sync with the department's record on a throwaway
// PostgreSQL server: the other workstation's visit comes into the list,
// marked with its engineer and workstation.
#ifdef CALIBRATE_DEPARTMENT
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <chrono>
#include <fstream>
#include <thread>

#include "GuiTestUtil.h"
#include "app/department/DepartmentStore.h"
#include "app/department/DepartmentSync.h"
#include "app/gui/service/JournalPanel.h"
#include "app/gui/service/SyncBar.h"
#include "support/PgServer.h"
#include "support/TempDir.h"

namespace {

void Record(const std::string& dir, const std::string& ws, const std::string& engineer) {
  JournalEvent e;
  e.kind = "read";
  e.engineer = engineer;
  e.workstation = ws;
  e.program = "calibrate 1.1";
  e.model = "ZFK-36";
  e.serial = "360517";
  e.payload = {{"result", "ok"}, {"channels", {{{"k0", {{"stored", 0.0025}}}}}}};
  ASSERT_TRUE(JournalWriter(dir).Append(e).ok);
}

}  // namespace

TEST(DepartmentGui, SyncBringsTheOtherWorkstationsVisitIntoTheJournalView) {
  TestApp();
  std::string why;
  PgServer* server = PgServer::Shared(why);
  if (!server) GTEST_SKIP() << "no PostgreSQL server: " << why;
  const std::string url = server->Url(server->NewDatabase());
  const auto store = DepartmentStore::Open(url, why);
  ASSERT_TRUE(store && store->Init(why)) << why;
  const std::string dir = MakeTempDir("calibrate-gui-department");
  Record(dir + "/other", "ws-other", "Смирнов");
  ASSERT_TRUE(SyncJournal(*store, {dir + "/other", "ws-other", "north", false, {}}).ok);
  Record(dir + "/journal", "ws-own", "Петров");
  const std::string ini = dir + "/Calibrate.ini";
  std::ofstream(ini)
      << "[Journal]\nEnabled=1\nDir=journal\nEngineer=Петров\n[Department]\nDatabase=" << url
      << "\nSite=north\n";

  Workbench bench(ini, "calibrate 1.1");
  MeterReading reading;
  reading.serial = "360517";
  bench.SetLastReading(reading);
  JournalPanel panel(bench);
  panel.resize(760, 420);
  ASSERT_NE(panel.Sync(), nullptr);
  ASSERT_EQ(panel.Events()->count(), 1);
  panel.Sync()->Button()->click();
  for (int i = 0; i < 2000 && panel.Sync()->Running(); ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  QCoreApplication::processEvents();
  EXPECT_TRUE(panel.Sync()->Result()->text().contains(QStringLiteral("получено: 1")))
      << panel.Sync()->Result()->text().toStdString();
  ASSERT_EQ(panel.Events()->count(), 2);
  const QString theirs = panel.Events()->item(0)->text() + panel.Events()->item(1)->text();
  EXPECT_TRUE(theirs.contains(QStringLiteral("[Смирнов, рабочее место ws-other]")))
      << theirs.toStdString();
  if (const QByteArray shots = qgetenv("CALIBRATE_SHOT_DIR"); !shots.isEmpty())
    panel.grab().save(QString::fromLocal8Bit(shots) + "/journal-sync.png");
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
#endif
