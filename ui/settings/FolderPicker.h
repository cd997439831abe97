#pragma once
// The folder picker that the main window and the settings dialog show to choose the output
// folder ("选择保存目录"). Tests put a stand-in in its place. UI thread only.

#include <QString>

class QWidget;

namespace zav {

using FolderPicker = QString (*)(QWidget* parent, const QString& title, const QString& startFolder);

// The chosen folder, or empty when the user cancelled.
QString PickOutputFolder(QWidget* parent, const QString& startFolder);

// Replaces the desktop's picker; nullptr restores it.
void SetFolderPicker(FolderPicker picker);

}  // namespace zav
