// "Синхронизировать" of the journal view: one sync of the journal folder with
// the department's record ([Department] Database and Site of the settings
// file), on a thread of its own so that the window stays alive while the
// server answers, with its progress and, when done, its result.
#pragma once

#include <QWidget>
#include <functional>
#include <thread>

#include "app/journal/Workbench.h"

class QLabel;
class QProgressBar;
class QPushButton;

class SyncBar : public QWidget {
  Q_OBJECT

 public:
  explicit SyncBar(Workbench& bench, QWidget* parent = nullptr);
  ~SyncBar() override;  // waits for a sync under way

  QPushButton* Button() const { return button_; }
  QLabel* Result() const { return result_; }
  bool Running() const { return worker_.joinable() && running_; }

 signals:
  // A sync ended (whatever its result): the journal may hold more now.
  void Synced();

 private:
  void Start();
  void Finish(const QString& text, bool ok);

  Workbench& bench_;
  QPushButton* button_;
  QProgressBar* progress_;
  QLabel* result_;
  std::thread worker_;
  bool running_ = false;
};
