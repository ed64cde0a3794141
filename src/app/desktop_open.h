// Opening the result file, or its folder, with the desktop's program for it, and telling the user
// when the desktop has none: Qt's own call reports failure only when the opener cannot start, and
// the opener that starts and finds no program for the type would otherwise leave the click
// without a word.
#pragma once

#include <QString>

namespace quilmark {

// Whether the desktop has a program for the file or folder at `path`, as the desktop's own query
// (`xdg-mime query default TYPE`) answers for its type and the types it derives from (a CSV file
// is also plain text); true where that query cannot be run, since then nothing is known.
bool DesktopCanOpen(const QString& path);

// Opens `path` with the desktop's program for it; false when nothing can open it (then nothing
// was started).
bool OpenOnDesktop(const QString& path);

// The program asked in DesktopCanOpen, `xdg-mime` by default (for tests: a stand-in script).
void SetDesktopQueryProgram(const QString& program);

}  // namespace quilmark
