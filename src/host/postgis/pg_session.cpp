#include "src/host/postgis/pg_session.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>

#include "src/host/layer_path.h"
#include "src/host/postgis/pg_cancel.h"
#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

// Keys of a "PG:" string that GDAL takes for itself and libpq would refuse.
bool IsGdalKey(std::string_view key) {
  return key == "tables" || key == "schemas" || key == "active_schema";
}

// What every session runs under: no statement can write (a filter that calls a function that
// inserts fails), and a table is scanned from its first row, not from where another scan is.
constexpr const char* kSessionOptions =
    "-c default_transaction_read_only=on -c synchronize_seqscans=off";

std::string_view WithoutPrefix(std::string_view source) {
  return IsConnectionString(source) ? source.substr(3) : source;
}

const std::string* Setting(const ConnectionSettings& settings, std::string_view key) {
  const std::string* found = nullptr;
  for (const auto& [name, value] : settings) {
    if (name == key) found = &value;
  }
  return found;
}

// The string's connect_timeout in seconds (0 or less: wait for ever, as libpq does); a number too
// large to be meant counts as a day.
int ConnectTimeout(const ConnectionSettings& settings) {
  const std::string* text = Setting(settings, "connect_timeout");
  if (text == nullptr) return kDefaultConnectTimeout;
  constexpr long kDay = 24 * 60 * 60;
  long seconds = kDay;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
  if (error != std::errc()) seconds = !text->empty() && (*text)[0] == '-' ? 0 : kDay;
  return static_cast<int>(std::min(seconds, kDay));
}

// Keepalives that give up on a silent peer after about the connect timeout: a server that is
// busy summing still answers them (the kernel does), one that is gone or cut off does not.
ConnectionSettings Keepalives(const ConnectionSettings& settings) {
  const int timeout = ConnectTimeout(settings);
  const bool own = std::any_of(settings.begin(), settings.end(), [](const auto& setting) {
    return setting.first.rfind("keepalives", 0) == 0 || setting.first == "tcp_user_timeout";
  });
  if (timeout <= 0 || own) return {};
  const int idle = (timeout + 1) / 2;
  return {{"keepalives", "1"},
          {"keepalives_idle", std::to_string(idle)},
          {"keepalives_interval", "1"},
          {"keepalives_count", std::to_string(std::max(1, timeout - idle))},
          {"tcp_user_timeout", std::to_string(timeout * 1000)}};
}

// The settings libpq reads from `conninfo`, in its order; nullopt with libpq's reason.
std::optional<ConnectionSettings> Parsed(const std::string& conninfo, std::string& refused) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    refused = error != nullptr ? error : "内存不足";
    PQfreemem(error);
    while (!refused.empty() && (refused.back() == '\n' || refused.back() == ' ')) {
      refused.pop_back();
    }
    return std::nullopt;
  }
  ConnectionSettings settings;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (option->val != nullptr) settings.emplace_back(option->keyword, option->val);
  }
  PQconninfoFree(options);
  return settings;
}

}  // namespace

PgSource ParsePgSource(std::string_view source) {
  const auto refuse = [&](const std::string& why) {
    throw HostError("无法读取图层: 连接字符串 " + HidePassword(source) + " 无效: " + why +
                    "; 写法如 PG:host=服务器 dbname=数据库 user=用户 password=密码, 或 "
                    "PG:postgresql://用户@服务器/数据库");
  };
  const std::optional<ConninfoWords> split = SplitConninfo(WithoutPrefix(source));
  if (!split) refuse("引号不配对, 或有的设置缺少 \"=\"");
  PgSource parsed;
  std::string words;
  for (const ConninfoWord& word : split->words) {
    if (IsGdalKey(word.key)) {
      parsed.gdal.push_back(word);
      if (word.key == "active_schema") parsed.schema = word.value;
      if (word.key == "schemas" && parsed.schema.empty() &&
          word.value.find(',') == std::string::npos) {
        parsed.schema = word.value;  // GDAL makes the only schema listed the active one
      }
    } else {
      words += word.key + "=" + QuotedConninfoValue(word.value) + " ";
    }
  }
  std::string refused;
  for (const std::string& part : {split->uri, words}) {
    if (part.empty()) continue;
    std::optional<ConnectionSettings> settings = Parsed(part, refused);
    if (!settings) refuse(refused);
    for (auto& setting : *settings) parsed.settings.push_back(std::move(setting));
  }
  return parsed;
}

ConnectionSettings ConnectionParams(const PgSource& source, std::string_view application) {
  ConnectionSettings params = {{"connect_timeout", std::to_string(kDefaultConnectTimeout)},
                               {"application_name", std::string(application)}};
  for (auto& keepalive : Keepalives(source.settings)) params.push_back(std::move(keepalive));
  std::string options;
  for (const auto& setting : source.settings) {
    // Named apart from the pair: clang before 16 cannot capture a structured binding.
    const std::string& key = setting.first;
    const std::string& value = setting.second;
    if (key == "options") {
      options += value + " ";
      continue;
    }
    const auto same = std::find_if(params.begin(), params.end(),
                                   [&](const auto& param) { return param.first == key; });
    if (same != params.end()) {
      same->second = value;
    } else {
      params.emplace_back(key, value);
    }
  }
  // Last, so that the string cannot turn it off.
  params.emplace_back("options", options + kSessionOptions);
  return params;
}

std::string GdalConnection(const PgSource& source) {
  std::string text = "PG:";
  for (const auto& [key, value] : ConnectionParams(source, "quilmark-gdal")) {
    text += key + "=" + QuotedConninfoValue(value) + " ";
  }
  for (const ConninfoWord& word : source.gdal) {
    text += word.key + "=" + QuotedConninfoValue(word.value) + " ";
  }
  text.pop_back();
  return text;
}

namespace {

// Connects without blocking, so that the server's own reason comes with its SQLSTATE (libpq
// writes the code into the message only at the verbose setting, which needs the connection
// object first), within the connect timeout. The connection, failed or not; nullptr only when
// there was no memory for one.
PGconn* Connect(const PgSource& source) {
  std::vector<const char*> keys, values;
  const ConnectionSettings params = ConnectionParams(source, "quilmark");
  for (const auto& [key, value] : params) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* connection = PQconnectStartParams(keys.data(), values.data(), 0);
  if (connection == nullptr || PQstatus(connection) == CONNECTION_BAD) return connection;
  PQsetErrorVerbosity(connection, PQERRORS_VERBOSE);
  const int timeout = ConnectTimeout(source.settings);
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

std::optional<std::string> ConnectionProblem(const PgSource& source) {
  PGconn* connection = Connect(source);
  std::optional<std::string> problem = ProblemOf(connection, ConnectTimeout(source.settings));
  PQfinish(connection);
  return problem;
}

void ClearPgResult::operator()(pg_result* result) const { PQclear(result); }

PgSession::PgSession(const PgSource& source, std::string_view shown_source)
    : connection_(Connect(source)) {
  std::optional<std::string> problem = ProblemOf(connection_, ConnectTimeout(source.settings));
  if (!problem) {
    PQsetErrorVerbosity(connection_, PQERRORS_DEFAULT);
    cancel_id_ = RememberConnection(connection_);
    return;
  }
  PQfinish(connection_);
  connection_ = nullptr;
  throw HostError("无法读取图层: 无法连接数据库 " + HidePassword(shown_source) + ": " + *problem);
}

PgSession::~PgSession() {
  ForgetConnection(cancel_id_);
  PQfinish(connection_);
}

PgResult PgSession::Query(const std::string& sql, const std::vector<std::string>& parameters) {
  std::vector<const char*> values;
  for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
  PgResult result(PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) throw FailureOf(result.release());
  return result;
}

void PgSession::Run(const char* command) {
  PGresult* result = PQexec(connection_, command);
  if (PQresultStatus(result) != PGRES_COMMAND_OK) throw FailureOf(result);
  PQclear(result);
}

PgFailure PgSession::FailureOf(pg_result* result) const {
  const char* code = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary =
      result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  PgFailure failure;
  failure.said = primary != nullptr ? primary : PQerrorMessage(connection_);
  while (!failure.said.empty() && (failure.said.back() == '\n' || failure.said.back() == ' ')) {
    failure.said.pop_back();
  }
  failure.sqlstate = code != nullptr ? code : "";
  failure.lost = PQstatus(connection_) == CONNECTION_BAD;
  PQclear(result);
  return failure;
}

}  // namespace quilmark
