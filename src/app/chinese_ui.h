// Chinese in every box Qt draws itself (message box buttons, the file dialog), whatever the
// system's locale: the window's own texts are Chinese, and the boxes must match them.
#pragma once

class QCoreApplication;

namespace quilmark {

// Makes Chinese (China) the default locale and installs Qt's own Chinese translations into the
// application. False when Qt's translations are not installed; the boxes then stay in English.
bool UseChineseForQt(QCoreApplication& app);

}  // namespace quilmark
