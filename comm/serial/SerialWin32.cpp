// Win32 serial device: overlapped handle, immediate-return reads.
#include <windows.h>

#include <string>

#include "../LumClock.h"
#include "SerialDevice.h"
#include "SystemTextWin32.h"

namespace {

// Longest wait for the driver to take a write: a line held off by flow
// control (a converter without a device behind it) must not hang the caller.
constexpr DWORD kWriteLimitMs = 5000;
// A read is issued only for bytes already queued, so it completes at once.
constexpr DWORD kReadLimitMs = 1000;

PortOpenError OpenFailure(DWORD code) {
  PortOpenError error;
  error.systemText = lum::WindowsSystemText(code);
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
      error.kind = PortOpenFailure::NotFound;
      break;
    // A COM port opened by another program refuses every other open with
    // "access denied": on Windows that means busy, not a missing right.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      error.kind = PortOpenFailure::Busy;
      break;
    case ERROR_PRIVILEGE_NOT_HELD:
      error.kind = PortOpenFailure::PermissionDenied;
      break;
    default:
      error.kind = PortOpenFailure::Other;
      break;
  }
  return error;
}

// Neither side of the line may stop the other: no XON/XOFF (a meter's reply
// may hold 0x11 and 0x13 anywhere) and no RTS/CTS or DTR/DSR handshake (a
// converter without those lines wired would hold every byte back). RTS and DTR
// stay raised where a handshake drove them, as some converters draw their
// power from them; a toggling RTS (RS-485 direction) is left as it is.
void NoFlowControl(DCB& dcb) {
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
}

class Win32Serial final : public SerialDevice {
 public:
  // saved: the line's settings as found at open, put back at close.
  Win32Serial(HANDLE handle, const DCB* saved)
      : handle_(handle),
        readDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        writeDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        haveSaved_(saved != nullptr) {
    if (saved) saved_ = *saved;
  }
  ~Win32Serial() override {
    // Put back what we found, so the next program meets the line as it was.
    if (haveSaved_) SetCommState(handle_, &saved_);
    CloseHandle(handle_);
    if (readDone_) CloseHandle(readDone_);
    if (writeDone_) CloseHandle(writeDone_);
  }
  Win32Serial(const Win32Serial&) = delete;
  Win32Serial& operator=(const Win32Serial&) = delete;

  bool Usable() const { return readDone_ && writeDone_; }

  void Purge() override {
    PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }

  bool Write(std::span<const uint8_t> bytes) override {
    return Transfer(const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()), true,
                    writeDone_, kWriteLimitMs);
  }

  // The read time-outs set at open make a read of an empty queue return at
  // once on Windows' own drivers, but not on every driver: wine's waits for
  // the next byte, so a silent meter would hang the read for good. Reading
  // only what the driver reports as queued keeps the read immediate anywhere.
  bool ReadByte(uint8_t& byte) override {
    if (QueuedBytes() == 0) return false;
    return Transfer(&byte, 1, false, readDone_, kReadLimitMs);
  }

  bool WaitForInput(uint32_t timeoutMs) override {
    // Asking the driver how much is queued is the one check that every serial
    // driver (and wine) answers the same way; between checks we yield for 1 ms.
    const Deadline deadline(timeoutMs);
    for (;;) {
      if (QueuedBytes() > 0) return true;
      if (deadline.Expired()) return false;
      lum::SleepMs(1);
    }
  }

 private:
  // Bytes waiting in the input queue; 0 also when the driver cannot tell
  // (a device unplugged), so that callers see silence rather than a hang.
  DWORD QueuedBytes() const {
    COMSTAT stat{};
    DWORD errors = 0;
    return ClearCommError(handle_, &errors, &stat) ? stat.cbInQue : 0;
  }

  // One overlapped transfer with its own completion event (waiting on the
  // handle itself would confuse the receive thread's read with a write of the
  // main thread). True when every byte was transferred within limitMs.
  bool Transfer(uint8_t* data, DWORD count, bool write, HANDLE done, DWORD limitMs) {
    OVERLAPPED ov{};
    ov.hEvent = done;
    DWORD transferred = 0;
    const BOOL ok = write ? WriteFile(handle_, data, count, &transferred, &ov)
                          : ReadFile(handle_, data, count, &transferred, &ov);
    if (!ok) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      if (WaitForSingleObject(done, limitMs) != WAIT_OBJECT_0) CancelIo(handle_);
      // After a cancel this returns once the driver has let go of the buffer.
      if (!GetOverlappedResult(handle_, &ov, &transferred, TRUE)) return false;
    }
    return transferred == count;
  }

  HANDLE handle_;
  HANDLE readDone_;
  HANDLE writeDone_;
  DCB saved_{};
  bool haveSaved_;
};

}  // namespace

std::unique_ptr<SerialDevice> lum::OpenPlatformSerial(const std::string& name, uint32_t baudRate,
                                                      PortOpenError* error) {
  HANDLE h =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = OpenFailure(GetLastError());
    return nullptr;
  }
  // Failures of the settings below are ignored: a line that refuses one is
  // still used as it is.
  SetupComm(h, 1024, 1024);
  PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  COMMTIMEOUTS timeouts{};
  if (GetCommTimeouts(h, &timeouts)) {
    timeouts.ReadIntervalTimeout = MAXDWORD;  // reads return at once
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    SetCommTimeouts(h, &timeouts);
  }
  DCB saved{};
  saved.DCBlength = sizeof(DCB);
  const bool haveSaved = GetCommState(h, &saved) != 0;
  if (haveSaved) {
    DCB dcb = saved;
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    NoFlowControl(dcb);
    SetCommState(h, &dcb);
  }
  auto device = std::make_unique<Win32Serial>(h, haveSaved ? &saved : nullptr);
  if (!device->Usable()) {
    if (error) *error = OpenFailure(GetLastError());
    return nullptr;
  }
  return device;
}

std::string lum::DefaultSerialPortName(uint8_t port) {
  return "\\\\.\\COM" + std::to_string(static_cast<int>(port));
}
