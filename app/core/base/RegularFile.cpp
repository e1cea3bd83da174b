#include "RegularFile.h"

#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string KindText(fs::file_type type) {
  switch (type) {
    case fs::file_type::directory:
      return "это папка, а не файл";
    case fs::file_type::fifo:
      return "это именованный канал (FIFO), а не файл";
    case fs::file_type::character:
    case fs::file_type::block:
      return "это устройство, а не файл";
    case fs::file_type::socket:
      return "это сокет, а не файл";
    default:
      return "это не обычный файл";
  }
}

}  // namespace

bool IsRegularFile(const fs::path& path, std::string& why, std::uintmax_t limit) {
  std::error_code ec;
  // status follows links: a link to a regular file is one.
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) {
    why = "файла нет";
    return false;
  }
  if (ec) {
    why = "не удаётся узнать, что это: " + ec.message();
    return false;
  }
  if (status.type() != fs::file_type::regular) {
    why = KindText(status.type());
    return false;
  }
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) {
    why = "не удаётся узнать размер: " + ec.message();
    return false;
  }
  if (size > limit) {
    why = "файл слишком велик: " + std::to_string(size) + " байт, а допустимо не более " +
          std::to_string(limit);
    return false;
  }
  return true;
}

std::optional<std::string> ReadRegularFile(const fs::path& path, std::size_t limit,
                                           std::string& why) {
  if (!IsRegularFile(path, why, limit)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "не удаётся открыть";
    return std::nullopt;
  }
  std::string bytes;
  char chunk[64 * 1024];
  while (in && bytes.size() <= limit) {
    in.read(chunk, sizeof chunk);
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    why = "не удаётся прочитать";
    return std::nullopt;
  }
  if (bytes.size() > limit) {
    why = "файл растёт при чтении и превысил " + std::to_string(limit) + " байт";
    return std::nullopt;
  }
  return bytes;
}
