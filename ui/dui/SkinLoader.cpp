#include "SkinLoader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUiLoader>

#include "DialogBuilderCallback.h"
#include "GifAnim.h"
#include "Skin.h"

namespace zav {

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

namespace {

bool ReadSkin(const QString& fileName, QByteArray* xml, QDir* folder, QString* error) {
  const QString path = SkinFilePath(fileName);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("cannot open skin file %1").arg(path);
    return false;
  }
  *xml = file.readAll();
  *folder = QFileInfo(path).absoluteDir();
  return true;
}

QWidget* Load(SkinUiLoader& loader, const QByteArray& xml, const QString& fileName, QWidget* parent,
              QString* error) {
  QBuffer buffer;
  buffer.setData(xml);
  buffer.open(QIODevice::ReadOnly);
  QWidget* root = loader.load(&buffer, parent);
  if (!root && error) *error = QStringLiteral("%1: %2").arg(SkinFilePath(fileName), loader.errorString());
  return root;
}

}  // namespace

QWidget* LoadSkinFile(const QString& fileName, IDialogBuilderCallback* callback, QWidget* parent,
                      QString* error) {
  QByteArray xml;
  QDir folder;
  if (!ReadSkin(fileName, &xml, &folder, error)) return nullptr;
  SkinUiLoader loader(callback);
  loader.setWorkingDirectory(folder);
  return Load(loader, xml, fileName, parent, error);
}

SkinTemplate::SkinTemplate(const QString& fileName, IDialogBuilderCallback* callback)
    : fileName_(fileName), loader_(std::make_unique<SkinUiLoader>(callback)) {
  QDir folder;
  if (ReadSkin(fileName, &xml_, &folder, &error_)) loader_->setWorkingDirectory(folder);
}

SkinTemplate::~SkinTemplate() = default;

QWidget* SkinTemplate::Build() {
  if (!ok()) return nullptr;
  return Load(*loader_, xml_, fileName_, nullptr, &error_);
}

}  // namespace zav
