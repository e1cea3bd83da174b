// The frames the protocol engines send and take off the line, as the engines'
// own assemblers cut them, for whoever listens: a pcapng capture of a run,
// the service window's traffic view. One tap for the whole process, like the
// time hook: every engine on every port of the program reports to it, so a
// listener needs no wiring through the layers above the line.
//
// Bytes that make no frame (noise before a reply, a reply cut short, one whose
// address complement or length is broken) are reported too, as a packet of
// their own: a capture of a line with garbage shows the garbage.
#pragma once

#include <cstdint>
#include <span>

enum class FrameProtocol : uint8_t { ModBusRtu, Lum3x };
enum class FrameDirection : uint8_t { Inbound, Outbound };

enum class FrameStatus : uint8_t {
  Good,      // a whole frame whose checksum (3x) or CRC (ModBus) is right; every request
  BadCheck,  // a whole frame with a wrong checksum or CRC
  NoFrame,   // bytes that made no frame
  TimedOut,  // the line fell silent before a frame was whole; bytes: what came of it
};

struct LineFrame {
  FrameProtocol protocol = FrameProtocol::Lum3x;
  FrameDirection direction = FrameDirection::Inbound;
  FrameStatus status = FrameStatus::Good;
  uint64_t timeUs = 0;  // wall-clock microseconds since 1970-01-01 UTC
  std::span<const uint8_t> bytes;
};

class TlumFrameObserver {
 public:
  virtual ~TlumFrameObserver() = default;
  // Called on the thread of the engine that saw the frame; bytes are valid
  // during the call only.
  virtual void OnFrame(const LineFrame& frame) = 0;
};

namespace lum {

// Observers hear every frame from their addition until their removal; the
// caller keeps ownership.
void AddFrameObserver(TlumFrameObserver* observer);
void RemoveFrameObserver(TlumFrameObserver* observer);
// True while anyone listens: the engines collect received bytes only then.
bool FramesObserved();
// Wall-clock microseconds since 1970-01-01 UTC, the time of a LineFrame.
uint64_t WallUs();
// Stamps the frame with the time now and hands it to every observer.
void NoteFrame(FrameProtocol protocol, FrameDirection direction, FrameStatus status,
               std::span<const uint8_t> bytes);

}  // namespace lum

// Listens for as long as it lives.
class FrameObserverScope {
 public:
  explicit FrameObserverScope(TlumFrameObserver* observer) : observer_(observer) {
    if (observer_) lum::AddFrameObserver(observer_);
  }
  ~FrameObserverScope() {
    if (observer_) lum::RemoveFrameObserver(observer_);
  }
  FrameObserverScope(const FrameObserverScope&) = delete;
  FrameObserverScope& operator=(const FrameObserverScope&) = delete;

 private:
  TlumFrameObserver* observer_;
};

// The received bytes of one reception, from the start of a reply to its
// result, so that what made no frame can be reported apart from the frame.
class FrameHeard {
 public:
  explicit FrameHeard(FrameProtocol protocol) : protocol_(protocol) {}
  void Start();
  void Add(uint8_t byte);
  // The assembler's result code (LumUtils.h) ended the reception: lumOk and
  // lumErrChecksum with a whole frame of frameLength bytes, the last ones
  // heard (the bytes before it go out as NoFrame, then the frame); any other
  // code with no frame.
  void Ended(uint32_t code, size_t frameLength);
  // The reception ended without a frame: everything heard, as status.
  void Failed(FrameStatus status);

 private:
  void Frame(size_t frameLength, bool goodCheck);

  FrameProtocol protocol_;
  bool on_ = false;
  uint8_t bytes_[1024] = {};
  size_t length_ = 0;
};
