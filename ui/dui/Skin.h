#pragma once
// The skin folder: where every window finds its skin file and pictures, and its index "res.xml".
//
// UI thread only, except SkinFolder/SkinFilePath, which only read a value set before the
// first window exists.

#include <QString>
#include <QStringList>

#include <optional>

namespace zav {

inline const QString kSkinIndexFile = QStringLiteral("res.xml");

// What "res.xml" lists: skin files, pictures and the style sheet shared by every window.
struct SkinIndex {
  QStringList skins;
  QStringList pictures;
  QString styleSheetFile;  // empty when the index names none
};

// Reads "res.xml" text. nullopt (and a reason in *error) when it is not a valid index.
std::optional<SkinIndex> ParseSkinIndex(const QByteArray& xml, QString* error = nullptr);

// Absolute folder in which windows look for their skin files.
void SetSkinFolder(const QString& folder);
QString SkinFolder();
QString SkinFilePath(const QString& fileName);

// Style sheet text with relative url(...) references made absolute within folder.
QString ResolveStyleSheetUrls(const QString& styleSheet, const QString& folder);

// Start-up: reads folder/res.xml, checks that every listed file exists, makes folder the skin
// folder and applies the shared style sheet to the application. False (with a reason in
// *error) when the index is missing or broken or names a missing file.
bool LoadSkinResources(const QString& folder, QString* error = nullptr);

}  // namespace zav
