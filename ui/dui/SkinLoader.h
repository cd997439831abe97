#pragma once
// Builds widgets from a skin file (Qt Designer UI XML) of the skin folder.

#include <QString>

class QWidget;

namespace zav {

class IDialogBuilderCallback;

// Loads fileName (relative to the skin folder, or absolute) under parent. Layer controls
// ("GifAnim") are created here; other classes Qt does not know go to callback (may be null).
// nullptr, with the reason in *error, when the file is missing or is not a valid skin.
QWidget* LoadSkinFile(const QString& fileName, IDialogBuilderCallback* callback, QWidget* parent,
                      QString* error = nullptr);

}  // namespace zav
