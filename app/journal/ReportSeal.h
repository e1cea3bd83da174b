// What makes a service report checkable by anyone: its data in a file beside
// it (the sidecar), the SHA-256 of those data printed on every page of the
// report with a QR code of the number and that hash, and the SHA-256 of the
// report file itself in the sidecar.
//
// The sidecar of report FILE is FILE.json ("r.html.json", "….pdf.json"), so
// that the HTML and the PDF of one report each have their own. It holds
//
//   {"data": {...}, "data_sha256": "<64 hex>", "format": 1, "report_sha256": "<64 hex>"}
//
// written as nlohmann's dump with an indent of 2, keys in byte order, UTF-8
// as it is, and one newline at the end: one text for one content, so that a
// changed byte anywhere shows. data (ReportData) names the report's number,
// the meter, the engineer, the time it was made, the session's events by id
// and full hash and the values as found and as left. data_sha256 is the
// SHA-256 of data alone in its canonical form (CanonicalText): the report is
// made with this hash in it, so it cannot hold its own. report_sha256 is the
// SHA-256 of the report file's bytes as written, taken after it was written.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "JournalCompare.h"

inline constexpr int kReportSidecarFormat = 1;

struct ReportSeal {
  nlohmann::json data;
  std::string dataHash;  // SHA-256 of CanonicalText(data)
  std::string qrText;    // what the QR code says (ReportQrText)
};

// The data of a report of session made at createdUtc ("2026-12-10T09:52:35Z").
// Everything but createdUtc follows from the session's events alone, so that
// "report verify" can make them again from the journal and compare.
nlohmann::json ReportData(const JournalSession& session, const std::string& createdUtc);

// data as hashed: compact, keys in byte order, UTF-8 as it is.
std::string CanonicalText(const nlohmann::json& data);

// "CALIBRATE REPORT 360517-20261210-0754dc SHA256 <64 hex>": plain ASCII, so
// that every scanner shows it as it is.
std::string ReportQrText(const std::string& number, const std::string& dataHash);

// The seal of a report of session made now.
ReportSeal MakeReportSeal(const JournalSession& session);

// The part of the report's page that shows the seal: the hash, the QR code
// as an inline PNG, how to check it; and the page boxes that repeat them on
// every printed page for a browser that draws them.
std::string ReportSealHtml(const ReportSeal& seal);

// FILE.json for report FILE.
std::string ReportSidecarPath(const std::string& reportPath);

// The sidecar's text for seal and the report file's bytes.
std::string ReportSidecarText(const ReportSeal& seal, const std::string& reportBytes);

// Reads the report file back as written and writes its sidecar beside it.
// False, with the reason in error, when either file cannot be read or written.
bool WriteReportSidecar(const std::string& reportPath, const ReportSeal& seal, std::string& error);

// The bytes of a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
