#include "DepartmentStore.h"

#include <libpq-fe.h>

#include <pqxx/pqxx>

#include "DepartmentSchemaSql.h"

namespace {

// Rows per INSERT: big enough that 100,000 events go in a hundred round
// trips, small enough that a refused event costs one batch's retry.
constexpr size_t kBatch = 1000;
constexpr const char* kUtcFormat = "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'";

// The reason of a failure in the engineer's words, the server's text after it.
std::string Reason(const std::exception& e) {
  if (dynamic_cast<const pqxx::broken_connection*>(&e))
    return std::string("соединение с сервером прервано: ") + e.what();
  if (const auto* sql = dynamic_cast<const pqxx::sql_error*>(&e)) {
    if (sql->sqlstate() == "42501") return std::string("нет прав: ") + e.what();
    if (sql->sqlstate() == "42P01")
      return "на сервере нет таблиц журнала: администратору нужно выполнить "
             "calibrate-cli sync --init";
  }
  return e.what();
}

// Whether conninfo names a password; false also when it does not parse (the
// connection then says what is wrong with it).
bool HasPassword(const std::string& conninfo) {
  char* parseError = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &parseError);
  PQfreemem(parseError);
  bool found = false;
  for (PQconninfoOption* o = options; o && o->keyword; ++o)
    if (std::string(o->keyword) == "password" && o->val && *o->val) found = true;
  PQconninfoFree(options);
  return found;
}

std::string TextArray(pqxx::work& w, const std::vector<std::string>& texts) {
  std::string text = "ARRAY[";
  for (size_t i = 0; i < texts.size(); ++i)
    text += (i ? "," : "") + w.quote(texts[i]);
  return text + "]::text[]";
}

std::string Row(pqxx::transaction_base& w, const PushItem& item, const std::string& site) {
  return "(" + w.quote(item.hash) + "," + w.quote(item.line) + "," + w.quote(item.workstation) +
         "," + w.quote(site) + ")";
}

constexpr const char* kInsert = "INSERT INTO events (hash, line, workstation, site) VALUES ";
// A known event is skipped (another sync sent it first); each new one comes
// back with its receipt time.
const std::string kKnownSkippedNewReturned =
    " ON CONFLICT (hash) DO NOTHING RETURNING hash, to_char(received AT TIME ZONE 'UTC', " +
    std::string(kUtcFormat) + ")";

size_t Taken(const pqxx::result& rows, PushOutcome& out) {
  for (const auto& row : rows)
    out.received.emplace_back(row[0].c_str(), row[1].c_str());
  return rows.size();
}

// One batch in one transaction; an event the server refuses makes the batch
// go again event by event, each under a savepoint, so that only it stays out.
void TryBatch(pqxx::connection& c, const std::vector<PushItem>& items, size_t from, size_t to,
              const std::string& site, PushOutcome& out) {
  const size_t receivedBefore = out.received.size(), refusedBefore = out.refused.size();
  size_t added = 0;
  try {
    pqxx::work w(c);
    std::string sql = kInsert;
    for (size_t i = from; i < to; ++i)
      sql += (i > from ? "," : "") + Row(w, items[i], site);
    added = Taken(w.exec(sql + kKnownSkippedNewReturned), out);
    w.commit();
  } catch (const pqxx::sql_error&) {
    out.received.resize(receivedBefore);
    pqxx::work w(c);
    added = 0;
    for (size_t i = from; i < to; ++i) {
      try {
        pqxx::subtransaction s(w, "event");
        const pqxx::result rows =
            s.exec(kInsert + Row(s, items[i], site) + kKnownSkippedNewReturned);
        s.commit();
        added += Taken(rows, out);
      } catch (const pqxx::sql_error& e) {
        out.refused.emplace_back(items[i].hash, e.what());
      }
    }
    w.commit();
  }
  out.added += added;
  out.already += to - from - added - (out.refused.size() - refusedBefore);
}

// A batch whose commit did not come through was not received.
void PushBatch(pqxx::connection& c, const std::vector<PushItem>& items, size_t from, size_t to,
               const std::string& site, PushOutcome& out) {
  const size_t received = out.received.size(), refused = out.refused.size();
  const size_t added = out.added, already = out.already;
  try {
    TryBatch(c, items, from, to, site, out);
  } catch (...) {
    out.received.resize(received);
    out.refused.resize(refused);
    out.added = added;
    out.already = already;
    throw;
  }
}

}  // namespace

struct DepartmentStore::Connection {
  explicit Connection(const std::string& url) : c(url) {}
  pqxx::connection c;
};

DepartmentStore::DepartmentStore(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

DepartmentStore::~DepartmentStore() = default;

std::unique_ptr<DepartmentStore> DepartmentStore::Open(const std::string& url, std::string& error) {
  if (url.empty()) {
    error = "сервер не задан: --database URL или [Department] Database= в файле настроек";
    return nullptr;
  }
  if (HasPassword(url)) {
    error =
        "пароль в адресе сервера не принимается: его место в ~/.pgpass (PGPASSFILE) "
        "или в переменной PGPASSWORD";
    return nullptr;
  }
  try {
    auto connection = std::make_unique<Connection>(url);
    return std::unique_ptr<DepartmentStore>(new DepartmentStore(std::move(connection)));
  } catch (const std::exception& e) {
    error = std::string("не удалось подключиться к серверу: ") + e.what();
    return nullptr;
  }
}

bool DepartmentStore::Init(std::string& error) {
  try {
    pqxx::work w(connection_->c);
    w.exec(kDepartmentSchemaSql);
    w.commit();
    return true;
  } catch (const std::exception& e) {
    error = "схема не создана: " + Reason(e);
    return false;
  }
}

std::optional<int> DepartmentStore::SchemaVersion(std::string& error) {
  try {
    pqxx::work w(connection_->c);
    if (w.exec("SELECT to_regclass('calibrate_schema') IS NULL")[0][0].as<bool>()) return 0;
    const pqxx::result r = w.exec("SELECT max(version) FROM calibrate_schema");
    return r[0][0].is_null() ? 0 : r[0][0].as<int>();
  } catch (const std::exception& e) {
    error = Reason(e);
    return std::nullopt;
  }
}

std::optional<std::unordered_set<std::string>> DepartmentStore::HashesOf(
    const std::vector<std::string>& workstations, std::string& error) {
  try {
    pqxx::work w(connection_->c);
    std::unordered_set<std::string> hashes;
    for (const auto& row : w.exec("SELECT hash FROM events WHERE workstation = ANY(" +
                                  TextArray(w, workstations) + ")"))
      hashes.insert(row[0].c_str());
    return hashes;
  } catch (const std::exception& e) {
    error = Reason(e);
    return std::nullopt;
  }
}

PushOutcome DepartmentStore::Push(const std::vector<PushItem>& items, const std::string& site,
                                  const Progress& progress) {
  PushOutcome out;
  try {
    for (size_t from = 0; from < items.size(); from += kBatch) {
      PushBatch(connection_->c, items, from, std::min(items.size(), from + kBatch), site, out);
      if (progress) progress(std::min(items.size(), from + kBatch), items.size());
    }
    out.ok = true;
  } catch (const std::exception& e) {
    out.error = Reason(e);
  }
  return out;
}

std::optional<std::vector<StoredIndex>> DepartmentStore::Index(
    const std::vector<std::string>& serials, bool all, std::string& error) {
  try {
    pqxx::work w(connection_->c);
    std::string sql = "SELECT seq, hash FROM events";
    if (!all) sql += " WHERE serial = ANY(" + TextArray(w, serials) + ")";
    std::vector<StoredIndex> index;
    for (const auto& row : w.exec(sql + " ORDER BY seq"))
      index.push_back({row[0].as<int64_t>(), row[1].c_str()});
    return index;
  } catch (const std::exception& e) {
    error = Reason(e);
    return std::nullopt;
  }
}

std::optional<std::vector<StoredEvent>> DepartmentStore::Fetch(const std::vector<int64_t>& seqs,
                                                               std::string& error) {
  try {
    pqxx::work w(connection_->c);
    std::string list = "'{";
    for (size_t i = 0; i < seqs.size(); ++i)
      list += (i ? "," : "") + std::to_string(seqs[i]);
    std::vector<StoredEvent> events;
    for (const auto& row : w.exec("SELECT seq, hash, line, to_char(received AT TIME ZONE 'UTC', " +
                                  std::string(kUtcFormat) + ") FROM events WHERE seq = ANY(" +
                                  list + "}'::bigint[]) ORDER BY seq"))
      events.push_back({row[0].as<int64_t>(), row[1].c_str(), row[2].c_str(), row[3].c_str()});
    return events;
  } catch (const std::exception& e) {
    error = Reason(e);
    return std::nullopt;
  }
}

std::optional<std::vector<StoredFault>> DepartmentStore::Verify(std::string& error) {
  // The checks of the insert trigger, once more over what the server holds
  // now: an owner's UPDATE passes no trigger.
  static const std::string kFaults = R"sql(
    SELECT hash, serial, CASE
      WHEN right(line, 75) <> ',"hash":"' || hash || '"}' THEN 'строка не кончается своим хешем'
      WHEN encode(sha256(convert_to(left(line, -75) || '}', 'UTF8')), 'hex') <> hash
        THEN 'хеш не совпадает с текстом: событие изменили на сервере'
      WHEN event <> line::jsonb THEN 'разобранное событие не совпадает с его строкой'
      WHEN serial <> coalesce(event->>'serial', '') OR prev <> coalesce(event->>'prev', '')
        THEN 'столбцы не совпадают со строкой события'
      WHEN prev <> 'e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855'
        AND NOT EXISTS (SELECT FROM events p WHERE p.hash = e.prev AND p.serial = e.serial)
        THEN 'не продолжает ни одно событие прибора: предыдущее удалили или изменили'
      END AS why
    FROM events e ORDER BY seq)sql";
  try {
    pqxx::work w(connection_->c);
    std::vector<StoredFault> faults;
    for (const auto& row : w.exec("SELECT * FROM (" + kFaults + ") f WHERE why IS NOT NULL"))
      faults.push_back({row[0].c_str(), row[1].c_str(), row[2].c_str()});
    return faults;
  } catch (const std::exception& e) {
    error = Reason(e);
    return std::nullopt;
  }
}
