#include "SkinLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUiLoader>

#include "DialogBuilderCallback.h"
#include "GifAnim.h"
#include "Skin.h"

namespace zav {

namespace {

class SkinUiLoader : public QUiLoader {
 public:
  explicit SkinUiLoader(IDialogBuilderCallback* callback) : callback_(callback) {}

  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* widget = nullptr;
    if (className == CGifAnimUI::kSkinClassName) {
      widget = new CGifAnimUI(parent);
    } else if (callback_ && !availableWidgets().contains(className)) {
      widget = callback_->CreateControl(className, parent);
    }
    if (!widget) return QUiLoader::createWidget(className, parent, name);
    widget->setObjectName(name);
    return widget;
  }

 private:
  IDialogBuilderCallback* callback_;
};

}  // namespace

QWidget* LoadSkinFile(const QString& fileName, IDialogBuilderCallback* callback, QWidget* parent,
                      QString* error) {
  const QString path = SkinFilePath(fileName);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("cannot open skin file %1").arg(path);
    return nullptr;
  }
  SkinUiLoader loader(callback);
  loader.setWorkingDirectory(QFileInfo(path).absoluteDir());
  QWidget* root = loader.load(&file, parent);
  if (!root) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, loader.errorString());
    return nullptr;
  }
  return root;
}

}  // namespace zav
