// The checks of single option values, as CLI11 validators. Each refuses with
// a Refusal that names the value in our own words; a value that passes is
// then converted by CLI11 to the option's type without a second look.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Declaration.h"

// The refusal of a value, made from the text given.
using RefusalText = std::function<std::string(const std::string& value)>;

// Refuses a missing value: an empty one, or the next option in its place
// ("--port --json" is a forgotten value, not a device called "--json").
CLI::Validator Valued(const std::string& option);
// Refuses only the next option in the value's place: an empty value is taken
// as given.
CLI::Validator NotAnOption(const std::string& option);
// The words of that refusal, for a value missing at the end of the line too.
std::string MissingValue(const std::string& option);

// Decimal digits only ("0x10", "-1", "+3" are refused, not converted), within
// lo..hi. The text is rewritten without leading zeros: CLI11 would read
// "010" as octal.
CLI::Validator DecimalIn(unsigned lo, unsigned hi, RefusalText refusal);
std::optional<unsigned> Decimal(const std::string& text);
// The same for a value that must be one of values.
CLI::Validator DecimalAmong(std::vector<unsigned> values, RefusalText refusal);

// Declares option a number read by decimal (DecimalIn, DecimalAmong), refused
// first without a value. Only a transform may rewrite the text, and CLI11
// runs transforms before checks, the last one added first.
CLI::Option* DecimalOption(CLI::Option* option, CLI::Validator decimal);

// "a,b,c": piece applied to each item ("9600," has an empty one).
CLI::Validator Each(CLI::Validator piece);
std::vector<std::string> Items(const std::string& list);

// One of names (CLI::IsMember), else refusal.
CLI::Validator OneOf(std::vector<std::string> names, RefusalText refusal);

// A port as --port takes it: COM1..COM255 or a device path.
CLI::Validator PortName();

// A stored value: a whole decimal text, finite.
CLI::Validator FiniteValue(const std::string& option);
std::optional<float> Finite(const std::string& text);

// "I=X" of --k and --obr: an index 0..9 and a stored value.
struct IndexedValue {
  unsigned index = 0;
  float value = 0;
};
CLI::Validator IndexValue(const std::string& option);
std::optional<IndexedValue> ParseIndexValue(const std::string& text);
