#include "Autostart.h"

#include <unistd.h>

#include <cerrno>

#include "AtomicFile.h"
#include "UserFolders.h"

namespace zav {

std::string AutostartEntryPath() { return GetAppDataRoot() + "/autostart/zav-audio-recorder.desktop"; }

bool AutostartEnabled() { return ::access(AutostartEntryPath().c_str(), F_OK) == 0; }

std::string AutostartEntryText(const std::string& program) {
  // Exec quoting: the path in double quotes, with ", `, $ and \ escaped by a backslash, and
  // that backslash (and one of the path's own) escaped again as the file's strings ask; a
  // literal % is written %%.
  std::string quoted = "\"";
  for (const char c : program) {
    if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
    if (c == '\\') quoted += "\\\\\\";
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=ZAV Audio Recorder\n"
         "Name[zh_CN]=ZAV电脑录音软件\n"
         "Comment=Records scheduled jobs from the tray\n"
         "Comment[zh_CN]=在托盘中运行,按时执行定时录音任务\n"
         "Exec=" + quoted + " " + kStartHiddenOption + "\n"
         "Icon=zav-audio-recorder\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostart(bool on, const std::string& program) {
  const std::string path = AutostartEntryPath();
  if (!on) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  EnsureDirectoryPath(ParentFolder(path));
  return ReplaceFileAtomically(path, AutostartEntryText(program));
}

}  // namespace zav
