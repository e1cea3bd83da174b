// The wait cursor for as long as the meter blocks the window, so that it does
// not look hung; and the ordinary arrow back while a box in the middle of it
// waits for the engineer.
#pragma once

#include <QApplication>

class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

class CursorPause {
 public:
  CursorPause() : busy_(QApplication::overrideCursor() != nullptr) {
    if (busy_) QApplication::restoreOverrideCursor();
  }
  ~CursorPause() {
    if (busy_) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  CursorPause(const CursorPause&) = delete;
  CursorPause& operator=(const CursorPause&) = delete;

 private:
  bool busy_;
};
