#include <windows.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <string>

#include "Console.h"

namespace {

// Collects UTF-8 and writes it to a console as UTF-16, whole characters only.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + kSize); }

 protected:
  int_type overflow(int_type c) override {
    if (!WriteOut()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return WriteOut() ? 0 : -1; }

 private:
  static constexpr int kSize = 1024;

  // Writes every whole character; the start of one cut off at the end of the
  // buffer stays for the next write.
  bool WriteOut() {
    const auto pending = static_cast<size_t>(pptr() - pbase());
    const size_t whole = Utf8WholePrefix({pbase(), pending});
    bool ok = true;
    if (whole > 0) {
      const int count = static_cast<int>(whole);
      const int wide = MultiByteToWideChar(CP_UTF8, 0, pbase(), count, nullptr, 0);
      std::wstring text(static_cast<size_t>(wide), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, pbase(), count, text.data(), wide);
      DWORD written = 0;
      ok = WriteConsoleW(console_, text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) != 0;
    }
    const size_t rest = pending - whole;
    std::memmove(buffer_, buffer_ + whole, rest);
    setp(buffer_, buffer_ + kSize);
    pbump(static_cast<int>(rest));
    return ok;
  }

  HANDLE console_;
  char buffer_[kSize];
};

// A console buffer for stream when handle is a console; otherwise nothing
// changes and the bytes go out as written.
std::unique_ptr<std::streambuf> Attach(std::ostream& stream, DWORD handle, std::streambuf*& saved) {
  HANDLE h = GetStdHandle(handle);
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || h == nullptr || !GetConsoleMode(h, &mode)) return nullptr;
  auto buffer = std::make_unique<ConsoleBuffer>(h);
  stream.flush();
  saved = stream.rdbuf(buffer.get());
  return buffer;
}

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts.
BOOL WINAPI OnConsoleControl(DWORD event) {
  interrupted = true;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // The console closed, a log-off or a shut-down: the process ends when this
  // returns, and Windows waits about five seconds for it. That is the time
  // for the main thread to finish the item under way and keep its record;
  // once it exits, this thread goes with it.
  Sleep(4500);
  return TRUE;
}

}  // namespace

void CatchInterrupt() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool Interrupted() {
  return interrupted;
}

ConsoleText::ConsoleText() {
  out_ = Attach(std::cout, STD_OUTPUT_HANDLE, savedOut_);
  err_ = Attach(std::cerr, STD_ERROR_HANDLE, savedErr_);
}

ConsoleText::~ConsoleText() {
  std::cout.flush();
  std::cerr.flush();
  if (out_) std::cout.rdbuf(savedOut_);
  if (err_) std::cerr.rdbuf(savedErr_);
}
