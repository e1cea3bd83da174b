// A throwaway PostgreSQL server for the tests of the department's record:
// initdb into a temporary folder, listening on a Unix socket in it only (no
// TCP port), stopped and removed at the end. Debian's server binaries are
// looked up under /usr/lib/postgresql; without them the tests skip with a
// message. As root (CI), the server runs as the "postgres" user, since
// PostgreSQL refuses to run as root.
#pragma once

#include <string>

class PgServer {
 public:
  // The one server of this test program, started on first use; null with the
  // reason in why when it cannot run here.
  static PgServer* Shared(std::string& why);

  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // A libpq connection string for database as user (the superuser by default).
  std::string Url(const std::string& database, const std::string& user = "postgres") const;
  // Runs SQL on database as user through psql: its exit status (0 when every
  // statement went through) and its output, errors included.
  int Psql(const std::string& database, const std::string& user, const std::string& sql,
           std::string& output) const;
  // The same as the superuser; the output, or throws.
  std::string Sql(const std::string& database, const std::string& sql) const;
  // A fresh, empty database of its own for one test.
  std::string NewDatabase();

  bool Stop();   // fast shutdown; connections drop
  bool Start();  // again, on the same folder and socket

 private:
  PgServer() = default;
  bool Init(std::string& why);
  std::string AsServerUser(const std::string& command) const;

  std::string bin_, dir_, socket_;
  int databases_ = 0;
};
