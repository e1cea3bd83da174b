#include "DepartmentRun.h"

#include <iostream>

#include "JournalEvents.h"
#include "app/department/DepartmentStore.h"
#include "app/department/DepartmentSync.h"
#include "app/journal/Workstation.h"
#include "cli/output/ExitStatus.h"

namespace {

std::string DatabaseUrl(const CliOptions& o, Settings& settings) {
  if (o.department.database && !o.department.database->empty()) return *o.department.database;
  return settings.Ini().ReadString(kDepartmentSection, "Database", "");
}

std::unique_ptr<DepartmentStore> OpenStore(const CliOptions& o, Settings& settings) {
  std::string error;
  auto store = DepartmentStore::Open(DatabaseUrl(o, settings), error);
  if (!store) std::cerr << "calibrate-cli: " << error << "\n";
  return store;
}

int Failed(const std::string& error) {
  std::cerr << "calibrate-cli: " << error << "\n";
  return Code(ExitStatus::Failed);
}

// The schema must be the one this program knows: an older one wants the
// administrator's --init, a newer one a newer program.
bool SchemaFits(DepartmentStore& store, std::string& error) {
  const auto version = store.SchemaVersion(error);
  if (!version) return false;
  if (*version == kDepartmentSchemaVersion) return true;
  error = *version < kDepartmentSchemaVersion
              ? "схема на сервере " + std::string(*version ? "устарела" : "не создана") +
                    ": администратору нужно выполнить calibrate-cli sync --init"
              : "схема на сервере новее этой программы (версия " + std::to_string(*version) +
                    "): обновите программу";
  return false;
}

void PrintProgress(const char* phase, size_t done, size_t total) {
  std::cerr << "\r" << phase << ": " << done << " из " << total << std::flush;
  if (done == total) std::cerr << "\n";
}

}  // namespace

int RunSync(const CliOptions& o, Settings& settings) {
  const auto store = OpenStore(o, settings);
  if (!store) return Code(ExitStatus::Failed);
  std::string error;
  if (o.department.init) {
    if (!store->Init(error)) return Failed(error);
    std::cout << "схема журнала отдела создана (версия " << kDepartmentSchemaVersion << ")\n";
    return Code(ExitStatus::Ok);
  }
  if (!SchemaFits(*store, error)) return Failed(error);
  SyncRequest request;
  request.dir = JournalDir(o, settings);
  request.site = settings.Ini().ReadString(kDepartmentSection, "Site", "");
  if (request.site.empty())
    return Failed("не задан участок: [Department] Site= в файле настроек " + settings.Path());
  request.workstation = EnsureWorkstationId(settings.Ini());
  request.all = o.department.all;
  request.serial = o.department.serial;
  const SyncReport report = SyncJournal(*store, request, o.json ? SyncProgress{} : PrintProgress);
  if (o.json) {
    std::cout << nlohmann::json{{"ok", report.ok},
                                {"error", report.error},
                                {"sent", report.sent},
                                {"already", report.already},
                                {"received", report.received},
                                {"refused", report.refused},
                                {"damaged", report.damaged},
                                {"divergent", report.divergent}}
                     .dump()
              << "\n";
  } else {
    (report.ok ? std::cout : std::cerr) << SyncReportText(report);
  }
  const bool whole = report.ok && report.refused.empty() && report.damaged.empty();
  return Code(whole ? ExitStatus::Ok : ExitStatus::Failed);
}

int VerifyDepartmentStore(const CliOptions& o, Settings& settings) {
  const auto store = OpenStore(o, settings);
  if (!store) return Code(ExitStatus::Failed);
  std::string error;
  if (!SchemaFits(*store, error)) return Failed(error);
  const auto faults = store->Verify(error);
  if (!faults) return Failed(error);
  nlohmann::json out = nlohmann::json::array();
  for (const StoredFault& f : *faults) {
    if (o.json)
      out.push_back({{"hash", f.hash}, {"serial", f.serial}, {"why", f.why}});
    else
      std::cout << "сервер: событие " << f.hash.substr(0, 16) << " прибора " << f.serial << ": "
                << f.why << "\n";
  }
  if (o.json)
    std::cout << nlohmann::json{{"ok", faults->empty()}, {"faults", out}}.dump() << "\n";
  else if (faults->empty())
    std::cout << "сервер: все события в порядке\n";
  return Code(faults->empty() ? ExitStatus::Ok : ExitStatus::Failed);
}
