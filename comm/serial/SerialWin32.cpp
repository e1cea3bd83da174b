// Win32 serial device: overlapped handle, immediate-return reads.
#include <windows.h>

#include "../LumClock.h"
#include "SerialDevice.h"

namespace {

class Win32Serial final : public SerialDevice {
 public:
  explicit Win32Serial(HANDLE handle) : handle_(handle) {}
  ~Win32Serial() override { CloseHandle(handle_); }

  void Purge() override {
    PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }

  bool Write(std::span<const uint8_t> bytes) override {
    return Transfer(const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()), true);
  }

  bool ReadByte(uint8_t& byte) override { return Transfer(&byte, 1, false); }

  bool WaitForInput(uint32_t timeoutMs) override {
    // Asking the driver how much is queued is the one check that every serial
    // driver (and wine) answers the same way; between checks we yield for 1 ms.
    const Deadline deadline(timeoutMs);
    for (;;) {
      COMSTAT stat{};
      DWORD errors = 0;
      if (!ClearCommError(handle_, &errors, &stat)) {
        SleepMs(deadline.RemainingMs());
        return false;
      }
      if (stat.cbInQue > 0) return true;
      if (deadline.Expired()) return false;
      Sleep(1);
    }
  }

 private:
  // With the read time-outs set at open a read completes at once with what is
  // queued; a write completes when the driver has taken every byte.
  bool Transfer(uint8_t* data, DWORD count, bool write) {
    OVERLAPPED ov{};
    DWORD done = 0;
    const BOOL ok = write ? WriteFile(handle_, data, count, &done, &ov)
                          : ReadFile(handle_, data, count, &done, &ov);
    if (!ok && GetLastError() != ERROR_IO_PENDING) return false;
    if (done == 0 && !GetOverlappedResult(handle_, &ov, &done, TRUE)) return false;
    return done == count;
  }

  HANDLE handle_;
};

}  // namespace

std::unique_ptr<SerialDevice> OpenPlatformSerial(const std::string& name, uint32_t baudRate) {
  HANDLE h =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
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
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (GetCommState(h, &dcb)) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
  }
  return std::make_unique<Win32Serial>(h);
}

std::string DefaultSerialPortName(uint8_t port) {
  return "\\\\.\\COM" + std::to_string(static_cast<int>(port));
}
