#pragma once
// What the user is told about recordings, where the user will see it. While the main window is
// on screen it shows failures in prompt boxes, as it always did, and says nothing of starts and
// saved files, which it shows itself. While it is hidden (in the tray or minimised) a recording
// that starts (a hotkey, a scheduled job), a file that was saved (with an action that shows it
// in the file manager) and every failure become desktop notifications. A job that starts late
// says so in a notification even with the window shown.
//
// "notify-check" (on unless set to 0) turns the notices of starts and saved files off; failures
// are always said, in a prompt box where the desktop shows no notifications.
//
// UI thread only; the setting is read on the disk worker.

#include <QString>

#include <cstdint>
#include <string>

#include "RecordingPrompts.h"

namespace zav {

class DesktopNotifications;
class DesktopShell;
class WindowImplBase;
class WorkQueue;
struct JobRecording;

class RecordingNotices {
 public:
  // desktop: may be null (no notifications at all). All outlive this object.
  RecordingNotices(WindowImplBase* window, WorkQueue* disk, DesktopShell* shell, DesktopNotifications* desktop);

  // A recording started into path; job is the scheduled job it records, or null.
  void Started(const std::string& path, const JobRecording* job);
  // Its file was completed and kept.
  void Saved(const std::string& path);
  // Something went wrong.
  void Failed(const Prompt& prompt);

  // True while the user can see the main window.
  bool WindowShown() const;

 private:
  enum class Kind { kStarted, kSaved, kFailure };
  // Shows a notification when allowed; a failure that cannot be shown so becomes a prompt box.
  // A saved file's note takes the place of its recording's started note, and offers to show it.
  void Notify(Kind kind, QString summary, QString body, const std::string& path = {}, const Prompt* fallback = nullptr);

  WindowImplBase* window_;
  WorkQueue* disk_;
  DesktopShell* shell_;
  DesktopNotifications* desktop_;
  uint32_t startedNote_ = 0;  // the note of the recording running: its saved note replaces it
};

}  // namespace zav
