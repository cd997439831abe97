#pragma once
// Builds widgets from a skin file (Qt Designer UI XML) of the skin folder.

#include <QByteArray>
#include <QString>

#include <memory>

class QWidget;

namespace zav {

class IDialogBuilderCallback;
class SkinUiLoader;

// Loads fileName (relative to the skin folder, or absolute) under parent. Layer controls
// ("GifAnim") are created here; other classes Qt does not know go to callback (may be null).
// nullptr, with the reason in *error, when the file is missing or is not a valid skin.
QWidget* LoadSkinFile(const QString& fileName, IDialogBuilderCallback* callback, QWidget* parent,
                      QString* error = nullptr);

// A skin file read once and built many times (the rows of a long list): no file access and
// no loader set-up per copy. UI thread only.
class SkinTemplate {
 public:
  SkinTemplate(const QString& fileName, IDialogBuilderCallback* callback);
  ~SkinTemplate();
  SkinTemplate(const SkinTemplate&) = delete;
  SkinTemplate& operator=(const SkinTemplate&) = delete;

  // False (with the reason in error()) when the file could not be read.
  bool ok() const { return !xml_.isEmpty(); }
  const QString& error() const { return error_; }

  // A new copy without a parent, or nullptr when the file is not a valid skin.
  QWidget* Build();

 private:
  QString fileName_;
  QByteArray xml_;
  std::unique_ptr<SkinUiLoader> loader_;
  QString error_;
};

}  // namespace zav
