// What the window tests share: one QApplication on the offscreen platform, a
// scratch settings file, a record of the message boxes the window shows,
// virtual devices by name, and a look at whether a window shows all its texts
// whole.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/gui/read/MainForm.h"
#include "app/gui/service/WriteDialog.h"
#include "app/journal/ReadJournal.h"
#include "app/journal/Workbench.h"
#include "comm/serial/SerialDevice.h"

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "test_gui";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: at exit Qt's platform plugin may already be gone, and
  // tearing the application down after it crashes.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Fills a write's confirmation as the engineer would: the digits, and the
// check box of the warnings, where there is one, ticked or not.
inline GuiWriteView::AnswerFunc Typing(const QString& digits, bool tick = true) {
  return [=](QDialog& dialog, const QString&) {
    dialog.findChild<QLineEdit*>("EDigits")->setText(digits);
    if (auto* box = dialog.findChild<QCheckBox*>("CBWarnings")) box->setChecked(tick);
  };
}

struct ShownBox {
  QMessageBox::Icon icon;
  std::string caption;
  std::string text;
};

// A settings file in a fresh directory of its own.
class ScratchIni {
 public:
  ScratchIni() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("calibrate-gui-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "Calibrate.ini").string();
  }
  ~ScratchIni() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& Path() const { return path_; }
  void Write(const std::string& text) const { std::ofstream(path_) << text; }
  bool Exists() const { return std::filesystem::exists(path_); }
  std::string Read() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

// A virtual device registered under a name until the test ends; Put puts a
// (new) line behind the name.
class ScopedDevice {
 public:
  explicit ScopedDevice(std::string name) : name_(std::move(name)) {}
  ScopedDevice(std::string name, SerialDeviceFactory factory) : name_(std::move(name)) {
    Put(std::move(factory));
  }
  ~ScopedDevice() { lum::UnregisterSerialDevice(name_); }
  ScopedDevice(const ScopedDevice&) = delete;
  ScopedDevice& operator=(const ScopedDevice&) = delete;
  void Put(SerialDeviceFactory factory) { lum::RegisterSerialDevice(name_, std::move(factory)); }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

// The settings file's port map: COM<n> opens device, as [Ports] of an
// engineer's Calibrate.ini says.
inline std::string PortMap(int n, const std::string& device) {
  return "[Ports]\nCOM" + std::to_string(n) + "=" + device + "\n";
}

// A window on a scratch settings file whose boxes are recorded, not shown.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
  // What main() makes for a window: it outlives the windows of the test.
  Workbench& MakeBench(const std::string& iniPath) {
    benches.push_back(std::make_unique<Workbench>(iniPath, JournalProgram("calibrate")));
    return *benches.back();
  }
  std::unique_ptr<TFrmMain> MakeWindow(const std::string& iniPath) {
    auto window = std::make_unique<TFrmMain>(MakeBench(iniPath));
    window->SetMessageBox(
        [this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
          boxes.push_back({icon, caption.toStdString(), text.toStdString()});
        });
    return window;
  }
  std::string FieldText(TFrmMain& window, ReadField field) {
    return window.Field(field)->text().toStdString();
  }

  ScratchIni ini;
  std::vector<ShownBox> boxes;
  std::deque<std::unique_ptr<Workbench>> benches;
};

// Every text of the top-level window that is not shown whole, one line each
// naming the control: a label, button, field, drop-down entry, spin box value
// or group caption with less room than its text needs, a list whose widest
// entry does not fit beside its scroll bar, or a control that sticks out of
// the control holding it. Only what is shown counts; a spin box counts with
// the wider of its least and greatest value, a drop-down with every entry.
class TextFit {
 public:
  static std::vector<std::string> Clipped(QWidget& window) {
    TextFit fit;
    for (QWidget* w : window.findChildren<QWidget*>()) {
      if (w->window() != &window || !w->isVisibleTo(&window)) continue;
      fit.CheckInsideParent(*w);
      if (auto* label = qobject_cast<QLabel*>(w)) fit.CheckLabel(*label);
      if (auto* button = qobject_cast<QAbstractButton*>(w)) fit.CheckButton(*button);
      if (auto* edit = qobject_cast<QLineEdit*>(w)) fit.CheckEdit(*edit);
      if (auto* spin = qobject_cast<QSpinBox*>(w)) fit.CheckSpin(*spin);
      if (auto* combo = qobject_cast<QComboBox*>(w)) fit.CheckCombo(*combo);
      if (auto* group = qobject_cast<QGroupBox*>(w)) fit.CheckGroup(*group);
      if (auto* list = qobject_cast<QListView*>(w)) fit.CheckList(*list);
    }
    return fit.clipped_;
  }

 private:
  static std::string Name(const QWidget& w) {
    return std::string(w.metaObject()->className()) + " " + w.objectName().toStdString();
  }
  static std::string Text(QSize s) {
    return std::to_string(s.width()) + "x" + std::to_string(s.height());
  }
  void Need(const QWidget& w, const QString& text, QSize need, QSize room) {
    if (need.width() <= room.width() && need.height() <= room.height()) return;
    clipped_.push_back(Name(w) + " \"" + text.toStdString() + "\" needs " + Text(need) + ", has " +
                       Text(room));
  }
  void NeedText(const QWidget& w, const QString& text, QSize room, int flags = 0) {
    Need(w, text, w.fontMetrics().size(flags, text), room);
  }

  void CheckInsideParent(const QWidget& w) {
    const QWidget* parent = w.parentWidget();
    if (parent && !parent->rect().contains(w.geometry()))
      clipped_.push_back(Name(w) + " sticks out of " + Name(*parent));
  }
  void CheckLabel(const QLabel& label) {
    if (label.text().isEmpty() || label.wordWrap() || Qt::mightBeRichText(label.text())) return;
    const int m = label.margin() + std::max(label.indent(), 0);
    NeedText(label, label.text(), label.contentsRect().marginsRemoved({m, m, m, m}).size());
  }
  // A button narrower or lower than its size hint has had its text's room
  // (or its padding) taken by the layout.
  void CheckButton(const QAbstractButton& button) {
    if (!button.text().isEmpty()) Need(button, button.text(), button.sizeHint(), button.size());
  }
  // The room a line edit gives its text: inside its frame and text margins,
  // less the 2 pixels QLineEdit keeps on either side.
  static QSize EditRoom(const QLineEdit& edit) {
    QStyleOptionFrame opt;
    opt.initFrom(&edit);
    opt.rect = edit.rect();
    opt.lineWidth =
        edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, &edit) : 0;
    const QRect inside = edit.style()->subElementRect(QStyle::SE_LineEditContents, &opt, &edit);
    return inside.marginsRemoved(edit.textMargins()).adjusted(2, 0, -2, 0).size();
  }
  void CheckEdit(const QLineEdit& edit) {
    // The edit of a spin box or drop-down is checked through its owner.
    if (qobject_cast<QAbstractSpinBox*>(edit.parentWidget()) ||
        qobject_cast<QComboBox*>(edit.parentWidget()))
      return;
    NeedText(edit, edit.displayText(), EditRoom(edit));
  }
  void CheckSpin(const QSpinBox& spin) {
    const auto* edit = spin.findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    if (!edit) return;
    for (int value : {spin.minimum(), spin.maximum()}) {
      QString number = spin.locale().toString(value);
      if (!spin.isGroupSeparatorShown()) number.remove(spin.locale().groupSeparator());
      NeedText(spin, spin.prefix() + number + spin.suffix(), EditRoom(*edit));
    }
  }
  void CheckCombo(const QComboBox& combo) {
    QStyleOptionComboBox opt;
    opt.initFrom(&combo);
    opt.editable = combo.isEditable();
    opt.frame = combo.hasFrame();
    opt.subControls = QStyle::SC_All;
    // The entry is drawn one pixel in from either side of the edit field.
    const QRect room =
        combo.style()
            ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, &combo)
            .adjusted(1, 0, -1, 0);
    for (int i = 0; i < combo.count(); ++i)
      NeedText(combo, combo.itemText(i), room.size());
  }
  void CheckGroup(const QGroupBox& group) {
    if (group.title().isEmpty()) return;
    QStyleOptionGroupBox opt;
    opt.initFrom(&group);
    opt.text = group.title();
    opt.lineWidth = 1;
    opt.textAlignment = group.alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (group.isCheckable()) opt.subControls |= QStyle::SC_GroupBoxCheckBox;
    const QRect label =
        group.style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, &group);
    // The style sizes the caption's box to the ink of its letters, not to
    // their advance, so the ink is what must fit where the box is not cut by
    // the group's edge.
    const QSize need(group.fontMetrics().boundingRect(group.title()).width(),
                     group.fontMetrics().height());
    Need(group, group.title(), need, label.intersected(group.rect()).size());
  }
  void CheckList(const QListView& list) {
    const int widest = list.sizeHintForColumn(0);
    const QSize room = list.viewport()->size();
    if (widest > room.width() || list.horizontalScrollBar()->isVisibleTo(&list))
      clipped_.push_back(Name(list) + ": widest entry needs " + std::to_string(widest) +
                         " px, the list shows " + std::to_string(room.width()) + " px" +
                         (list.horizontalScrollBar()->isVisibleTo(&list) ? " and scrolls" : ""));
  }

  std::vector<std::string> clipped_;
};
