#include "src/host/live/office_connection.h"

#include <gtest/gtest.h>

#include "src/host/live/live_sheet.h"
#include "tests/live/office_process.h"

namespace quilmark {
namespace {

TEST(ParseUnoAddress, SplitsConnectionProtocolAndObject) {
  struct Case {
    const char* text;
    std::optional<std::vector<std::string>> parts;  // connection, protocol, object
  };
  const Case cases[] = {
      {"socket,host=127.0.0.1,port=2002;urp;",
       {{"socket,host=127.0.0.1,port=2002", "urp", "StarOffice.ComponentContext"}}},
      {"socket,host=127.0.0.1,port=2002;urp",
       {{"socket,host=127.0.0.1,port=2002", "urp", "StarOffice.ComponentContext"}}},
      {"uno:pipe,name=office;urp;StarOffice.ServiceManager",
       {{"pipe,name=office", "urp", "StarOffice.ServiceManager"}}},
      {"", std::nullopt},
      {"socket,host=127.0.0.1,port=2002", std::nullopt},
      {";urp;", std::nullopt},
      {"a;b;c;d", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<UnoAddress> address = ParseUnoAddress(c.text);
    ASSERT_EQ(address.has_value(), c.parts.has_value());
    if (!address) continue;
    EXPECT_EQ((std::vector{address->connection, address->protocol, address->object}), *c.parts);
  }
}

TEST(MissingTypeLibraries, NamesThePathsAndThePackageToInstall) {
  TempFolder empty;
  const std::optional<std::string> message = MissingTypeLibraries(empty.path());
  ASSERT_TRUE(message.has_value());
  EXPECT_NE(message->find(empty.path() + "/types/offapi.rdb"), std::string::npos);
  EXPECT_NE(message->find("libreoffice-calc"), std::string::npos);
  EXPECT_EQ(MissingTypeLibraries(QUILMARK_OFFICE_PROGRAM_DIR), std::nullopt);
}

TEST(ErrorText, ShowsErrorsAsTheOfficeDoes) {
  const std::pair<int32_t, const char*> cases[] = {
      {532, "#DIV/0!"}, {32767, "#N/A"}, {519, "#VALUE!"}, {524, "#REF!"},
      {525, "#NAME?"},  {503, "#NUM!"},  {502, "Err:502"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(ErrorText(code), text) << code;
}

}  // namespace
}  // namespace quilmark
