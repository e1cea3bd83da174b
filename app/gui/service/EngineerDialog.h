// The window's question for the engineer's name: with the journal kept, every
// write to a meter is filed under the name of who made it, so a window whose
// settings name nobody asks once, before its first journalled write. A small
// modal dialog: the name in "EEngineer", "Продолжить" ("BEngineerOk") only
// once the field holds more than spaces.
#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

// Fills the dialog as the engineer would (its field "EEngineer"), in place of
// showing it; the dialog is then taken as a click on "Продолжить" when that
// button is enabled, else as cancelled.
using EngineerAnswer = std::function<void(QDialog& dialog)>;

// The name given, without the spaces around it; empty when cancelled.
QString AskEngineer(QWidget* parent, const EngineerAnswer& answer = {});
