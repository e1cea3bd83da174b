// A small INI file that behaves like the Windows profile functions: sections
// and keys match without regard to case, lines it does not understand are kept
// as they are, and every write goes to disk at once.
//
// A write replaces the file atomically (a temporary file beside it, flushed,
// then renamed over the old one), so a crash or a full disk leaves either the
// old file or the new one, never a truncated or mixed one. Programs saving
// the same file at once take turns, so that none of them undoes another's
// change with a file it read before that change.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }

  // Empty when the settings can come from the path: a regular file of at most
  // kDocumentFileLimit (RegularFile.h), or nothing there (the defaults). Else
  // why not, in Russian: a folder, a FIFO, a device, too large. Such a file
  // is never opened: every read gives the defaults and every write fails.
  std::string Unusable() const;

  // The value of key in section, or nullopt when the file, section or key is
  // missing or the file cannot be read.
  std::optional<std::string> ReadString(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives the
  // default.
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t defaultValue) const;

  // The names of the sections in file order, as written.
  std::vector<std::string> Sections() const;

  // Sets key in section (adding either as needed) and replaces the file.
  // False when the file cannot be written; the old file is then left intact.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Sets several keys of one section with a single replacement of the file:
  // either all of them reach the disk or none does.
  bool WriteIntegers(const std::string& section,
                     std::initializer_list<std::pair<const char*, int32_t>> values);

  // Parses an integer the way ReadInteger does.
  static std::optional<int32_t> ParseInteger(const std::string& text);

 private:
  // The file's lines; none for a missing file, nullopt for one that is there
  // but cannot be read.
  std::optional<std::vector<std::string>> ReadLines() const;
  bool Replace(const std::vector<std::string>& lines);

  std::string path_;
};
