// The window's part of the service record: the report as a PDF (read back
// with pdftotext) and the journal view, on a virtual meter's session in a
// scratch journal.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string_view>
#include <utility>

#include "GuiTestUtil.h"
#include "app/core/meter/RecordingView.h"
#include "app/core/ops/MeterSnapshotRead.h"
#include "app/gui/service/JournalPanel.h"
#include "app/gui/service/ReportPdf.h"
#include "app/journal/ReportSeal.h"
#include "app/journal/ReportVerify.h"
#include "app/journal/ServiceJournal.h"
#include "sim/DemoMode.h"

namespace {

class Confirming : public WriteView {
 public:
  void ShowDifference(const Confirmation&) override {}
  bool WarningsAccepted() const override { return true; }
  Answer Confirm(const std::string&) override { return Answer::Write; }
  void ShowMessage(const std::string&) override {}
};

// An earlier visit of another run with another K0 of channel 1, then this
// run's read, a write of K0 = 0.003 and a read, all of a virtual ZFK-36.
struct DemoSession {
  explicit DemoSession(bool demo) {
    settings = {true, Dir() + "/journal", "Петров"};
    std::string error;
    auto meter = StartDemoMeter("zfk36", 0, 9600, error);
    EXPECT_TRUE(meter) << error;
    const PortSpec spec{meter ? meter->Device() : "", "COM1", 9600, 0, false};
    RecordingView view;
    reading = read.BRefreshClick(view, spec);
    JournalEvent earlier = ReadJournalEvent(reading, settings, "calibrate 1.1", demo);
    earlier.payload["run"] = "earlier";
    earlier.payload["channels"][0]["k0"]["stored"] = 0.002;
    EXPECT_TRUE(JournalWriter(settings.dir).Append(earlier).ok);
    EXPECT_TRUE(JournalRead(reading, settings, "calibrate 1.1", demo)->ok);
    WriteRequest write;
    write.coefficients = {CoefTarget(CoefList::K, 1, 0, 0.003f)};
    write.saveDir = Dir() + "/before";
    Confirming confirm;
    const WriteOutcome outcome = RunGuardedWrite(spec, read.GetCatalogue(), write, confirm);
    EXPECT_EQ(outcome.status, WriteStatus::Verified) << outcome.reason;
    EXPECT_TRUE(
        JournalWrite(WriteKind::Coefficients, outcome, settings, "calibrate 1.1", demo)->ok);
    reading = read.BRefreshClick(view, spec);
    EXPECT_TRUE(JournalRead(reading, settings, "calibrate 1.1", demo)->ok);
  }
  ServiceReport Report() const {
    const auto sessions =
        JournalSessions(ReadJournalFile(MeterJournalFile(settings.dir, "360517")));
    EXPECT_EQ(sessions.size(), 2u);
    return sessions.empty() ? ServiceReport{} : MakeServiceReport(sessions.back());
  }
  std::string Dir() const { return std::filesystem::path(ini.Path()).parent_path().string(); }
  ScratchIni ini;
  JournalSettings settings;
  TMeterRead read;
  MeterReading reading;
};

std::string PdfText(const std::string& path) {
  std::string text;
  if (FILE* pipe = popen(("pdftotext -layout '" + path + "' -").c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;)
      text.append(buf, n);
    pclose(pipe);
  }
  // The PDF's font joins "ff", "fi" and "fl" into one glyph, which the text
  // comes back as; a report number such as "…-6affe0" must still be found.
  for (const auto& [glyph, letters] : {std::pair{"\uFB00", "ff"},
                                       {"\uFB01", "fi"},
                                       {"\uFB02", "fl"},
                                       {"\uFB03", "ffi"},
                                       {"\uFB04", "ffl"}})
    for (size_t at; (at = text.find(glyph)) != std::string::npos;)
      text.replace(at, std::string_view(glyph).size(), letters);
  return text;
}

}  // namespace

TEST(ServiceRecordGui, ReportPdfCarriesNumberPagesDemoAndValues) {
  TestApp();
  for (bool demo : {true, false}) {
    SCOPED_TRACE(demo);
    DemoSession s(demo);
    const ServiceReport report = s.Report();
    const std::string pdf = s.Dir() + "/report.pdf";
    QString error;
    ASSERT_TRUE(WriteReportPdf(report, QString::fromStdString(pdf), &error)) << error.toStdString();
    const std::string text = PdfText(pdf);
    for (const std::string& expected :
         {report.number, std::string("стр. 1 из "), std::string("0.003"), std::string("проверено")})
      EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find("ДЕМО") != std::string::npos, demo) << text;
    EXPECT_FALSE(WriteReportPdf(report, QString::fromStdString(s.Dir() + "/no/dir/r.pdf")));
  }
}

// A report from a journal whose chain does not verify: the mark on every page.
TEST(ServiceRecordGui, ReportPdfOfABrokenJournalIsMarkedOnEveryPage) {
  TestApp();
  DemoSession s(false);
  ServiceReport report = s.Report();
  report.damage = "журнал повреждён: строка 2";
  // Set after the HTML was made: only the PDF's own page frame can show it.
  for (int i = 0; i < 120; ++i)  // pages enough to see it on each
    report.html += "<p>строка " + std::to_string(i) + "</p>";
  const std::string pdf = s.Dir() + "/broken.pdf";
  ASSERT_TRUE(WriteReportPdf(report, QString::fromStdString(pdf)));
  const std::string text = PdfText(pdf);
  const auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++n;
    return n;
  };
  EXPECT_GE(count("стр. "), 2u) << text;
  EXPECT_EQ(count(report.damage), count("стр. ")) << text;
}

TEST(ServiceRecordGui, JournalPanelShowsTheMetersEventsAndWhatChanged) {
  TestApp();
  DemoSession s(true);
  // Before any read: no meter to show the journal of.
  const ScratchIni benchIni;
  Workbench bench(benchIni.Path(), "calibrate 1.1");
  ASSERT_TRUE(bench.SetJournal(s.settings));
  JournalPanel panel(bench);
  EXPECT_EQ(panel.Events()->count(), 0);
  EXPECT_FALSE(panel.ReportButton()->isEnabled());
  bench.SetLastReading(s.reading);
  panel.Refresh();
  ASSERT_EQ(panel.Events()->count(), 4);
  EXPECT_TRUE(panel.Events()->item(1)->text().contains(QStringLiteral("запись")));
  EXPECT_TRUE(panel.SinceLastVisit()->text().contains(QStringLiteral("K0 к.1: 0.002 → 0.003")))
      << panel.SinceLastVisit()->text().toStdString();
  panel.EnabledBox()->click();
  panel.EngineerEdit()->setText("Сидоров");
  emit panel.EngineerEdit()->textEdited("Сидоров");
  // Saved to the settings file at once.
  const JournalSettings saved = LoadJournalSettings(IniFile(benchIni.Path()));
  EXPECT_FALSE(saved.enabled);
  EXPECT_EQ(saved.engineer, "Сидоров");
  for (const char* name : {"/r.html", "/r.pdf"}) {
    const QString path = QString::fromStdString(s.Dir() + name);
    panel.chooseReportFile = [&](const QString&) { return path; };
    panel.ReportButton()->click();
    EXPECT_TRUE(panel.Status()->text().contains(QStringLiteral("сохранён"))) << name;
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::string head(5, '\0');
    in.read(head.data(), 5);
    EXPECT_EQ(head, name[3] == 'h' ? "<!DOC" : "%PDF-") << name;
    const ReportVerdict verdict = VerifyReport(path.toStdString(), s.settings.dir);
    EXPECT_TRUE(verdict.Authentic()) << name << ": " << testing::PrintToString(verdict.differences);
  }
  MeterReading stranger = s.reading;
  stranger.serial = "999";
  bench.SetLastReading(stranger);
  panel.Refresh();
  EXPECT_EQ(panel.Events()->count(), 0);
  EXPECT_TRUE(panel.SinceLastVisit()->text().contains(QStringLiteral("нет событий")));
}

namespace {

// A visit of the window: read, snapshot, K[3] of channel 1 = 1.5, the seal
// C2069876, read; each filed in the journal as the window files it.
ServiceReport VisitReport(const std::string& model, const ScratchIni& ini) {
  const std::string dir = std::filesystem::path(ini.Path()).parent_path().string();
  const JournalSettings settings{true, dir + "/journal-" + model, "Петров"};
  std::string error;
  auto meter = StartDemoMeter(model, 0, 9600, error);
  EXPECT_TRUE(meter) << error;
  const PortSpec spec{meter ? meter->Device() : "", "COM1", 9600, 0, false};
  TMeterRead read;
  RecordingView view;
  const auto readAndFile = [&] {
    const MeterReading reading = read.BRefreshClick(view, spec);
    EXPECT_TRUE(JournalRead(reading, settings, "calibrate 1.1", true)->ok);
    return reading;
  };
  const std::string serial = readAndFile().serial;
  EXPECT_TRUE(
      JournalSnapshot(TakeSnapshot(spec, read.GetCatalogue()), settings, "calibrate 1.1", true)
          ->ok);
  Confirming confirm;
  WriteRequest k3;
  k3.coefficients = {CoefTarget(CoefList::K, 1, 3, 1.5f)};
  WriteRequest seal;
  seal.kind = WriteKind::Seal;
  seal.sealText = "C2069876";
  for (WriteRequest* w : {&k3, &seal}) {
    w->saveDir = dir + "/before";
    const WriteOutcome outcome = RunGuardedWrite(spec, read.GetCatalogue(), *w, confirm);
    EXPECT_EQ(outcome.status, WriteStatus::Verified) << outcome.reason;
    EXPECT_TRUE(JournalWrite(w->kind, outcome, settings, "calibrate 1.1", true)->ok);
  }
  readAndFile();
  const auto sessions = JournalSessions(ReadJournalFile(MeterJournalFile(settings.dir, serial)));
  EXPECT_EQ(sessions.size(), 1u);
  return sessions.empty() ? ServiceReport{} : MakeServiceReport(sessions.back());
}

}  // namespace

// The PDF of one visit per model: the model's own name, every date day first,
// the record decoded, K[3] with the value it had, and no write's heading on a
// page without its table, however the pages fall.
TEST(ServiceRecordGui, AVisitsPdfShowsWhatChangedWithEachWriteWhole) {
  TestApp();
  const std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "%d.%m.%Y", std::localtime(&now));
  const std::pair<const char*, const char*> models[] = {{"zfk31", "ZFK-31"},
                                                        {"zfk36", "ZFK-36"},
                                                        {"gdz1207s", "GDZ-12.07S"},
                                                        {"gdz1208", "GDZ-12.08"}};
  for (const auto& [demo, model] : models) {
    SCOPED_TRACE(demo);
    const ScratchIni ini;
    ServiceReport report = VisitReport(demo, ini);
    const std::string pdf = std::filesystem::path(ini.Path()).parent_path().string() + "/v.pdf";
    // Paragraphs before the writes, more each time, so that page breaks
    // fall before, in and after their tables.
    const size_t writes = report.html.find("<h2>Записи в прибор</h2>");
    ASSERT_NE(writes, std::string::npos);
    for (int filler = 0; filler <= 48; filler += 6) {
      ServiceReport shifted = report;
      for (int n = 0; n < filler; ++n)
        shifted.html.insert(writes, "<p>&nbsp;</p>");
      ASSERT_TRUE(WriteReportPdf(shifted, QString::fromStdString(pdf)));
      // CALIBRATE_SHOT_DIR, when set, receives each model's report to look at.
      if (const QByteArray dir = qgetenv("CALIBRATE_SHOT_DIR"); filler == 0 && !dir.isEmpty())
        std::filesystem::copy_file(pdf,
                                   dir.toStdString() + "/report-" + std::string(model) + ".pdf",
                                   std::filesystem::copy_options::overwrite_existing);
      const std::string text = PdfText(pdf);
      for (const std::string& expected :
           {std::string(model), std::string(today), std::string("\"C2069876\" (лицензия"),
            std::string("9876, версия 2.06"), std::string("K[3] к.1")})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
      std::istringstream lines(text);
      for (std::string l; std::getline(lines, l);)
        if (l.find("K[3] к.1") != std::string::npos)
          EXPECT_EQ(l.find("—"), std::string::npos) << l;  // K[3] had a value before
      size_t from = 0;
      for (size_t end; from < text.size(); from = end + 1) {
        end = std::min(text.find('\f', from), text.size());
        const std::string page = text.substr(from, end - from);
        const auto count = [&](const std::string& what) {
          size_t n = 0;
          for (size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1))
            ++n;
          return n;
        };
        EXPECT_EQ(count("операция «"), count("Проверка")) << filler << "\n" << page;
      }
    }
  }
}

// Every page of a sealed report's PDF carries the hash of its data as text
// and its QR code, which zbarimg reads back from the page as pdftoppm draws it.
TEST(ServiceRecordGui, EveryPageOfASealedPdfCarriesItsQrCodeAndHash) {
  TestApp();
  DemoSession s(true);
  const auto sessions =
      JournalSessions(ReadJournalFile(MeterJournalFile(s.settings.dir, "360517")));
  ASSERT_FALSE(sessions.empty());
  const ReportSeal seal = MakeReportSeal(sessions.back());
  const ServiceReport report = MakeServiceReport(sessions.back(), nullptr, &seal);
  const std::string pdf = s.Dir() + "/sealed.pdf";
  ASSERT_TRUE(WriteReportPdf(report, QString::fromStdString(pdf)));
  std::vector<std::string> pages;
  std::istringstream text(PdfText(pdf));
  for (std::string page; std::getline(text, page, '\f');)
    if (!page.empty()) pages.push_back(page);
  ASSERT_GE(pages.size(), 2u);
  for (const std::string& page : pages)
    EXPECT_NE(page.find("SHA-256 сведений: " + seal.dataHash), std::string::npos) << page;
  if (std::system("command -v zbarimg >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
  ASSERT_EQ(std::system(("pdftoppm -r 150 -png '" + pdf + "' '" + s.Dir() + "/page'").c_str()), 0);
  for (size_t n = 1; n <= pages.size(); ++n) {
    std::string png = s.Dir() + "/page-" + std::to_string(n) + ".png";
    if (!std::filesystem::exists(png)) png = s.Dir() + "/page-0" + std::to_string(n) + ".png";
    std::string decoded;
    if (FILE* pipe = popen(("zbarimg --raw -q '" + png + "'").c_str(), "r")) {
      for (char buf[256]; fgets(buf, sizeof buf, pipe);)
        decoded += buf;
      pclose(pipe);
    }
    // The page that holds the section «Подлинность» shows the code twice.
    std::istringstream codes(decoded);
    size_t found = 0;
    for (std::string code; std::getline(codes, code); ++found)
      EXPECT_EQ(code, seal.qrText) << png;
    EXPECT_GE(found, 1u) << png;
  }
}
