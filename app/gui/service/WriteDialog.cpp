#include "WriteDialog.h"

#include "app/gui/BusyCursor.h"
#include "app/journal/JournalWriteRecorder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor kWarningColor(0xb0, 0x00, 0x00);

QTableWidget* DifferenceTable(const std::vector<DiffRow>& rows, QWidget* parent) {
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 5, parent);
  table->setObjectName("DiffTable");
  table->setHorizontalHeaderLabels({"Параметр", "Было", "Будет", "Разница", "Изменение"});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setFocusPolicy(Qt::NoFocus);
  table->setWordWrap(false);
  for (int r = 0; r < table->rowCount(); ++r) {
    const DiffRow& row = rows[static_cast<size_t>(r)];
    int column = 0;
    for (const std::string* text :
         {&row.item, &row.before, &row.after, &row.difference, &row.share}) {
      auto* cell = new QTableWidgetItem(QString::fromStdString(*text));
      if (row.warned) cell->setForeground(kWarningColor);
      table->setItem(r, column++, cell);
    }
  }
  table->resizeColumnsToContents();
  table->resizeRowsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

QLabel* WarningLines(const std::vector<std::string>& warnings, QWidget* parent) {
  QStringList lines;
  for (const std::string& w : warnings)
    lines << "Внимание: " + QString::fromStdString(w);
  auto* label = new QLabel(lines.join('\n'), parent);
  label->setObjectName("LWarnings");
  label->setWordWrap(true);
  label->setStyleSheet(QString("color: %1;").arg(kWarningColor.name()));
  return label;
}

// Every row in sight, as far as the screen allows; beyond that the table
// scrolls. Wide enough for the columns, within reason.
void FitToRows(QDialog& dialog, QTableWidget* table, QWidget* parent) {
  const int wide = table->horizontalHeader()->length() +
                   table->verticalScrollBar()->sizeHint().width() + 2 * table->frameWidth() + 24;
  const int width = std::min(std::max(wide, dialog.sizeHint().width()), 900);
  const bool scrollsAcross = wide - 24 > width;
  const int rows = table->horizontalHeader()->sizeHint().height() +
                   table->verticalHeader()->length() + 2 * table->frameWidth() +
                   (scrollsAcross ? table->horizontalScrollBar()->sizeHint().height() : 0);
  const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  const int others = dialog.sizeHint().height() - table->sizeHint().height();
  // Room for the window's frame and title above and below the dialog.
  const int room = screen ? screen->availableGeometry().height() - others - 80 : rows;
  table->setMinimumHeight(
      std::max(std::min(rows, room), 3 * table->verticalHeader()->defaultSectionSize()));
  dialog.resize(width, dialog.sizeHint().height());
}

}  // namespace

QString SerialTail(const std::string& serial) {
  return QString::fromStdString(serial).right(4);
}

WriteView::Answer GuiWriteView::Confirm(const std::string& serial) {
  const CursorPause arrow;
  QDialog dialog(parent_);
  dialog.setObjectName("WriteDialog");
  dialog.setWindowTitle("Подтверждение записи");
  auto* layout = new QVBoxLayout(&dialog);
  QTableWidget* table = DifferenceTable(confirmation_.rows, &dialog);
  layout->addWidget(table, 1);
  if (confirmation_.unchanged > 0) {
    auto* unchanged = new QLabel(QString::fromStdString(confirmation_.UnchangedText()), &dialog);
    unchanged->setObjectName("LUnchanged");
    layout->addWidget(unchanged);
  }
  QCheckBox* checked = nullptr;
  if (!confirmation_.warnings.empty()) {
    layout->addWidget(WarningLines(confirmation_.warnings, &dialog));
    checked = new QCheckBox("Я проверил предупреждения и записываю всё же", &dialog);
    checked->setObjectName("CBWarnings");
    layout->addWidget(checked);
  }
  auto* reasonLabel = new QLabel(reasonRequired_ ? "Причина изменения (журнал требует её):"
                                                 : "Причина изменения (для журнала):",
                                 &dialog);
  layout->addWidget(reasonLabel);
  auto* reason = new QLineEdit(&dialog);
  reason->setObjectName("EReason");
  layout->addWidget(reason);
  const QString tail = SerialTail(serial);
  auto* prompt = new QLabel(QString("Прибор № %1. Чтобы записать, введите последние %2 цифры "
                                    "его номера:")
                                .arg(QString::fromStdString(serial))
                                .arg(tail.size()),
                            &dialog);
  layout->addWidget(prompt);
  auto* digits = new QLineEdit(&dialog);
  digits->setObjectName("EDigits");
  layout->addWidget(digits);
  (reasonRequired_ ? reason : digits)->setFocus();
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* write = buttons->addButton("Записать", QDialogButtonBox::AcceptRole);
  write->setObjectName("BWrite");
  write->setEnabled(false);
  buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  const bool required = reasonRequired_;
  const auto ready = [=] {
    return digits->text() == tail && (!checked || checked->isChecked()) &&
           (!required || !IsBlank(reason->text().toStdString()));
  };
  const auto update = [=] { write->setEnabled(ready()); };
  QObject::connect(digits, &QLineEdit::textChanged, write, update);
  QObject::connect(reason, &QLineEdit::textChanged, write, update);
  if (checked) QObject::connect(checked, &QCheckBox::toggled, write, update);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  FitToRows(dialog, table, parent_);

  bool accepted = false;
  if (answer_) {
    answer_(dialog, QString::fromStdString(serial));
    accepted = write->isEnabled();
  } else {
    accepted = dialog.exec() == QDialog::Accepted;
  }
  warningsAccepted_ = accepted && ready() && checked;
  reason_ = accepted && ready() ? reason->text().trimmed().toStdString() : std::string();
  // Cancelled: a dry run, nothing is sent.
  return accepted && ready() ? Answer::Write : Answer::DryRun;
}
