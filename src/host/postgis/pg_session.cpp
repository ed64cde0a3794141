#include "src/host/postgis/pg_session.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <regex>

#include "src/host/layer_path.h"
#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

// Keys of a "PG:" string that GDAL takes for itself and libpq would refuse.
const std::regex kGdalKeys(R"(\b(tables|schemas|active_schema)\s*=\s*('[^']*'|\S+))",
                           std::regex::icase);
const std::regex kConnectTimeout(R"(\bconnect_timeout\s*=\s*'?(-?\d+))", std::regex::icase);
const std::regex kKeepalives(R"(\b(keepalives\w*|tcp_user_timeout)\s*=)", std::regex::icase);

std::string_view WithoutPrefix(std::string_view source) {
  return source.size() >= 3 && (source[0] == 'P' || source[0] == 'p') &&
                 (source[1] == 'G' || source[1] == 'g') && source[2] == ':'
             ? source.substr(3)
             : source;
}

// The string's connect_timeout in seconds (0 or less: wait for ever, as libpq does); a number too
// large to be meant counts as a day.
int ConnectTimeout(std::string_view source) {
  const std::string text(source);
  std::smatch match;
  if (!std::regex_search(text, match, kConnectTimeout)) return kDefaultConnectTimeout;
  constexpr long kDay = 24 * 60 * 60;
  const std::string digits = match[1].str();
  long seconds = kDay;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
  if (error != std::errc()) seconds = digits[0] == '-' ? 0 : kDay;
  return static_cast<int>(std::min(seconds, kDay));
}

// Keepalives that give up on a silent peer after about the connect timeout: a server that is
// busy summing still answers them (the kernel does), one that is gone or cut off does not.
std::vector<std::pair<std::string, std::string>> Keepalives(std::string_view source) {
  const int timeout = ConnectTimeout(source);
  if (timeout <= 0 || std::regex_search(std::string(source), kKeepalives)) return {};
  const int idle = (timeout + 1) / 2;
  return {{"keepalives", "1"},
          {"keepalives_idle", std::to_string(idle)},
          {"keepalives_interval", "1"},
          {"keepalives_count", std::to_string(std::max(1, timeout - idle))},
          {"tcp_user_timeout", std::to_string(timeout * 1000)}};
}

// Connects without blocking, so that the server's own reason comes with its SQLSTATE (libpq
// writes the code into the message only at the verbose setting, which needs the connection
// object first), within the connect timeout. The connection, failed or not; nullptr only when
// there was no memory for one.
PGconn* Connect(std::string_view source) {
  std::vector<const char*> keys, values;
  const auto params = ConnectionParams(source);
  for (const auto& [key, value] : params) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* connection = PQconnectStartParams(keys.data(), values.data(), 1);
  if (connection == nullptr || PQstatus(connection) == CONNECTION_BAD) return connection;
  PQsetErrorVerbosity(connection, PQERRORS_VERBOSE);
  const int timeout = ConnectTimeout(source);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  while (status != PGRES_POLLING_OK && status != PGRES_POLLING_FAILED) {
    pollfd wait{PQsocket(connection),
                static_cast<short>(status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (timeout > 0 && left.count() <= 0) break;
    const int ready = poll(&wait, 1, timeout > 0 ? static_cast<int>(left.count()) : -1);
    if (ready < 0 && errno != EINTR) break;
    if (ready != 0) status = PQconnectPoll(connection);
  }
  return connection;
}

struct Refusal {
  const char* sqlstate;
  const char* text;
};
constexpr Refusal kRefusals[] = {
    {"28P01", "用户名或密码不对; 请检查连接字符串中的 user= 和 password="},
    {"3D000", "服务器上没有这个数据库; 请检查连接字符串中的 dbname="},
    {"28000", "服务器不允许这个用户从本机连接 (pg_hba.conf); 请让数据库管理员开通"},
    {"53300", "服务器的连接数已满; 请稍后再试"},
};

}  // namespace

std::vector<std::pair<std::string, std::string>> ConnectionParams(std::string_view source) {
  std::vector<std::pair<std::string, std::string>> params = {
      {"connect_timeout", std::to_string(kDefaultConnectTimeout)},
      {"application_name", "quilmark"}};
  for (auto& keepalive : Keepalives(source)) params.push_back(std::move(keepalive));
  // Expanded in place (expand_dbname): its own settings override the defaults before it.
  params.emplace_back("dbname",
                      std::regex_replace(std::string(WithoutPrefix(source)), kGdalKeys, ""));
  return params;
}

std::string KeepaliveWords(std::string_view source) {
  std::string words;
  for (const auto& [key, value] : Keepalives(source)) words += " " + key + "=" + value;
  return words;
}

namespace {

// Why the connection failed, in words a user can act on; nullopt when it did not.
std::optional<std::string> ProblemOf(PGconn* connection, int timeout) {
  if (connection == nullptr) return "内存不足";
  if (PQstatus(connection) == CONNECTION_OK) return std::nullopt;
  if (PQconnectionNeedsPassword(connection)) {
    return "服务器要求密码, 连接字符串中没有给出; 请加上 password=, 或把密码写入 .pgpass 文件";
  }
  std::string said = PQerrorMessage(connection);
  for (const Refusal& refusal : kRefusals) {
    if (said.find(std::string(refusal.sqlstate) + ":") != std::string::npos) {
      return "服务器拒绝了连接: " + std::string(refusal.text);
    }
  }
  while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
  if (PQstatus(connection) != CONNECTION_BAD || said.empty()) {
    said = "服务器在 " + std::to_string(timeout) + " 秒内没有应答";
  }
  return said + "; 请检查服务器地址、端口、数据库名、用户和密码";
}

}  // namespace

std::optional<std::string> ConnectionProblem(std::string_view source) {
  PGconn* connection = Connect(source);
  std::optional<std::string> problem = ProblemOf(connection, ConnectTimeout(source));
  PQfinish(connection);
  return problem;
}

PgSession::PgSession(std::string_view source) : connection_(Connect(source)) {
  std::optional<std::string> problem = ProblemOf(connection_, ConnectTimeout(source));
  if (!problem) {
    PQsetErrorVerbosity(connection_, PQERRORS_DEFAULT);
    return;
  }
  PQfinish(connection_);
  connection_ = nullptr;
  throw HostError("无法读取图层: 无法连接数据库 " + HidePassword(source) + ": " + *problem);
}

PgSession::~PgSession() { PQfinish(connection_); }

}  // namespace quilmark
