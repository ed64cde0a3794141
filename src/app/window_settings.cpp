#include "src/app/window_settings.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QWidget>
#include <string>

#include "src/report/report_kinds.h"

namespace quilmark {
namespace {

// The controls kept, by object name, which is also each one's key under "controls/". Set back
// in this order: tasks and methods, the report boxes, then the texts they may have rewritten.
const char* const kKeptControls[] = {
    "CheckTDLY",      "CheckZTGH",       "CheckZQStat",    "ChkNumArea",     "CheckZQDM2MC",
    "OptClassC_2008", "OptClassB_2008",  "OptClassA_2008", "OptQSXZ_ED",     "OptClassA_ED",
    "OptAgriLand_ED", "ListLandUse",     "CheckSplitK",    "TextClassTable", "TextKCXSColumn",
    "ListUnit",       "TextDecimals",    "CheckTotals",    "IsAllZone",      "IsOldGH",
    "IsNewGH",        "ListReportLevel", "ListZonePrefix", "TextZoneNames",  "OptBelowData",
    "OptNewWorkbook",
};
const char* const kKeptTexts[] = {"TextZQColumn", "TextDKStyleColumn", "TextAreaColumn"};

constexpr const char* kSourceKey = "source/path";
constexpr const char* kLayerKey = "source/layer";
constexpr const char* kWhereKey = "source/where";
constexpr const char* kRecentKey = "recent/files";

// Every kept control's name, in the order they are set back.
std::vector<QString> KeptNames() {
  std::vector<QString> names;
  for (const char* name : kKeptControls) names.push_back(QString::fromUtf8(name));
  for (const ReportInfo& report : Reports()) {
    names.push_back(
        QStringLiteral("CheckReport_") +
        QString::fromUtf8(report.cli_name.data(), static_cast<qsizetype>(report.cli_name.size())));
  }
  for (const char* name : kKeptTexts) names.push_back(QString::fromUtf8(name));
  return names;
}

QVariant ValueOf(const QWidget* control) {
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->isChecked();
  if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
  return {};
}

void SetValue(QWidget* control, const QVariant& value) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(value.toString());
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    // An exclusive group keeps one option chosen: lift it to clear one.
    QButtonGroup* group = button->group();
    const bool exclusive = group != nullptr && group->exclusive();
    if (exclusive) group->setExclusive(false);
    button->setChecked(value.toBool());
    if (exclusive) group->setExclusive(true);
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    // An entry no longer offered leaves the list as it is.
    const int index = list->findText(value.toString());
    if (index >= 0) list->setCurrentIndex(index);
  }
}

QString ControlKey(const QString& name) { return QStringLiteral("controls/") + name; }

}  // namespace

std::unique_ptr<QSettings> OpenWindowSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QStringLiteral("quilmark"), QStringLiteral("quilmark-gui"));
}

ControlValues ReadControls(const QWidget& window) {
  ControlValues result;
  for (const QString& name : KeptNames()) {
    result.values.push_back(ValueOf(window.findChild<QWidget*>(name)));
  }
  return result;
}

void WriteControls(QWidget& window, const ControlValues& values) {
  const std::vector<QString> names = KeptNames();
  for (size_t i = 0; i < names.size() && i < values.values.size(); ++i) {
    QWidget* control = window.findChild<QWidget*>(names[i]);
    if (control != nullptr && values.values[i].isValid()) SetValue(control, values.values[i]);
  }
}

void SaveControls(const QWidget& window, const QString& source, QSettings& settings) {
  const std::vector<QString> names = KeptNames();
  const ControlValues values = ReadControls(window);
  for (size_t i = 0; i < names.size(); ++i) {
    if (values.values[i].isValid()) settings.setValue(ControlKey(names[i]), values.values[i]);
  }
  settings.setValue(kSourceKey, source);
  const auto* layer = window.findChild<const QComboBox*>(QStringLiteral("ListLayer"));
  const auto* where = window.findChild<const QLineEdit*>(QStringLiteral("TextWhere"));
  settings.setValue(kLayerKey, layer != nullptr ? layer->currentText() : QString());
  settings.setValue(kWhereKey, where != nullptr ? where->text() : QString());
}

void RestoreControls(QWidget& window, const QSettings& settings) {
  ControlValues values;
  for (const QString& name : KeptNames()) values.values.push_back(settings.value(ControlKey(name)));
  // A check box's saved value reads back as the text "true" or "false".
  for (QVariant& value : values.values) {
    if (value.isValid() && (value == QStringLiteral("true") || value == QStringLiteral("false"))) {
      value = value.toBool();
    }
  }
  WriteControls(window, values);
}

QString SavedSource(const QSettings& settings) {
  const QString source = settings.value(kSourceKey).toString();
  return !source.isEmpty() && QFileInfo::exists(source) ? source : QString();
}

void RestoreLayerAndFilter(QWidget& window, const QSettings& settings) {
  if (auto* layer = window.findChild<QComboBox*>(QStringLiteral("ListLayer"))) {
    SetValue(layer, settings.value(kLayerKey));
  }
  auto* where = window.findChild<QLineEdit*>(QStringLiteral("TextWhere"));
  if (where != nullptr && where->isEnabled()) where->setText(settings.value(kWhereKey).toString());
}

QStringList WithRecent(QStringList recent, const QString& path) {
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentLimit) recent.removeLast();
  return recent;
}

QStringList SavedRecent(const QSettings& settings) {
  QStringList recent = settings.value(kRecentKey).toStringList();
  while (recent.size() > kRecentLimit) recent.removeLast();
  return recent;
}

void SaveRecent(const QStringList& recent, QSettings& settings) {
  settings.setValue(kRecentKey, recent);
}

}  // namespace quilmark
