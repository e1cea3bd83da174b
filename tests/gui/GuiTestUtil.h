// What the window tests share: one QApplication on the offscreen platform, a
// scratch settings file, and a record of the message boxes the window shows.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/gui/MainForm.h"

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

// A window on a scratch settings file whose boxes are recorded, not shown.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
  std::unique_ptr<TFrmMain> MakeWindow(const std::string& iniPath) {
    auto window = std::make_unique<TFrmMain>(iniPath);
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
};
