#include "DelaysForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/gui/FormScale.h"

const char* const kDelayRowNames[10] = {"ЗФК-31",     "ГДЗ-12.05", "ГДЗ-12.05С", "ГДЗ-12.07",
                                        "ГДЗ-12.07С", "ЗФК-31К",   "ЗФК-3x",     "ГДЗ-12.03С",
                                        "ЗФК31-1",    "БРЦ-АКС"};

namespace {

QSpinBox* MakeSpin(const char* name, int min, int max, int step, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(min, max);
  spin->setSingleStep(step);
  spin->setValue(min);
  return spin;
}

// The spins hold 16-bit positions: a stored value reaches them as its low 16
// bits, and the spin then keeps it within its range.
int SpinPosition(int32_t value) {
  return static_cast<int16_t>(static_cast<uint32_t>(value) & 0xFFFFu);
}

}  // namespace

TFormDelays::TFormDelays(Settings& settings, TDelays& delays, QWidget* parent)
    : QDialog(parent), settings_(settings), delays_(delays) {
  setObjectName("FormDelays");
  setWindowTitle("Задержки");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  auto* groupBox1 = new QGroupBox(" Прибор ", this);
  LBDev = new QListWidget(groupBox1);
  LBDev->setObjectName("LBDev");
  for (const char* name : kDelayRowNames)
    LBDev->addItem(QString::fromUtf8(name));
  auto* deviceLayout = new QVBoxLayout(groupBox1);
  deviceLayout->setContentsMargins(4, 4, 4, 4);
  deviceLayout->addWidget(LBDev);

  auto* groupBox2 = new QGroupBox(" Тайм-ауты ", this);
  UDByte = MakeSpin("UDByte", 50, 5000, 10, groupBox2);
  UDPacket = MakeSpin("UDPacket", 100, 10000, 10, groupBox2);
  UDRepeat = MakeSpin("UDRepeat", 1, 100, 1, groupBox2);
  auto* timeoutLayout = new QVBoxLayout(groupBox2);
  timeoutLayout->setContentsMargins(6, 4, 6, 4);
  timeoutLayout->setSpacing(2);
  for (auto [label, spin] : {std::pair{"Байт (мс)", UDByte}, std::pair{"Пакет (мс)", UDPacket},
                             std::pair{"Попыток повтора", UDRepeat}}) {
    timeoutLayout->addWidget(new QLabel(QString::fromUtf8(label), groupBox2));
    timeoutLayout->addWidget(spin);
  }
  timeoutLayout->addStretch();

  CBEcho = new QCheckBox("Подавлять эхо (2-проводный RS-485)", this);
  CBEcho->setObjectName("CBEcho");
  CBEcho->setToolTip("Адаптер возвращает каждый запрос; программа пропускает это эхо");

  BOk = new QPushButton("Сохранить", this);
  BOk->setObjectName("BOk");
  BOk->setDefault(true);
  BCancel = new QPushButton("Отмена", this);
  BCancel->setObjectName("BCancel");
  BCancel->setAutoDefault(false);

  auto* groups = new QHBoxLayout;
  groups->addWidget(groupBox1, 1);
  groups->addWidget(groupBox2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BOk);
  buttons->addWidget(BCancel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(groups, 1);
  layout->addWidget(CBEcho);
  layout->addLayout(buttons);
  FixFormSize(*this, {233, 224});

  connect(LBDev, &QListWidget::currentRowChanged, this, [this] { LBDevClick(); });
  connect(UDByte, &QSpinBox::valueChanged, this, &TFormDelays::Edit3Change);
  connect(UDPacket, &QSpinBox::valueChanged, this, &TFormDelays::Edit1Change);
  connect(UDRepeat, &QSpinBox::valueChanged, this, &TFormDelays::Edit2Change);
  connect(BOk, &QPushButton::clicked, this, &TFormDelays::BOkClick);
  // Escape and the close box reject the dialog too; QDialog does both.
  connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormDelays::showEvent(QShowEvent* event) {
  FormShow();
  CentreOnParent();
  QDialog::showEvent(event);
}

void TFormDelays::CentreOnParent() {
  if (QWidget* owner = parentWidget()) {
    QRect area = frameGeometry();
    area.moveCenter(owner->frameGeometry().center());
    move(area.topLeft());
  }
}

// Every showing starts afresh from the saved table: what a cancelled showing
// edited is gone.
void TFormDelays::FormShow() {
  EditDelays = delays_;
  CBEcho->setChecked(settings_.EchoSuppression());
  const QSignalBlocker block(LBDev);
  LBDev->setCurrentRow(0);
  ShowRow(0);
}

TDelayRec* TFormDelays::SelectedRow() {
  const int row = LBDev->currentRow();
  if (row < 0 || row >= kLastDelayRow) return nullptr;
  return &EditDelays[static_cast<size_t>(row + kFirstDelayRow)];
}

void TFormDelays::ShowRow(int row) {
  if (row < 0 || row >= kLastDelayRow) return;
  TDelayRec& rec = EditDelays[static_cast<size_t>(row + kFirstDelayRow)];
  {
    const QSignalBlocker b1(UDByte), b2(UDPacket), b3(UDRepeat);
    UDByte->setValue(SpinPosition(rec.NB));
    UDPacket->setValue(SpinPosition(rec.NP));
    UDRepeat->setValue(SpinPosition(rec.NR));
  }
  // The row holds what the spins show, whether or not the spin had to bring a
  // stored value into its range: what is on screen is what "Сохранить" saves.
  rec.NB = UDByte->value();
  rec.NP = UDPacket->value();
  rec.NR = UDRepeat->value();
}

void TFormDelays::LBDevClick() {
  ShowRow(LBDev->currentRow());
}

void TFormDelays::Edit3Change(int position) {
  if (TDelayRec* row = SelectedRow()) row->NB = position;
}

void TFormDelays::Edit1Change(int position) {
  if (TDelayRec* row = SelectedRow()) row->NP = position;
}

void TFormDelays::Edit2Change(int position) {
  if (TDelayRec* row = SelectedRow()) row->NR = position;
}

// All ten rows go to the table and the file, changed or not. When the file
// cannot be written the settings object has already said so; the dialog stays
// open with the edits, so the engineer can try again or cancel.
void TFormDelays::BOkClick() {
  if (settings_.SaveDelays(delays_, EditDelays) &&
      settings_.SetEchoSuppression(CBEcho->isChecked()))
    accept();
}
