// The window's side of a guarded write: a modal dialog with each item's old
// value, new value and difference, where the engineer types the last four
// digits of the meter's serial number before "Записать" can be pressed.
// Cancelling sends nothing.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/core/ops/GuardedWrite.h"

class QWidget;

// The last four characters of a serial number (all of a shorter one).
QString SerialTail(const std::string& serial);

class GuiWriteView : public WriteView {
 public:
  // Types into the dialog in place of the engineer: given the meter's serial
  // number, the text typed; the dialog is then answered as a click on
  // "Записать" would be, when the button is enabled, else cancelled.
  using TypeFunc = std::function<QString(const QString& serial)>;

  GuiWriteView(QWidget* parent, TypeFunc type) : parent_(parent), type_(std::move(type)) {}

  void ShowDifference(const std::vector<DiffRow>& rows) override { rows_ = rows; }
  Answer Confirm(const std::string& serial) override;
  void ShowMessage(const std::string& message) override { message_ = message; }
  // What the write said last (a refusal's or failure's reason).
  const std::string& Message() const { return message_; }

 private:
  QWidget* parent_;
  TypeFunc type_;
  std::vector<DiffRow> rows_;
  std::string message_;
};
