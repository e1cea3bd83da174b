// Files the program reads whole (the settings file, before-images, snapshot
// files, journal files) are taken only when they are regular files. Anything
// else at their path is refused before it is opened: a FIFO blocks an open
// for reading until a writer comes, a device such as /dev/zero never ends, a
// folder has no bytes. Reasons are Russian and do not name the file: the
// caller does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// The settings file, a before-image, a snapshot file: a few kilobytes each.
inline constexpr std::uintmax_t kDocumentFileLimit = 1024 * 1024;

// True when path names a regular file (a link to one counts) of at most
// limit bytes. Otherwise false, and why: missing, a folder, a FIFO, a device,
// too large, or the system's reason when it cannot tell.
bool IsRegularFile(const std::filesystem::path& path, std::string& why,
                   std::uintmax_t limit = UINTMAX_MAX);

// The bytes of a regular file of at most limit bytes (checked as above, and
// no more than limit bytes are read, should it grow meanwhile). Nullopt and
// why for anything else, or when it cannot be read.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit,
                                           std::string& why);
