#include "src/host/xlsx/workbook_type.h"

#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

struct TemplatePair {
  std::string_view template_type;
  std::string_view workbook_type;
  std::string_view workbook_extension;  // the name that wants the workbook's type
};

// A macro-enabled template saved under a plain .xlsx name is left as it is: giving it the plain
// type would declare a workbook that still carries its macros.
constexpr TemplatePair kTemplates[] = {
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml", ".xlsx"},
    {"application/vnd.ms-excel.template.macroEnabled.main+xml",
     "application/vnd.ms-excel.sheet.macroEnabled.main+xml", ".xlsm"},
};

}  // namespace

std::optional<std::string_view> WorkbookTypeForName(std::string_view declared,
                                                    const std::filesystem::path& target) {
  const std::string extension = target.extension().string();
  for (const TemplatePair& pair : kTemplates) {
    if (EqualsIgnoringAsciiCase(declared, pair.template_type) &&
        EqualsIgnoringAsciiCase(extension, pair.workbook_extension)) {
      return pair.workbook_type;
    }
  }
  return std::nullopt;
}

}  // namespace quilmark::xlsx
