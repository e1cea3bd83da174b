// "Обмен": the frames on the line as the engines cut them, one line each,
// with its time, direction, the meter's address, the command or function,
// its length, whether its checksum or CRC is right and, for a reply, how long
// after its request it came; below, the counts of frames sent and received,
// time-outs and bad checksums. It hears every operation of the program (the
// main window's read, the service window's writes, live values). "Пауза"
// stops the recording; "Сохранить..." writes what was recorded as pcapng for
// Wireshark, through the same writer as calibrate-cli --pcap.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "comm/LumFrameTap.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TTrafficPanel : public QWidget, public TlumFrameObserver {
  Q_OBJECT

 public:
  explicit TTrafficPanel(QWidget* parent = nullptr);
  ~TTrafficPanel() override;

  // From any thread; shown on the window's.
  void OnFrame(const LineFrame& frame) override;

  struct Counts {
    unsigned sent = 0, received = 0, timeouts = 0, badChecks = 0;
  };
  const Counts& Counters() const { return counts_; }
  bool Paused() const { return paused_; }
  void SetPaused(bool paused);
  // Saves what was recorded as pcapng; asks for the file (savePath, when
  // set, answers instead of the dialog). False when nothing was saved.
  bool Save();
  void Clear();

  std::function<QString()> savePath;

  // The most frames kept: an afternoon's live values must not fill memory.
  static constexpr size_t kMaxFrames = 20000;

  QTableWidget* Table = nullptr;
  QLabel* LCounters = nullptr;
  QPushButton* BPause = nullptr;
  QPushButton* BSave = nullptr;
  QPushButton* BClear = nullptr;

 private:
  struct Stored {
    FrameProtocol protocol;
    FrameDirection direction;
    FrameStatus status;
    uint64_t timeUs;
    std::vector<uint8_t> bytes;
  };
  void Show(Stored frame);
  void AddRow(const Stored& frame);
  void ShowCounters();

  std::vector<Stored> frames_;
  Counts counts_;
  uint64_t lastSentUs_ = 0;
  bool paused_ = false;
  FrameObserverScope listening_{this};
};
