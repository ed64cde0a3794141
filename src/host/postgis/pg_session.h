// A connection of Quilmark's own to the server of a "PG:" source. GDAL reads a table through a
// cursor, and PostgreSQL never runs a cursor's statement in parallel; the grouping statement is
// sent here instead, and a connection GDAL could not make is tried here to learn why. Both are
// made from one parsed string, so that they reach the same database as the same user with the
// same search path, and both are read-only: nothing a run sends can change the data.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/conninfo_words.h"

struct pg_conn;
struct pg_result;

namespace quilmark {

// Seconds a connection waits for a server that does not answer, unless the string says otherwise;
// a server that stops answering during a run is given up after about as long (TCP keepalives).
inline constexpr int kDefaultConnectTimeout = 5;

using ConnectionSettings = std::vector<std::pair<std::string, std::string>>;

// A "PG:" string read once: libpq's settings (a URI's among them) and GDAL's own keys (tables,
// schemas, active_schema), which libpq would refuse.
struct PgSource {
  ConnectionSettings settings;     // as the string gives them, in order
  std::vector<ConninfoWord> gdal;  // GDAL's keys, as given
  std::string schema;              // the schema GDAL names its tables from; empty: the user's
};

// The source read as libpq reads it. Throws HostError, the password hidden, where libpq refuses
// the string (an unknown key, a quote not closed, a URI it cannot read).
PgSource ParsePgSource(std::string_view source);

// The settings a connection is made with: defaults for connect_timeout and the keepalives, which
// the string's own values override, then the string's, then the session made read-only (and
// scans that start at the table's first row, so that a table is read in one order every time).
// `application` names the connection to the server's activity view unless the string does.
ConnectionSettings ConnectionParams(const PgSource& source, std::string_view application);

// The string GDAL opens: the same settings as ConnectionParams gives, with GDAL's keys.
std::string GdalConnection(const PgSource& source);

// Connects and disconnects again; nullopt when that worked, else why it did not, in words a user
// can act on: the password was refused or not given, the database does not exist, the server
// does not let the user in from here or has no room, it did not answer within the timeout, or
// libpq's own text where it is none of these. Never shows the password.
std::optional<std::string> ConnectionProblem(const PgSource& source);

// A statement the server refused or could not finish.
struct PgFailure {
  std::string sqlstate;  // empty where the client saw the connection end
  bool lost = false;     // the connection is gone
  std::string said;      // the server's own text (or libpq's)
};

struct ClearPgResult {
  void operator()(pg_result* result) const;
};
using PgResult = std::unique_ptr<pg_result, ClearPgResult>;

class PgSession {
 public:
  // Connects within the connect timeout. Throws HostError whose text says why it could not
  // (ConnectionProblem), naming the source without its password. While it lives, a user's stop
  // cancels what it runs (pg_cancel.h).
  PgSession(const PgSource& source, std::string_view shown_source);
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  pg_conn* connection() const { return connection_; }

  // One statement with its parameters as text (never spliced into it); its rows. Throws
  // PgFailure.
  PgResult Query(const std::string& sql, const std::vector<std::string>& parameters = {});
  // A command that returns no rows. Throws PgFailure.
  void Run(const char* command);
  // What a failed result (nullptr: the connection's own error) says. Frees the result.
  PgFailure FailureOf(pg_result* result) const;

 private:
  pg_conn* connection_ = nullptr;
  int cancel_id_ = 0;
};

}  // namespace quilmark
