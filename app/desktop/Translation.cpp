#include "Translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

namespace zav {

bool PrefersChinese(const QStringList& uiLanguages) {
  return !uiLanguages.isEmpty() && uiLanguages.front().startsWith(QLatin1String("zh"), Qt::CaseInsensitive);
}

QString InstallTranslation(QCoreApplication* app, const QString& folder, const QStringList& uiLanguages) {
  if (PrefersChinese(uiLanguages)) return QStringLiteral("zh");
  auto* translator = new QTranslator(app);  // lives as long as the application
  if (!translator->load(QDir(folder).filePath(QString::fromLatin1(kEnglishTranslationFile)))) {
    delete translator;
    return QStringLiteral("zh");
  }
  QCoreApplication::installTranslator(translator);
  return QStringLiteral("en");
}

}  // namespace zav
