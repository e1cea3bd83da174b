// The fault matrix as docs/RELIABILITY.md shows it: the results the tests
// collect, the text made from them, and the comparison of that text with the
// file in the repository.
//
// The generated part of the file lies between two marker lines; whatever is
// written around it by hand stays. With CALIBRATE_RELIABILITY_DOC set to a
// path, the test program writes the part there when it ends (the script
// scripts/reliability does that); otherwise the matrix tests compare what they
// measured with the file and fail when it has gone stale.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ReadRig.h"

namespace rel {

struct CellResult {
  Target target;
  metersim::FaultKind kind;
  std::string outcome;  // fault on every attempt
  uint64_t ms = 0;
  double boundMs = 0;
  std::string onceOutcome;  // fault on the first attempt only
  uint64_t onceMs = 0;
};

struct ModelResults {
  uint64_t cleanMs = 0;
  double anyReadBoundMs = 0;
  size_t operations = 0;
  std::vector<CellResult> cells;
};

struct EngineRow {
  std::string name;
  EngineLimits limits;
};

struct PtyResult {
  std::string model;
  Target target;
  metersim::FaultKind kind;
  std::string outcome;
  uint64_t ms = 0;
  double boundMs = 0;
  bool nextReadOk = false;
};

struct MatrixResults {
  double byteMs = 0;
  std::vector<EngineRow> engines;
  std::map<std::string, ModelResults> models;  // by model name
  std::vector<PtyResult> pty;
};

MatrixResults& Results();

// The section of one model ("### zfk31" and its table).
std::string ModelSection(const std::string& name, const ModelResults& results);
std::string GeneratedPart(const MatrixResults& results);

// The path the test program writes to, when asked.
std::optional<std::string> DocumentToWrite();
// Replaces the generated part of the file (creating the file if need be).
bool WriteGeneratedPart(const std::string& path, const std::string& generated);
// The model's section as the file holds it; empty when it has none.
std::string SectionInFile(const std::string& path, const std::string& name);
// Empty when the two texts say the same: equal word for word, except that
// each time ("123 ms") may differ by 25 % or 100 ms, whichever is more (a
// change of the engines' waiting moves every time a little).
std::string CompareSections(const std::string& documented, const std::string& measured);

}  // namespace rel
