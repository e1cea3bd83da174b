// The service report as a PDF on A4: the report's HTML laid out page by page,
// with the report number, "стр. n из N", "ДЕМО" for a virtual meter and the
// damage mark of a journal that does not verify drawn on every page, and for
// a sealed report (ReportSeal.h) its QR code and the hash of its data at the
// foot of every page (the page boxes of the HTML's CSS are for browsers only).
#pragma once

#include <QString>

#include "app/journal/ServiceReport.h"

// False, with the reason in error, when the file cannot be written.
bool WriteReportPdf(const ServiceReport& report, const QString& path, QString* error = nullptr);
