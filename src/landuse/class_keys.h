// The key functions of the land-use methods, one per method; the method table names them.
#pragma once

#include <string>
#include <string_view>

namespace quilmark {

std::string ClassC2008Key(std::string_view text);
std::string ClassB2008Key(std::string_view text);
std::string ClassA2008Key(std::string_view text);
std::string OwnershipEdKey(std::string_view text);
std::string ClassAEdKey(std::string_view text);
std::string AgriLandEdKey(std::string_view text);

}  // namespace quilmark
