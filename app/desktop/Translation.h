#pragma once
// The language of the program's texts: the Chinese source texts when the user prefers Chinese,
// else the English translation (zav_en.qm, which travels with the skin). Stored files, file
// names and settings never depend on it.

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace zav {

inline constexpr char kEnglishTranslationFile[] = "zav_en.qm";

// Whether the first of the user's languages (QLocale::system().uiLanguages(): LANGUAGE, then
// LC_ALL, LC_MESSAGES, LANG) is Chinese. Pure.
bool PrefersChinese(const QStringList& uiLanguages);

// Installs the English translation from folder unless the user prefers Chinese. Returns the
// language the texts are in: "zh" or "en" ("zh" when the translation cannot be loaded).
QString InstallTranslation(QCoreApplication* app, const QString& folder, const QStringList& uiLanguages);

}  // namespace zav
