// Texts from a meter (identification, seal, GDZ serial number) arrive in the
// meters' single-byte code page, Windows-1251; the screen and the command line
// speak UTF-8.
#pragma once

#include <string>
#include <string_view>

std::string Cp1251ToUtf8(std::string_view cp1251);
// Characters without a place in the code page become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
