#include "WriteDialog.h"

#include "app/gui/BusyCursor.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QTableWidget* DifferenceTable(const std::vector<DiffRow>& rows, QWidget* parent) {
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 4, parent);
  table->setObjectName("DiffTable");
  table->setHorizontalHeaderLabels({"Параметр", "Было", "Будет", "Разница"});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->setFocusPolicy(Qt::NoFocus);
  for (int r = 0; r < table->rowCount(); ++r) {
    const DiffRow& row = rows[static_cast<size_t>(r)];
    int column = 0;
    for (const std::string* text : {&row.item, &row.before, &row.after, &row.difference})
      table->setItem(r, column++, new QTableWidgetItem(QString::fromStdString(*text)));
  }
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
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
  QTableWidget* table = DifferenceTable(rows_, &dialog);
  layout->addWidget(table);
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
  digits->setFocus();
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* write = buttons->addButton("Записать", QDialogButtonBox::AcceptRole);
  write->setObjectName("BWrite");
  write->setEnabled(false);
  buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  QObject::connect(digits, &QLineEdit::textChanged, write,
                   [write, tail](const QString& text) { write->setEnabled(text == tail); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  // Wide enough for the table's columns, within reason.
  const int wide = table->horizontalHeader()->length() +
                   table->verticalScrollBar()->sizeHint().width() + 2 * table->frameWidth() + 24;
  dialog.resize(std::min(std::max(wide, dialog.sizeHint().width()), 900),
                dialog.sizeHint().height());

  bool accepted = false;
  if (type_) {
    digits->setText(type_(QString::fromStdString(serial)));
    accepted = write->isEnabled();
  } else {
    accepted = dialog.exec() == QDialog::Accepted;
  }
  // Cancelled: a dry run, nothing is sent.
  return accepted && digits->text() == tail ? Answer::Write : Answer::DryRun;
}
