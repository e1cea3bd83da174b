// The window's side of a guarded write: a modal dialog with each item that
// changes (its old value, new value and difference), the count of those that
// do not, and the warnings in red, where the engineer types the reason for
// the change (for the journal), the last four digits of the meter's serial
// number, and, when there are warnings, ticks that he checked them, before
// "Записать" can be pressed. Where the journal requires a reason, "Записать"
// waits for one too. Cancelling sends nothing.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/core/ops/GuardedWrite.h"

class QDialog;
class QWidget;

// The last four characters of a serial number (all of a shorter one).
QString SerialTail(const std::string& serial);

class GuiWriteView : public WriteView {
 public:
  // Answers the dialog in place of the engineer: given the dialog as built
  // and the meter's serial number, fills its fields as he would (the reason
  // "EReason", the digits "EDigits", the check box "CBWarnings"); the dialog
  // is then answered as a click on "Записать" ("BWrite") would be, when the
  // button is enabled, else cancelled.
  using AnswerFunc = std::function<void(QDialog& dialog, const QString& serial)>;

  GuiWriteView(QWidget* parent, AnswerFunc answer) : parent_(parent), answer_(std::move(answer)) {}

  void ShowDifference(const Confirmation& confirmation) override { confirmation_ = confirmation; }
  Answer Confirm(const std::string& serial) override;
  bool WarningsAccepted() const override { return warningsAccepted_; }
  std::string ChangeReason() const override { return reason_; }
  // "Записать" only with a reason given (the journal requires one).
  void SetReasonRequired(bool required) { reasonRequired_ = required; }
  void ShowMessage(const std::string& message) override { message_ = message; }
  // What the write said last (a refusal's or failure's reason).
  const std::string& Message() const { return message_; }

 private:
  QWidget* parent_;
  AnswerFunc answer_;
  Confirmation confirmation_;
  bool warningsAccepted_ = false;
  bool reasonRequired_ = false;
  std::string reason_;
  std::string message_;
};
