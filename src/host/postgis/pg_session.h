// A connection of Quilmark's own to the server of a "PG:" source. GDAL reads a table through a
// cursor, and PostgreSQL never runs a cursor's statement in parallel; the grouping statement is
// sent here instead, and a connection GDAL could not make is tried here to learn why.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct pg_conn;

namespace quilmark {

// Seconds a connection waits for a server that does not answer, unless the string says otherwise;
// a server that stops answering during a run is given up after about as long (TCP keepalives).
inline constexpr int kDefaultConnectTimeout = 5;

// The libpq settings of a "PG:" string: the string without "PG:" and without GDAL's own keys
// (tables, schemas, active_schema), behind defaults for connect_timeout and the keepalives, which
// the string's own values override. Key and value pairs, in order.
std::vector<std::pair<std::string, std::string>> ConnectionParams(std::string_view source);

// The keepalive settings ConnectionParams puts first, as "key=value" words, for a string that
// is handed to GDAL; empty when the string sets keepalives itself.
std::string KeepaliveWords(std::string_view source);

// Connects and disconnects again; nullopt when that worked, else why it did not, in words a user
// can act on: the password was refused or not given, the database does not exist, the server
// does not let the user in from here or has no room, it did not answer within the timeout, or
// libpq's own text where it is none of these. Never shows the password.
std::optional<std::string> ConnectionProblem(std::string_view source);

class PgSession {
 public:
  // Connects within the connect timeout. Throws HostError whose text says why it could not
  // (ConnectionProblem), naming the source without its password.
  explicit PgSession(std::string_view source);
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  pg_conn* connection() const { return connection_; }

 private:
  pg_conn* connection_ = nullptr;
};

}  // namespace quilmark
