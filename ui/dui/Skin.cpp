#include "Skin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <mutex>

namespace zav {

namespace {

std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}

QString& FolderValue() {
  static QString folder;
  return folder;
}

void SetError(QString* error, const QString& text) {
  if (error) *error = text;
}

}  // namespace

std::optional<SkinIndex> ParseSkinIndex(const QByteArray& xml, QString* error) {
  QXmlStreamReader reader(xml);
  SkinIndex index;
  bool sawRoot = false;
  while (reader.readNextStartElement()) {
    if (!sawRoot) {
      if (reader.name() != QLatin1String("resources")) {
        SetError(error, QStringLiteral("root element is not <resources>"));
        return std::nullopt;
      }
      sawRoot = true;
      continue;  // descend into <resources>
    }
    const QString file = reader.attributes().value(QLatin1String("file")).toString();
    if (file.isEmpty() || QDir::isAbsolutePath(file) || file.contains(QLatin1String(".."))) {
      SetError(error, QStringLiteral("element <%1> has no usable file attribute").arg(reader.name()));
      return std::nullopt;
    }
    if (reader.name() == QLatin1String("skin")) {
      index.skins << file;
    } else if (reader.name() == QLatin1String("picture")) {
      index.pictures << file;
    } else if (reader.name() == QLatin1String("style")) {
      index.styleSheetFile = file;
    }
    reader.skipCurrentElement();
  }
  if (reader.hasError() || !sawRoot) {
    SetError(error, reader.hasError() ? reader.errorString() : QStringLiteral("empty index"));
    return std::nullopt;
  }
  return index;
}

void SetSkinFolder(const QString& folder) {
  std::lock_guard lock(FolderMutex());
  FolderValue() = QDir(folder).absolutePath();
}

QString SkinFolder() {
  std::lock_guard lock(FolderMutex());
  return FolderValue();
}

QString SkinFilePath(const QString& fileName) {
  if (QDir::isAbsolutePath(fileName)) return fileName;
  return SkinFolder() + QLatin1Char('/') + fileName;
}

QString ResolveStyleSheetUrls(const QString& styleSheet, const QString& folder) {
  static const QRegularExpression kUrl(QStringLiteral(R"(url\(\s*["']?([^"')]+)["']?\s*\))"));
  QString result;
  qsizetype last = 0;
  auto it = kUrl.globalMatch(styleSheet);
  while (it.hasNext()) {
    const auto match = it.next();
    result += styleSheet.mid(last, match.capturedStart() - last);
    QString target = match.captured(1).trimmed();
    if (!QDir::isAbsolutePath(target) && !target.startsWith(QLatin1Char(':'))) {
      target = folder + QLatin1Char('/') + target;
    }
    result += QStringLiteral("url(\"%1\")").arg(target);
    last = match.capturedEnd();
  }
  result += styleSheet.mid(last);
  return result;
}

bool LoadSkinResources(const QString& folder, QString* error) {
  const QDir dir(folder);
  QFile indexFile(dir.filePath(kSkinIndexFile));
  if (!indexFile.open(QIODevice::ReadOnly)) {
    SetError(error, QStringLiteral("cannot read %1").arg(indexFile.fileName()));
    return false;
  }
  QString parseError;
  const auto index = ParseSkinIndex(indexFile.readAll(), &parseError);
  if (!index) {
    SetError(error, QStringLiteral("%1: %2").arg(indexFile.fileName(), parseError));
    return false;
  }
  QStringList listed = index->skins + index->pictures;
  if (!index->styleSheetFile.isEmpty()) listed << index->styleSheetFile;
  for (const QString& file : listed) {
    if (!QFileInfo::exists(dir.filePath(file))) {
      SetError(error, QStringLiteral("%1 names %2, which is missing").arg(indexFile.fileName(), file));
      return false;
    }
  }
  SetSkinFolder(dir.absolutePath());
  if (!index->styleSheetFile.isEmpty()) {
    QFile styleFile(dir.filePath(index->styleSheetFile));
    if (styleFile.open(QIODevice::ReadOnly) && qApp) {
      qApp->setStyleSheet(
          ResolveStyleSheetUrls(QString::fromUtf8(styleFile.readAll()), dir.absolutePath()));
    }
  }
  return true;
}

}  // namespace zav
