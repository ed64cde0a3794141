// The content type a package declares for its workbook part decides which file names spreadsheet
// programs open it under: a template's type under a workbook's name (.xltx saved as .xlsx) is
// refused as damaged. A save gives the workbook part the type its new name calls for.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quilmark::xlsx {

// The type the workbook part must declare when the package is written to `target`, where it
// differs from `declared`; nullopt where `declared` fits the name (or no rule covers the pair).
std::optional<std::string_view> WorkbookTypeForName(std::string_view declared,
                                                    const std::filesystem::path& target);

}  // namespace quilmark::xlsx
