// Statements this process runs on PostgreSQL servers, cancelled together when the user stops a
// run (Ctrl-C, SIGTERM, the window's 取消): the server stops working at once rather than finish a
// statement nobody waits for, in its leader and its workers alike.
#pragma once

#include <string>

#include "src/host/postgis/pg_session.h"

namespace quilmark {

// A connection of Quilmark's own, cancelled through libpq. Returns the id to forget it by.
int RememberConnection(pg_conn* connection);
void ForgetConnection(int id);

// A connection GDAL made, known by its server process (`pid`, started at `started` as the
// server's activity view gives it): cancelled through a connection of its own. A process that
// has ended since matches nothing, so it need not be forgotten.
void RememberServerProcess(const PgSource& source, std::string pid, std::string started);

// Cancels every statement the connections above run; returns within about a second. From any
// thread, but not from a signal handler.
void CancelServerStatements();

// On SIGINT or SIGTERM, cancels the server statements and then ends the process as the signal
// would have.
void CancelServerStatementsOnSignals();

}  // namespace quilmark
