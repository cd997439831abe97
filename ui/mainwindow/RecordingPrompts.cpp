#include "RecordingPrompts.h"

namespace zav {

std::optional<Prompt> PromptForStart(StartResult result) {
  switch (result) {
    case StartResult::kStarted:
    case StartResult::kBadFormat:
      return std::nullopt;
    case StartResult::kStartedWithoutMicrophone:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "没有插入麦克风设备,仅录系统声音")), 250, 100};
    case StartResult::kNoOutputDevice:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "未启用音频输出设备!"))};
    case StartResult::kNoMicrophone:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "请先插入麦克风设备!"))};
    case StartResult::kFolderNotWritable:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "该目录没有写入权限!"))};
    case StartResult::kInitFailed:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "音频设备出错!"))};
    case StartResult::kNothingWritten:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "磁盘可能已满,无法保存录音!")), 250, 100};
  }
  return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "音频设备出错!"))};
}

Prompt PromptForFault(RecordingFault fault) {
  switch (fault) {
    case RecordingFault::kWriteFailed:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "磁盘可能已满,录音已停止并保存!")), 250, 100};
    case RecordingFault::kFileGone:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音文件已被删除或移走,录音已停止!")), 250, 100};
    case RecordingFault::kEncodeFailed:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "音频编码出错,录音已停止并保存!")), 250, 100};
    case RecordingFault::kAheadOfClock:
      return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音时长出错,录音已停止并保存!")), 250, 100};
    case RecordingFault::kMicrophoneFailed:
    case RecordingFault::kSystemSoundFailed:
      break;
  }
  return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "音频设备出错,录音已停止并保存!")), 250, 100};
}

std::optional<Prompt> PromptForStandIn(const StartReport& report) {
  if (report.microphoneStoodIn && report.outputStoodIn)
    return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "所选麦克风和系统声音设备不可用,已使用默认设备")), 250, 100};
  if (report.microphoneStoodIn) return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "所选麦克风不可用,已使用默认设备")), 250, 100};
  if (report.outputStoodIn) return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "所选系统声音设备不可用,已使用默认设备")), 250, 100};
  return std::nullopt;
}

std::optional<Prompt> PromptForLostDevices(const FinishReport& report) {
  if (report.microphoneLost && report.systemSoundLost)
    return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音中麦克风和系统声音设备已断开,此后的录音为静音!")), 250, 100};
  if (report.microphoneLost)
    return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音中麦克风已断开,此后的录音为静音!")), 250, 100};
  if (report.systemSoundLost)
    return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "录音中系统声音设备已断开,此后的录音为静音!")), 250, 100};
  return std::nullopt;
}

Prompt PromptForEmptyRecording() { return Prompt{QStringLiteral(QT_TRANSLATE_NOOP("Zav", "没有录到声音,未保存录音文件!")), 250, 100}; }

}  // namespace zav
