#pragma once
// Changes the user makes to the settings, written on the settings worker, and the prompt that
// tells the user when the settings file cannot take them (a read-only file system, a folder in
// the file's place, a link that leads nowhere). UI thread only.

#include <QString>

#include <string>

namespace zav {

class WindowImplBase;
class WorkQueue;

inline const QString kSettingsNotStoredText = QStringLiteral(QT_TRANSLATE_NOOP("Zav", "设置保存失败,配置文件无法写入!"));

// Stores key=value in section "global" of the settings store, on the disk worker. When the write
// fails, window (if it still exists by then) tells the user.
void StoreSetting(WindowImplBase* window, WorkQueue* disk, std::string_view key, std::string value);

// The prompt that a change could not be stored, modal over window. While one is open, further
// failures (a change that writes two keys, say) add none.
void TellSettingsNotStored(WindowImplBase* window);

}  // namespace zav
