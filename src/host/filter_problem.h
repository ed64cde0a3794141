// A filter (--where) that GDAL or the source refused, said in plain Chinese: what is wrong in
// words a planner can act on, the layer's fields when a name is not one of them, and GDAL's own
// text after it for whoever must look deeper.
#pragma once

#include <string>
#include <string_view>

namespace quilmark {

// The whole reason for a refused filter: `gdal_text` is what GDAL (or the source through it) said,
// `fields` the layer's fields as a list for the message.
std::string FilterProblemText(std::string_view where, std::string_view gdal_text,
                              std::string_view fields);

}  // namespace quilmark
