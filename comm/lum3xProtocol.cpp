#include "lum3xProtocol.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "Lum3xClock.h"
#include "LumClock.h"
#include "LumEcho.h"
#include "LumUtils.h"

namespace {

// The meter's turnaround allowance: the first look for a reply comes this long
// after the request, and the packet time-out counts from there.
constexpr int32_t kTurnaroundMs = 10;

// Groups and commands of the 3x command set. A memory write is its read with
// the high bit set.
constexpr uint8_t kGroupInfo = 0x00;
constexpr uint8_t kCmdDevId = 0x00;
constexpr uint8_t kCmdSoftVer = 0x01;
constexpr uint8_t kGroupRam = 0x0C;
constexpr uint8_t kCmdSfrTek = 0x00;
constexpr uint8_t kCmdRam = 0x01;
constexpr uint8_t kGroupGmax = 0x0E;
constexpr uint8_t kGroupMemory = 0x0F;
constexpr uint8_t kCmdRtc2k = 0x01;
constexpr uint8_t kCmdRtc128 = 0x02;
constexpr uint8_t kCmdDataFlash = 0x03;
constexpr uint8_t kWriteBit = 0x80;
constexpr uint8_t kCmdWriteSecurity = 0x91;
constexpr uint8_t kCmdReadSecurity = 0x93;
constexpr uint8_t kCmdUnlockWrite = 0xF1;

constexpr size_t kSecurityBytes = 64;
constexpr size_t kSfrTekBytes = 16;

uint8_t High(uint16_t value) {
  return static_cast<uint8_t>(value >> 8);
}
uint8_t Low(uint16_t value) {
  return static_cast<uint8_t>(value & 0xFF);
}

// A plain pointer from the caller covers count bytes; a null one none.
template <typename T>
std::span<T> FromPointer(T* bytes, uint8_t count) {
  return bytes ? std::span<T>(bytes, count) : std::span<T>();
}

}  // namespace

float TSfrTek::AsFloat(size_t i) const {
  if (i >= Fields.size()) return 0.0f;
  float value;
  std::memcpy(&value, &Fields[i], sizeof value);
  return value;
}

// --- transactions ------------------------------------------------------------

bool Tlum3xProtocol::Fail(uint32_t code) {
  lastError_ = code;
  return false;
}

bool Tlum3xProtocol::Transact(uint8_t group, uint8_t command, std::span<const uint8_t> data,
                              size_t minReplyData) {
  if (!comPort_) return Fail(lumErrWrite);
  requestLength_ = lum3x::BuildRequest(request_, netAddr_, group, command, data);
  if (requestLength_ == 0) return Fail(lumErrPacketSize);
  // Every attempt sends the identical frame again.
  for (unsigned attempt = 0; attempt < repeatCount_; ++attempt) {
    const bool done = SendFrame() && ReceiveFrame() && WholeReply(minReplyData);
    NoteAttempt("3x", attempt + 1, repeatCount_);
    if (done) return true;
    Pause(static_cast<int32_t>(retryPauseMs_));
  }
  return false;
}

bool Tlum3xProtocol::WholeReply(size_t minReplyData) {
  // A well-formed reply with fewer bytes than were asked for (a meter cut
  // short in the middle of its answer, a firmware that reads less) would fill
  // the caller's value partly with whatever it held before.
  if (ReplyData().size() < minReplyData) return Fail(lumErrPacketSize);
  return true;
}

bool Tlum3xProtocol::SendFrame() {
  // Whatever is still in the queues belongs to an earlier exchange (a late
  // reply, noise); it must not be taken for the answer to this request.
  comPort_->Purge();
  // The whole frame in one write: the same bytes go out back to back, with
  // one system call instead of one per byte.
  const auto request = std::span<const uint8_t>(request_).first(requestLength_);
  if (!comPort_->WriteBuffer(request)) return Fail(lumErrWrite);
  lum::NoteFrame(FrameProtocol::Lum3x, FrameDirection::Outbound, FrameStatus::Good, request);
  return true;
}

bool Tlum3xProtocol::ReceiveFrame() {
  Pause(kTurnaroundMs);
  replyWait_.Start();
  reply_.Start();
  heard_.Start();
  std::vector<uint8_t> early;  // read while expecting the echo, but not the echo
  if (echoSuppression_) {
    const auto request = std::span<const uint8_t>(request_).first(requestLength_);
    auto rest = ReadEcho(replyWait_, *comPort_, request, packetTimeout_, byteTimeout_);
    if (!rest) return Fail(lumErrRead);
    if (rest->empty())
      lum::NoteFrame(FrameProtocol::Lum3x, FrameDirection::Inbound, FrameStatus::Good, request);
    early = std::move(*rest);
  }
  for (size_t next = 0;;) {
    // The first byte may take the meter's whole reaction time; after it the
    // bytes follow each other at the line speed. A stray byte before the start
    // byte gives the meter its reaction time again.
    const uint32_t limit = reply_.AwaitingStart() ? packetTimeout_ : byteTimeout_;
    uint8_t byte = 0;
    if (next < early.size())
      byte = early[next++];
    else if (!AwaitByte(byte, limit)) {
      heard_.Failed(FrameStatus::TimedOut);
      return Fail(lumErrRead);
    }
    heard_.Add(byte);
    if (const auto code = reply_.Take(byte)) {
      heard_.Ended(*code, reply_.FrameLength());
      lastError_ = *code;
      return *code == lumOk;
    }
  }
}

bool Tlum3xProtocol::AwaitByte(uint8_t& byte, uint32_t limitMs) {
  return replyWait_.Next(*comPort_, byte, limitMs);
}

// --- steps common to the operations ------------------------------------------

bool Tlum3xProtocol::PortReady(bool mayOpen) {
  if (!comPort_) return Fail(lumErrWrite);
  if (!comPort_->Active() && mayOpen && autoOpenPort_) comPort_->Open();
  if (!comPort_->Active()) return Fail(lumErrPortClosed);
  return true;
}

bool Tlum3xProtocol::WriteEnabled() {
  if (eWrite_) return true;
  lastError_ = lumOk;
  return false;
}

void Tlum3xProtocol::Deliver(std::span<uint8_t> destination) const {
  const auto data = ReplyData();
  const size_t n = std::min(data.size(), destination.size());
  std::copy_n(data.begin(), n, destination.begin());
}

void Tlum3xProtocol::ReadArea(uint8_t group, uint8_t command, std::span<const uint8_t> request,
                              std::span<uint8_t> destination, uint8_t asked) {
  if (!PortReady(true)) return;
  if (Transact(group, command, request, asked)) Deliver(destination);
}

bool Tlum3xProtocol::WriteArea(uint8_t group, uint8_t command, std::span<const uint8_t> head,
                               std::span<const uint8_t> bytes, uint8_t count, bool gated) {
  if (!PortReady(true)) return false;
  if (gated && !WriteEnabled()) return false;
  // Never read past the caller's buffer, nor build a frame the protocol cannot
  // carry.
  if (count > bytes.size() || head.size() + count > lum3x::kMaxData) return Fail(lumErrPacketSize);
  std::array<uint8_t, lum3x::kMaxData> data{};
  std::copy(head.begin(), head.end(), data.begin());
  std::copy_n(bytes.begin(), count, data.begin() + static_cast<ptrdiff_t>(head.size()));
  return Transact(group, command, std::span<const uint8_t>(data).first(head.size() + count));
}

void Tlum3xProtocol::ReadText(uint8_t command, std::string& text, bool mayOpen) {
  if (!PortReady(mayOpen)) return;
  text.clear();
  if (!Transact(kGroupInfo, command, {})) return;
  const auto data = ReplyData();
  text.assign(data.begin(), data.end());
}

// --- memory reads --------------------------------------------------------------

void Tlum3xProtocol::ReadRtc128(uint8_t address, std::span<uint8_t> bytes, uint8_t count) {
  const uint8_t request[] = {address, count};
  ReadArea(kGroupMemory, kCmdRtc128, request, bytes, count);
}

void Tlum3xProtocol::ReadRtc2k(uint16_t address, std::span<uint8_t> bytes, uint8_t count) {
  const uint8_t request[] = {High(address), Low(address), count};
  ReadArea(kGroupMemory, kCmdRtc2k, request, bytes, count);
}

void Tlum3xProtocol::ReadRtc2kP(uint16_t address, uint8_t* bytes, uint8_t count) {
  ReadRtc2k(address, FromPointer(bytes, count), count);
}

// The configuration lives in the Rtc2k area; the name is the drivers' view.
void Tlum3xProtocol::ReadCfg(uint16_t address, std::span<uint8_t> bytes, uint8_t count) {
  ReadRtc2k(address, bytes, count);
}

void Tlum3xProtocol::ReadRAM(uint16_t address, std::span<uint8_t> bytes, uint8_t count) {
  const uint8_t request[] = {High(address), Low(address), count};
  ReadArea(kGroupRam, kCmdRam, request, bytes, count);
}

void Tlum3xProtocol::ReadRAMP(uint16_t address, uint8_t* bytes, uint8_t count) {
  ReadRAM(address, FromPointer(bytes, count), count);
}

void Tlum3xProtocol::ReadDataFlash(uint32_t address, std::span<uint8_t> bytes, uint8_t count) {
  const uint8_t request[] = {count, static_cast<uint8_t>(address >> 24),
                             static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  ReadArea(kGroupMemory, kCmdDataFlash, request, bytes, count);
}

void Tlum3xProtocol::ReadSecurity(std::span<uint8_t> bytes) {
  ReadArea(kGroupMemory, kCmdReadSecurity, {}, bytes, 0);
}

// --- memory writes -------------------------------------------------------------

void Tlum3xProtocol::WriteRtc128(uint8_t address, std::span<uint8_t> bytes, uint8_t count) {
  const uint8_t head[] = {address};
  // The meter answers with what it now holds there; hand it back.
  if (WriteArea(kGroupMemory, kCmdRtc128 | kWriteBit, head, bytes, count, true)) Deliver(bytes);
}

void Tlum3xProtocol::WriteRtc2k(uint16_t address, std::span<const uint8_t> bytes, uint8_t count) {
  CustomWriteRtc2k(uint16_t{kGroupMemory} << 8 | (kCmdRtc2k | kWriteBit), address, bytes, count);
}

void Tlum3xProtocol::WriteRtc2kP(uint16_t address, const uint8_t* bytes, uint8_t count) {
  WriteRtc2k(address, FromPointer(bytes, count), count);
}

void Tlum3xProtocol::WriteCfg(uint16_t address, std::span<const uint8_t> bytes, uint8_t count) {
  WriteRtc2k(address, bytes, count);
}

void Tlum3xProtocol::WriteRAM(uint16_t address, std::span<const uint8_t> bytes, uint8_t count) {
  CustomWriteRtc2k(uint16_t{kGroupRam} << 8 | (kCmdRam | kWriteBit), address, bytes, count);
}

void Tlum3xProtocol::WriteRAMP(uint16_t address, const uint8_t* bytes, uint8_t count) {
  WriteRAM(address, FromPointer(bytes, count), count);
}

void Tlum3xProtocol::CustomWriteRtc2k(uint16_t command, uint16_t address,
                                      std::span<const uint8_t> bytes, uint8_t count) {
  const uint8_t head[] = {High(address), Low(address)};
  WriteArea(High(command), Low(command), head, bytes, count, true);
}

void Tlum3xProtocol::SetDateTime() {
  if (!PortReady(true)) return;
  clockBytes_ = EncodeMeterClock(lum::LocalDateTime());
  WriteRtc128(0, clockBytes_, static_cast<uint8_t>(clockBytes_.size()));
}

void Tlum3xProtocol::WriteSecurity(std::span<const uint8_t, 64> bytes) {
  WriteArea(kGroupMemory, kCmdWriteSecurity, {}, bytes, kSecurityBytes, false);
}

void Tlum3xProtocol::GDZWriteGmax(uint8_t channel, float value) {
  if (channel != 1 && channel != 2) {
    lastError_ = lumErrAddress;
    return;
  }
  if (!PortReady(true)) return;
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const uint8_t data[] = {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
                          static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
  Transact(kGroupGmax, static_cast<uint8_t>(0x0F + channel), data);
}

// --- identification and single commands -----------------------------------------

void Tlum3xProtocol::GetDevID(std::string& text) {
  ReadText(kCmdDevId, text, true);
}

void Tlum3xProtocol::GetSoftVer(std::string& text) {
  ReadText(kCmdSoftVer, text, false);
}

void Tlum3xProtocol::UnlockWrite(std::string& text) {
  if (!PortReady(true)) return;
  text.clear();
  if (!Transact(kGroupMemory, kCmdUnlockWrite, {})) return;
  const auto data = ReplyData();
  // The answer is its first byte; without one there is nothing to show.
  if (data.empty()) {
    lastError_ = lumErrPacketSize;
    return;
  }
  text = std::to_string(data[0]);
}

uint32_t Tlum3xProtocol::DetectDevice() {
  // Tried in this order; the first one contained anywhere in the text decides.
  static constexpr std::pair<const char*, uint32_t> kModels[] = {
      {"ZFK-31", 1}, {"GDZ-125", 3}, {"GDZ-127", 5}};
  deviceType_ = 0;
  std::string id;
  GetDevID(id);
  if (lastError_ != lumOk) return deviceType_;
  for (const auto& [mark, type] : kModels) {
    if (id.find(mark) != std::string::npos) {
      deviceType_ = type;
      break;
    }
  }
  return deviceType_;
}

uint8_t Tlum3xProtocol::SendCmd(uint16_t command) {
  constexpr uint8_t kNoAnswer = 255;
  if (!PortReady(false)) return kNoAnswer;
  if (!Transact(High(command), Low(command), {})) return kNoAnswer;
  const auto data = ReplyData();
  return data.size() == 1 ? data[0] : kNoAnswer;
}

void Tlum3xProtocol::GetSfrTek(TSfrTek& rec) {
  if (!Transact(kGroupRam, kCmdSfrTek, {}, kSfrTekBytes)) return;
  const auto data = ReplyData();
  for (size_t i = 0; i < rec.Fields.size(); ++i)
    rec.Fields[i] = BigEndianU32(data.subspan(4 * i).first<4>());
}
