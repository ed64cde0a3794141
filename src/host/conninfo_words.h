// The words of a PostgreSQL connection string as libpq reads them, without libpq: key=value
// pairs, a value bare or in single quotes with backslash escapes, or a URI (postgresql:// or
// postgres://) first. The GDAL-free, libpq-free rules that messages (the password hidden) and the
// server connection (GDAL's own keys taken out) share.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quilmark {

struct ConninfoWord {
  std::string key;  // lower case, as libpq matches keys
  std::string value;
};

struct ConninfoWords {
  std::string uri;  // the URI the string starts with; empty for none
  std::vector<ConninfoWord> words;
};

// The words of `text` (a "PG:" string without "PG:"); nullopt where a quote is not closed or a
// word has no "=", which libpq refuses too.
std::optional<ConninfoWords> SplitConninfo(std::string_view text);

// A value as a key=value string holds it: bare where it can be, else quoted and escaped.
std::string QuotedConninfoValue(std::string_view value);

// Whether a key's value is a secret (password, sslpassword).
bool IsSecretKey(std::string_view key);

// A URI with the password of its user part and of its query replaced by ***.
std::string UriWithoutPassword(std::string_view uri);

}  // namespace quilmark
