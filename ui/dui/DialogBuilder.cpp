#include "DialogBuilder.h"

#include <glog/logging.h>

#include <QWidget>

#include "SkinLoader.h"
#include "WindowImplBase.h"

namespace zav {

QWidget* CDialogBuilder::Create(const QString& skinFile, IDialogBuilderCallback* callback,
                                WindowImplBase* manager) {
  lastError_.clear();
  QWidget* root = LoadSkinFile(skinFile, callback, nullptr, &lastError_);
  if (!root) {
    LOG(ERROR) << "dialog builder: " << lastError_.toStdString();
    return nullptr;
  }
  if (manager) manager->BindNotifications(root);
  return root;
}

QWidget* FindSubControl(QWidget* container, const QString& name) {
  if (!container) return nullptr;
  if (container->objectName() == name) return container;
  return container->findChild<QWidget*>(name);
}

}  // namespace zav
