#include "EngineerDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/BusyCursor.h"

QString AskEngineer(QWidget* parent, const EngineerAnswer& answer) {
  const CursorPause arrow;
  QDialog dialog(parent);
  dialog.setObjectName("EngineerDialog");
  dialog.setWindowTitle("Инженер");
  auto* layout = new QVBoxLayout(&dialog);
  auto* prompt = new QLabel(
      "Журнал обслуживания ведётся, а инженер не указан. Кто выполняет запись в прибор? Имя "
      "сохранится в настройках (вкладка «Журнал»).",
      &dialog);
  prompt->setWordWrap(true);
  layout->addWidget(prompt);
  auto* name = new QLineEdit(&dialog);
  name->setObjectName("EEngineer");
  layout->addWidget(name);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* ok = buttons->addButton("Продолжить", QDialogButtonBox::AcceptRole);
  ok->setObjectName("BEngineerOk");
  ok->setEnabled(false);
  buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  QObject::connect(name, &QLineEdit::textChanged, ok,
                   [=](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  bool accepted = false;
  if (answer) {
    answer(dialog);
    accepted = ok->isEnabled();
  } else {
    accepted = dialog.exec() == QDialog::Accepted;
  }
  return accepted ? name->text().trimmed() : QString();
}
