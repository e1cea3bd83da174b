// A press of "Прочитать" against a virtual meter of each model, on virtual
// time: what the window shows must be what the read produced, fields the
// model's path does not write keep their text, and the captions follow the
// identified model.
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

#include "GuiTestUtil.h"
#include "app/core/meter/RecordingView.h"
#include "app/gui/read/DelaysForm.h"
#include "sim/MeterDevice.h"
#include "sim/MeterSim.h"
#include "support/VirtualTime.h"

namespace {

using metersim::MeterModel;

constexpr uint8_t kPort = 26;
constexpr const char* kNoData = "Нет данных или не поддерживается";

std::shared_ptr<metersim::VirtualMeter> Meter(MeterModel model, uint8_t addr) {
  metersim::MeterOptions options;
  options.pacing = false;
  return std::make_shared<metersim::VirtualMeter>(model, addr, options);
}

struct ModelCase {
  MeterModel model;
  const char* caption;
  bool secondChannel;  // the path writes Ek01 and Ek11
  bool record;         // the path reads the calibration record
};

const ModelCase kModels[] = {
    {MeterModel::Zfk31, "ЗФК-31", true, true},
    {MeterModel::Zfk36, "Прибор", true, true},
    {MeterModel::Gdz1207s, "ГДЗ-12.05", false, false},
    {MeterModel::Gdz1207s2, "ГДЗ-12.07", true, true},
    {MeterModel::Gdz1208, "БРЦ-АКС", false, true},
    {MeterModel::Gdz1208x2, "ГДЗ-12.07", true, true},
};

class ModelReadTest : public WindowTest {
 protected:
  ScopedVirtualTime time;
  // COM26 of the settings file's port map.
  ScopedDevice line{"test:model-line"};

  void SetUp() override {
    WindowTest::SetUp();
    ini.Write(PortMap(kPort, line.Name()));
  }
  void PutMeter(std::shared_ptr<metersim::VirtualMeter> meter) {
    line.Put(metersim::MeterDeviceFactory(std::move(meter)));
  }
  std::unique_ptr<TFrmMain> ReadyWindow() {
    auto window = MakeWindow(ini.Path());
    window->SelectPortForRun(kPort);
    return window;
  }
  static void Mark(TFrmMain& window) {
    for (size_t i = 0; i < kReadFieldCount; ++i)
      window.Field(static_cast<ReadField>(i))->setText("old");
  }
};

TEST_F(ModelReadTest, EachModelFillsTheFieldsItsPathReads) {
  for (const ModelCase& c : kModels) {
    SCOPED_TRACE(metersim::MeterModelName(c.model));
    boxes.clear();

    // What the read itself produces for this meter.
    PutMeter(Meter(c.model, 5));
    RecordingView expected;
    TMeterRead reference;
    reference.SetDecimalSeparator(LocaleDecimalSeparator());
    const PortSpec spec{line.Name(), "COM26", 9600, 5, false};
    ASSERT_EQ(reference.BRefreshClick(expected, spec).result, ReadResult::Ok);

    PutMeter(Meter(c.model, 5));
    auto window = ReadyWindow();
    window->UDNetAddr->setValue(5);
    Mark(*window);
    window->BRefreshClick();

    EXPECT_TRUE(boxes.empty());
    for (size_t i = 0; i < kReadFieldCount; ++i) {
      const auto field = static_cast<ReadField>(i);
      const std::string shown = FieldText(*window, field);
      EXPECT_EQ(shown, expected.Field(field).value_or("old")) << "field " << i;
      EXPECT_EQ(shown.find("ERR"), std::string::npos) << "field " << i;
    }
    EXPECT_FALSE(FieldText(*window, ReadField::ELicNo).empty());
    EXPECT_NE(FieldText(*window, ReadField::Ek00), "old");
    EXPECT_NE(FieldText(*window, ReadField::Ek10), "old");
    EXPECT_EQ(FieldText(*window, ReadField::Ek01) != "old", c.secondChannel);
    EXPECT_EQ(FieldText(*window, ReadField::Ek11) != "old", c.secondChannel);
    EXPECT_EQ(FieldText(*window, ReadField::EClbLic), c.record ? "1234, v.1.05" : kNoData);
    EXPECT_EQ(FieldText(*window, ReadField::EClbDate), c.record ? "16.07.22 10:30:00" : kNoData);
    EXPECT_EQ(window->GBDevice->title().toStdString(), c.caption);
    EXPECT_FALSE(window->EVer->isHidden());
    EXPECT_FALSE(window->ECRC->isHidden());
    EXPECT_EQ(FieldText(*window, ReadField::EVer), "v1.00");
    EXPECT_EQ(FieldText(*window, ReadField::ECRC), "00000000");
    EXPECT_TRUE(window->BRefresh->isEnabled());
  }
}

TEST_F(ModelReadTest, CoefficientsUseTheLocalesDecimalSeparator) {
  const QLocale saved;
  for (auto [language, separator] :
       {std::pair{QLocale::Russian, ','}, std::pair{QLocale::English, '.'}}) {
    QLocale::setDefault(QLocale(language));
    PutMeter(Meter(MeterModel::Zfk31, 0));
    auto window = ReadyWindow();
    window->BRefreshClick();
    for (ReadField f : {ReadField::Ek00, ReadField::Ek10, ReadField::Ek01, ReadField::Ek11}) {
      const std::string text = FieldText(*window, f);
      const char other = separator == ',' ? '.' : ',';
      EXPECT_NE(text.find(separator), std::string::npos) << text;
      EXPECT_EQ(text.find(other), std::string::npos) << text;
    }
  }
  QLocale::setDefault(saved);
}

// The next read starts from what the last one left: a single-node meter after
// a two-node one leaves the second channel's values standing, and a meter
// that is gone keeps the serial number and coefficients.
TEST_F(ModelReadTest, FieldsAPathDoesNotWriteKeepTheLastReadsText) {
  auto window = ReadyWindow();
  PutMeter(Meter(MeterModel::Gdz1207s2, 0));
  window->BRefreshClick();
  const std::string ek01 = FieldText(*window, ReadField::Ek01);
  const std::string ek11 = FieldText(*window, ReadField::Ek11);
  ASSERT_NE(ek01, "");
  ASSERT_EQ(FieldText(*window, ReadField::EClbLic), "1234, v.1.05");

  PutMeter(Meter(MeterModel::Gdz1207s, 0));
  window->BRefreshClick();
  EXPECT_EQ(FieldText(*window, ReadField::Ek01), ek01);
  EXPECT_EQ(FieldText(*window, ReadField::Ek11), ek11);
  EXPECT_EQ(FieldText(*window, ReadField::EClbLic), kNoData);
  EXPECT_EQ(FieldText(*window, ReadField::EClbDate), kNoData);
  EXPECT_EQ(window->GBDevice->title().toStdString(), "ГДЗ-12.05");
  const std::string serial = FieldText(*window, ReadField::ELicNo);
  const std::string ek00 = FieldText(*window, ReadField::Ek00);

  // Nothing answers at this address any more.
  PutMeter(Meter(MeterModel::Zfk31, 99));
  window->BRefreshClick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Прибор не найден ");
  EXPECT_EQ(FieldText(*window, ReadField::ELicNo), serial);
  EXPECT_EQ(FieldText(*window, ReadField::Ek00), ek00);
  EXPECT_EQ(FieldText(*window, ReadField::Ek01), ek01);
  EXPECT_EQ(window->GBDevice->title().toStdString(), "ГДЗ-12.05");
  EXPECT_TRUE(window->EVer->isHidden());
}

TEST_F(ModelReadTest, TimeOutsSavedInTheDialogReachTheZfk36Read) {
  // Row 7 ("ЗФК-3x") with a packet time-out of 2000 ms; after the
  // identification (asked with row 1, left at its defaults) the meter answers
  // every request 1000 ms late, which the default 350 ms would miss.
  auto window = ReadyWindow();
  window->show();
  TFormDelays& dialog = window->FormDelays();
  dialog.show();
  dialog.LBDev->setCurrentRow(6);
  dialog.UDPacket->setValue(2000);
  dialog.UDRepeat->setValue(1);
  dialog.BOk->click();
  ASSERT_EQ(window->Bench().GetCatalogue().delays[7].NP, 2000);
  auto meter = Meter(MeterModel::Zfk36, 0);
  metersim::Fault late;
  late.kind = metersim::FaultKind::Delay;
  late.ms = 1000;
  late.skip = 1;
  meter->AddFault(late);
  PutMeter(meter);
  window->BRefreshClick();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(FieldText(*window, ReadField::EClbLic), "1234, v.1.05");
  EXPECT_EQ(window->GBDevice->title().toStdString(), "Прибор");
}

}  // namespace

namespace {

TEST_F(ModelReadTest, PlaceholderFirmwareDataAreGreyedAndSaySo) {
  // Built-in placeholders, then a reference entered for this model.
  for (const bool configured : {false, true}) {
    PutMeter(Meter(MeterModel::Zfk31, 0));
    auto window = ReadyWindow();
    for (auto& row : window->Bench().GetCatalogue().verTable)
      row.Configured = configured;
    window->BRefreshClick();
    EXPECT_EQ(FieldText(*window, ReadField::EVer), "v1.00");  // the text stays
    EXPECT_EQ(window->EVer->toolTip().isEmpty(), configured);
    EXPECT_EQ(window->ECRC->toolTip().isEmpty(), configured);
    const QColor grey =
        QApplication::palette(window->EVer).color(QPalette::Disabled, QPalette::Text);
    EXPECT_EQ(window->EVer->palette().color(QPalette::Active, QPalette::Text) == grey, !configured);
  }
}

}  // namespace
