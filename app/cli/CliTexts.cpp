#include "CliTexts.h"

#include <atomic>

namespace zav {
namespace {

std::atomic<bool> chinese{false};

constexpr CliText kTexts[] = {
    // Usage errors.
    {"{} needs a value", "{} 需要一个值"},
    {"{} needs a device name (see --list-devices)", "{} 需要设备名称(见 --list-devices)"},
    {"unknown source '{}' (both, mic or speaker)", "未知的录音来源“{}”(可用 both、mic 或 speaker)"},
    {"unknown format '{}' (mp3, m4a or wav)", "未知的格式“{}”(可用 mp3、m4a 或 wav)"},
    {"bitrate must be a number of bits per second from 8000 to 320000",
     "比特率须为 8000 到 320000 之间的每秒比特数"},
    {"seconds must be a number above 0 and at most {}", "秒数须为大于 0、不超过 {} 的数"},
    {"the output folder is empty", "输出目录为空"},
    {"boost must be a number from 0 to 100", "增益须为 0 到 100 之间的数"},
    {"unknown option '{}'", "未知选项“{}”"},
    {"Try 'zav-record --help'.", "用“zav-record --help”查看用法。"},
    {"no microphone called '{}'; the devices are:", "没有名为“{}”的麦克风;现有设备:"},
    {"no output called '{}'; the devices are:", "没有名为“{}”的输出设备;现有设备:"},
    // Before the recording.
    {"could not print the help text", "无法输出帮助文字"},
    {"standard output is closed: the path of the recording could not be printed",
     "标准输出已关闭:无法输出录音文件的路径"},
    {"{} does not apply to wav, which is recorded without voice processing; ignored",
     "{} 不适用于 wav(wav 录音不做语音处理),已忽略"},
    {"cannot ask the sound server for its devices: is a sound server (PulseAudio or PipeWire) running?",
     "无法向声音服务器查询设备:声音服务器(PulseAudio 或 PipeWire)是否在运行?"},
    {"could not print the devices", "无法输出设备列表"},
    {"no microphone found: recording system sound only", "未找到麦克风:只录制系统声音"},
    {"no sound output found: is a sound server (PulseAudio or PipeWire) running?",
     "未找到声音输出设备:声音服务器(PulseAudio 或 PipeWire)是否在运行?"},
    {"no microphone found", "未找到麦克风"},
    {"cannot write into the folder {}", "无法写入目录 {}"},
    {"nothing could be written into {} (is the disk full?); no file was left",
     "无法向 {} 写入任何内容(磁盘是否已满?);没有留下文件"},
    {"could not start recording: {}", "无法开始录音:{}"},
    // After it.
    {"the recording did not finish", "录音未能结束"},
    {"the file could not be written (is the disk full?); nothing was recorded and no file was left",
     "无法写入文件(磁盘是否已满?);没有录到内容,也没有留下文件"},
    {"the recording ended before any audio was recorded; no file was left",
     "录音在录到声音之前就结束了;没有留下文件"},
    {"the file could not be written any more (is the disk full?); the recording was stopped and {} keeps what was "
     "written",
     "文件无法继续写入(磁盘是否已满?);录音已停止,{} 保留了已写入的内容"},
    {"the file {} was deleted or moved while recording (was its folder deleted?)",
     "录音期间文件 {} 被删除或移走了(它的目录是否被删除?)"},
    {"the recording ran ahead of the clock, so its length is wrong; the recording was stopped and {} keeps what was "
     "written",
     "录音时长出错(录音快于时钟);录音已停止,{} 保留了已写入的内容"},
    {"encoding failed; the recording was stopped and {} keeps what was encoded before",
     "编码失败;录音已停止,{} 保留了此前编码的内容"},
    {"the recording ended before any audio was written; {} holds no audio", "录音在写入声音之前就结束了;{} 中没有声音"},
    {"the file {} could not be finished properly", "文件 {} 未能正常完成"},
    {"the microphone and system sound could not be recorded; {} holds silence in its place",
     "麦克风和系统声音都无法录制;{} 中以静音代替"},
    {"the microphone could not be recorded; {} holds silence in its place", "麦克风无法录制;{} 中以静音代替"},
    {"system sound could not be recorded; {} holds silence in its place", "系统声音无法录制;{} 中以静音代替"},
    {"the microphone and system sound went away during the recording and did not come back; {} holds silence from "
     "then on",
     "录音中麦克风和系统声音设备都已断开且未恢复;{} 中此后为静音"},
    {"the microphone went away during the recording and did not come back; {} holds silence from then on",
     "录音中麦克风已断开且未恢复;{} 中此后为静音"},
    {"system sound went away during the recording and did not come back; {} holds silence from then on",
     "录音中系统声音设备已断开且未恢复;{} 中此后为静音"},
    {"could not print the path of {}", "无法输出 {} 的路径"},
    {"no application called '{}' plays now; silence is recorded until it does",
     "没有名为“{}”的应用程序正在播放;在它播放之前录到的是静音"},
    {"--app needs an application's name (see --list-devices)", "--app 需要应用程序的名称(见 --list-devices)"},
    {"the disk has no room to rewrite {} as a plain m4a; it was kept fragmented, which players read as it is",
     "磁盘空间不足,无法把 {} 改写为普通 m4a;已保留为分段格式,播放器可以直接播放"},
};

bool Set(const char* value) { return value != nullptr && *value != '\0'; }

bool IsChinese(std::string_view locale) { return locale.substr(0, 2) == "zh"; }

}  // namespace

bool PrefersChineseTexts(const char* language, const char* lcAll, const char* lcMessages, const char* lang) {
  if (Set(language)) {
    const std::string_view list(language);
    return IsChinese(list.substr(0, list.find(':')));
  }
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (Set(value)) return IsChinese(value);
  }
  return false;
}

void UseChineseTexts(bool useChinese) { chinese = useChinese; }

bool ChineseTextsInUse() { return chinese; }

std::string Say(std::string_view english, std::initializer_list<std::string_view> arguments) {
  std::string_view text = english;
  if (chinese) {
    for (const CliText& entry : kTexts) {
      if (entry.english == english) {
        text = entry.chinese;
        break;
      }
    }
  }
  std::string out;
  const std::string_view* next = arguments.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "{}") == 0 && next != arguments.end()) {
      out += *next++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::span<const CliText> CliTexts() { return kTexts; }

}  // namespace zav
