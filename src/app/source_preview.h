// The first rows of the source the window has chosen, as text, so that the user picks the zone,
// class and area columns by seeing them: a workbook's sheet under its column letters, a layer's
// first features under their field names.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quilmark {

struct SourcePreview {
  std::string shown;                 // the worksheet or layer the rows come from
  std::vector<std::string> headers;  // "A (1)", "B (2)", … or the layer's field names
  std::vector<std::vector<std::string>> rows;
};

// At most `rows` rows and `columns` columns of the workbook's sheet (as a run would open it, read
// only) or of the layer (empty: the only one, else the first); nullopt where the source cannot be
// read, which the run itself then reports. Reads the whole sheet of a workbook: call it off the
// window's thread.
std::optional<SourcePreview> ReadSourcePreview(const std::string& source, const std::string& layer,
                                               int rows, int columns);

}  // namespace quilmark
