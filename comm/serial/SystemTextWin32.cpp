#include "SystemTextWin32.h"

#include <windows.h>

namespace lum {

std::string WindowsSystemText(unsigned long code) {
  wchar_t* wide = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
  std::string text;
  if (n > 0 && wide) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<size_t>(size > 0 ? size : 0));
    if (size > 0)
      WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), text.data(), size, nullptr,
                          nullptr);
  }
  if (wide) LocalFree(wide);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "ошибка " + std::to_string(code) : text;
}

}  // namespace lum
