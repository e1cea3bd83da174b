#include "lumModBusProtocol.h"

#include <algorithm>

#include "LumEcho.h"
#include "LumUtils.h"

using namespace lummodbus;

namespace {

// Time-outs have the resolution of the looks at the line, which is also the
// turnaround allowance before the first look.
constexpr uint32_t kLookMs = TlumReplyWait::kLookMs;
// Pause after a failed read or write attempt, to let the meter settle.
constexpr int32_t kRetryPauseMs = 100;
// 9 + 2 * 123 = 255 bytes: the largest request a slave must accept.
constexpr uint16_t kMaxWriteCount = 123;

}  // namespace

bool TlumModBusProtocol::ReadHoldingRegisters(uint16_t start, uint16_t count,
                                              std::span<uint8_t> buffer) {
  if (!comPort_) {
    lastError_ = lumErrWrite;
    return false;
  }
  const size_t length = AppendCrc(PutHeader(kReadHoldingRegisters, start, count));
  for (uint32_t attempt = 0; attempt < repeatCount_; ++attempt) {
    const bool done = Exchange(length) > 0 && WholeRead(count);
    NoteAttempt("ModBus", attempt + 1, repeatCount_);
    if (done) break;
    Pause(kRetryPauseMs);
  }
  // Judged by whatever byte 1 of the receive buffer holds, even after failed
  // attempts: a read answered by anything but function 3 is refused here, and
  // so is a timed-out read unless an earlier register read left its 3 there.
  const auto received = reply_.Buffer();
  if (received[1] != kReadHoldingRegisters) lastError_ = lumErrAddress;
  if (lastError_ != lumOk) return false;
  // A reply with function 3 that passed its CRC was byte 2 + 5 bytes long, so
  // its data lies inside the frame; the caller's buffer bounds the copy.
  const size_t dataLength = std::min<size_t>(received[2], buffer.size());
  std::copy_n(received.begin() + 3, dataLength, buffer.begin());
  return true;
}

bool TlumModBusProtocol::WholeRead(uint16_t count) {
  // A register read answered with fewer registers than asked would leave the
  // rest of the caller's value as it was, and show a wrong number as read.
  const auto received = reply_.Buffer();
  if (received[1] == kReadHoldingRegisters && received[2] < size_t{count} * 2) {
    lastError_ = lumErrPacketSize;
    return false;
  }
  return true;
}

bool TlumModBusProtocol::WriteMultipleRegisters(uint16_t start, uint16_t count,
                                                std::span<const uint8_t> data) {
  if (!comPort_) {
    lastError_ = lumErrWrite;
    return false;
  }
  // Writing disabled: nothing goes out, whatever was asked, and that is a
  // success, as for every gated write of both engines.
  if (!eWrite_) {
    lastError_ = lumOk;
    return true;
  }
  const size_t dataLength = size_t{count} * 2;
  if (count == 0 || count > kMaxWriteCount || data.size() < dataLength) {
    lastError_ = lumErrPacketSize;
    return false;
  }
  lastException_ = 0;
  size_t length = PutHeader(kWriteMultipleRegisters, start, count);
  sendBuf_[length++] = static_cast<uint8_t>(dataLength);
  std::copy_n(data.begin(), dataLength, sendBuf_.begin() + static_cast<ptrdiff_t>(length));
  length = AppendCrc(length + dataLength);
  // One attempt more than a read: a lost write costs more than a lost read.
  for (uint32_t attempt = 0; attempt <= repeatCount_; ++attempt) {
    const bool done = Exchange(length) > 0;
    NoteAttempt("ModBus", attempt + 1, repeatCount_ + 1u);
    if (done) break;
    Pause(kRetryPauseMs);
  }
  // An exception reply with a good CRC is an answer, not a lost frame: the
  // meter refused the write and keeps what it held.
  const auto reply = reply_.Buffer();
  if (lastError_ == lumOk && reply[1] == (kWriteMultipleRegisters | 0x80)) {
    lastException_ = reply[2];
    lastError_ = lumErrRefused;
  }
  return lastError_ == lumOk;
}

void TlumModBusProtocol::GetDevID(std::string& text) {
  if (!comPort_) {
    lastError_ = lumErrWrite;
    return;
  }
  if (!comPort_->Active() && autoOpenPort_) comPort_->Open();
  if (!comPort_->Active()) {
    lastError_ = lumErrPortClosed;
    return;
  }
  sendBuf_[0] = netAddr_;
  sendBuf_[1] = kReportSlaveId;
  const size_t length = AppendCrc(2);
  bool received = false;
  for (uint32_t attempt = 0; attempt < repeatCount_ && !received; ++attempt) {
    received = Exchange(length) > 0;
    NoteAttempt("ModBus", attempt + 1, repeatCount_);
  }
  text.clear();
  if (!received) return;
  // Any reply with a good CRC ends the transaction, but only a function-17
  // frame carries an identification; reading one out of another shape (an
  // exception reply) would serve bytes of older frames from the buffer.
  const auto reply = reply_.Buffer();
  if (reply[1] != kReportSlaveId) return;
  const size_t textLength = reply[kIdLengthIndex];
  for (size_t k = 0; k < textLength; ++k) {
    // Codes up to 20 are the meters' padding and control bytes; a space stays.
    const uint8_t c = reply[kIdTextIndex + k];
    if (c > 20) text.push_back(static_cast<char>(c));
  }
}

size_t TlumModBusProtocol::PutHeader(uint8_t function, uint16_t start, uint16_t count) {
  sendBuf_[0] = netAddr_;
  sendBuf_[1] = function;
  sendBuf_[2] = static_cast<uint8_t>(start >> 8);
  sendBuf_[3] = static_cast<uint8_t>(start & 0xFF);
  sendBuf_[4] = static_cast<uint8_t>(count >> 8);
  sendBuf_[5] = static_cast<uint8_t>(count & 0xFF);
  return 6;
}

size_t TlumModBusProtocol::AppendCrc(size_t length) {
  const uint16_t crc = Crc16(0xFFFF, std::span<const uint8_t>(sendBuf_).first(length));
  sendBuf_[length] = static_cast<uint8_t>(crc & 0xFF);  // low byte first on the wire
  sendBuf_[length + 1] = static_cast<uint8_t>(crc >> 8);
  return length + 2;
}

size_t TlumModBusProtocol::Exchange(size_t requestLength) {
  const auto frame = std::span<const uint8_t>(sendBuf_).first(requestLength);
  if (!SendFrame(frame)) return 0;
  return ReceiveFrame(frame);
}

bool TlumModBusProtocol::SendFrame(std::span<const uint8_t> frame) {
  comPort_->Purge();
  lastSent_ = HexDump(frame, true);
  if (!comPort_->WriteBuffer(frame)) {
    lastError_ = lumErrWrite;
    return false;
  }
  lum::NoteFrame(FrameProtocol::ModBusRtu, FrameDirection::Outbound, FrameStatus::Good, frame);
  return true;
}

size_t TlumModBusProtocol::ReceiveFrame(std::span<const uint8_t> sent) {
  // Give the meter a moment to turn the line round before the first look;
  // the packet time-out counts from there.
  Pause(static_cast<int32_t>(kLookMs));
  replyWait_.Start();
  if (skipStrayBytes_)
    reply_.StartFrom(sent[0], sent[1]);
  else
    reply_.Start();
  heard_.Start();
  std::vector<uint8_t> early;  // read while expecting the echo, but not the echo
  if (echoSuppression_) {
    auto rest = ReadEcho(replyWait_, *comPort_, sent, packetTimeout_, byteTimeout_);
    if (!rest) {
      lastError_ = lumErrRead;
      return 0;
    }
    if (rest->empty())
      lum::NoteFrame(FrameProtocol::ModBusRtu, FrameDirection::Inbound, FrameStatus::Good, sent);
    early = std::move(*rest);
  }
  for (size_t next = 0;;) {
    uint8_t byte = 0;
    if (next < early.size()) {
      byte = early[next++];
    } else if (!WaitByte(byte, reply_.AwaitingFirst() ? packetTimeout_ : byteTimeout_)) {
      heard_.Failed(FrameStatus::TimedOut);
      lastError_ = lumErrRead;
      return 0;
    }
    heard_.Add(byte);
    if (const auto code = reply_.Take(byte)) {
      heard_.Ended(*code, reply_.FrameLength());
      lastError_ = *code;
      return reply_.Length();
    }
  }
}

// The one place that waits for reply bytes. A byte is taken as soon as it is
// there; the limit counts in 10 ms looks from the look that took the byte
// before, so a 300 ms limit allows 31 looks and gives up 310 ms after the first.
bool TlumModBusProtocol::WaitByte(uint8_t& byte, uint32_t limitMs) {
  return replyWait_.Next(*comPort_, byte, limitMs);
}

std::string_view ModBusExceptionName(uint8_t code) {
  switch (code) {
    case 1:
      return "недопустимая функция";
    case 2:
      return "недопустимый адрес данных";
    case 3:
      return "недопустимое значение данных";
    case 4:
      return "отказ прибора";
    case 5:
      return "запрос принят, выполняется";
    case 6:
      return "прибор занят";
    default:
      return "неизвестное исключение";
  }
}
