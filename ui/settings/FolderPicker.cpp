#include "FolderPicker.h"
#include "dui/Texts.h"

#include <QFileDialog>

namespace zav {
namespace {

QString PickWithFileDialog(QWidget* parent, const QString& title, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
}

FolderPicker g_picker = &PickWithFileDialog;

}  // namespace

QString PickOutputFolder(QWidget* parent, const QString& startFolder) {
  return g_picker(parent, Tr(QStringLiteral(QT_TRANSLATE_NOOP("Zav", "选择保存目录"))), startFolder);
}

void SetFolderPicker(FolderPicker picker) { g_picker = picker ? picker : &PickWithFileDialog; }

}  // namespace zav
