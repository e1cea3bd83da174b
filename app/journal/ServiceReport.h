// The service report of one session of a meter (JournalCompare.h says what a
// session is): an HTML document in Russian with the meter, its firmware, the
// coefficients and calibration record as found and as left (the session's
// fullest state, SessionState.h), every write with its verification (a write
// left in doubt as such, with what the meter may hold), the engineer and a
// place to sign. A browser prints it with
// the page number on every page (CSS @page); the window's PDF draws its own.
#pragma once

#include <string>

#include "JournalCompare.h"

struct ServiceReport {
  std::string number;  // serial number, session date and the session id's start
  // "Отчёт об обслуживании", or "Протокол проверки" for an inspector's session
  std::string title;
  bool demo = false;  // any event of a virtual meter: "ДЕМО" on every page
  std::string damage;  // "журнал повреждён: строка N" on every page; empty: none
  std::string html;    // UTF-8
  // The seal it was made with (ReportSeal.h); empty: made without one.
  std::string dataHash;  // SHA-256 of its data, printed on every page
  std::string qrText;    // what the QR code on every page says
};

struct ReportSeal;

// Empty number and html when the session holds no event. journal: the
// meter's journal the session was taken from. When its chain does not verify
// (a report asked for all the same), every page is headed by the mark of its
// first break; and a write's start whose outcome came after the session is
// not taken for a write left in doubt. Without it, the session alone counts.
// seal: the data's hash and QR code to print (ReportSeal.h); none: a report
// without them.
ServiceReport MakeServiceReport(const JournalSession& session,
                                const JournalFileContent* journal = nullptr,
                                const ReportSeal* seal = nullptr);

// "360517-20261208-0754dc"
std::string ReportNumber(const JournalSession& session);
