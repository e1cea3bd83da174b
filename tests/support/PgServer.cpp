#include "PgServer.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

// The newest Debian server's binaries.
std::string ServerBinaries() {
  std::error_code ec;
  std::string best;
  for (fs::directory_iterator it("/usr/lib/postgresql", ec), end; !ec && it != end;
       it.increment(ec))
    if (fs::exists(it->path() / "bin" / "initdb") && it->path().string() > best)
      best = it->path().string();
  return best.empty() ? best : best + "/bin";
}

std::string Quote(const std::string& text) {
  std::string q = "'";
  for (const char c : text)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs command through the shell; its standard output and exit status.
int Run(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  return pclose(pipe);
}

}  // namespace

PgServer* PgServer::Shared(std::string& why) {
  static std::string failure;
  static std::unique_ptr<PgServer> server = [] {
    std::unique_ptr<PgServer> s(new PgServer);
    if (!s->Init(failure)) s.reset();
    return s;
  }();
  why = failure;
  return server.get();
}

bool PgServer::Init(std::string& why) {
  bin_ = ServerBinaries();
  if (bin_.empty()) {
    why = "PostgreSQL server binaries not installed (Debian package postgresql)";
    return false;
  }
  if (geteuid() == 0 && !getpwnam("postgres")) {
    why = "running as root and there is no postgres user to run the server as";
    return false;
  }
  dir_ = MakeTempDir("calibrate-pg");
  socket_ = dir_ + "/socket";
  fs::create_directory(socket_);
  if (geteuid() == 0) {
    std::string out;
    Run("chown -R postgres " + Quote(dir_), out);
  }
  std::string out;
  if (Run(AsServerUser(bin_ + "/initdb -D " + Quote(dir_ + "/data") +
                       " -U postgres --auth=trust -E UTF8 --locale=C.UTF-8"),
          out) != 0) {
    why = "initdb failed: " + out;
    return false;
  }
  if (!Start()) {
    why = "the server did not start";
    return false;
  }
  return true;
}

std::string PgServer::AsServerUser(const std::string& command) const {
  return geteuid() == 0 ? "runuser -u postgres -- " + command : command;
}

bool PgServer::Start() {
  std::string out;
  const std::string options = "-c listen_addresses='' -k " + socket_ + " -c fsync=off";
  return Run(AsServerUser(bin_ + "/pg_ctl -D " + Quote(dir_ + "/data") + " -l " +
                          Quote(dir_ + "/log") + " -w -o " + Quote(options) + " start"),
             out) == 0;
}

bool PgServer::Stop() {
  std::string out;
  return Run(AsServerUser(bin_ + "/pg_ctl -D " + Quote(dir_ + "/data") + " -w -m fast stop"),
             out) == 0;
}

PgServer::~PgServer() {
  Stop();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string PgServer::Url(const std::string& database, const std::string& user) const {
  return "host=" + socket_ + " dbname=" + database + " user=" + user;
}

int PgServer::Psql(const std::string& database, const std::string& user, const std::string& sql,
                   std::string& output) const {
  return Run(
      "psql -X -q -t -A -v ON_ERROR_STOP=1 " + Quote(Url(database, user)) + " -c " + Quote(sql),
      output);
}

std::string PgServer::Sql(const std::string& database, const std::string& sql) const {
  std::string out;
  if (Psql(database, "postgres", sql, out) != 0) throw std::runtime_error("psql: " + out);
  return out;
}

std::string PgServer::NewDatabase() {
  const std::string name = "t" + std::to_string(++databases_);
  Sql("postgres", "CREATE DATABASE " + name);
  return name;
}
