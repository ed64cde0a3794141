#include "src/app/desktop_open.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>
#include <optional>

namespace quilmark {
namespace {

QString& QueryProgram() {
  static QString program = QStringLiteral("xdg-mime");
  return program;
}

// The desktop file of the default program for `type`: empty when there is none, nullopt when the
// query could not be run or did not answer in time.
std::optional<QString> DefaultProgramFor(const QString& type) {
  QProcess query;
  query.start(QueryProgram(), {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!query.waitForFinished(5000)) {
    query.kill();
    query.waitForFinished(1000);
    return std::nullopt;
  }
  // A type without a program is answered with nothing and status 0; another status means the
  // query itself went wrong, which says nothing about the type.
  if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) return std::nullopt;
  return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

}  // namespace

bool DesktopCanOpen(const QString& path) {
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(path);
  QStringList types{mime.name()};
  types += mime.allAncestors();
  for (const QString& type : types) {
    const std::optional<QString> program = DefaultProgramFor(type);
    if (!program) return true;
    if (!program->isEmpty()) return true;
  }
  return false;
}

bool OpenOnDesktop(const QString& path) {
  return DesktopCanOpen(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void SetDesktopQueryProgram(const QString& program) { QueryProgram() = program; }

}  // namespace quilmark
