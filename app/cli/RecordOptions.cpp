#include "RecordOptions.h"

#include <charconv>
#include <cmath>

#include "CliTexts.h"

namespace zav {
namespace {

bool ParseInt(const std::string& text, int* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

bool ParseSeconds(const std::string& text, double* value) {
  try {
    size_t used = 0;
    *value = std::stod(text, &used);
    return used == text.size() && std::isfinite(*value) && *value > 0 && *value <= kMaxRecordSeconds;
  } catch (...) {
    return false;
  }
}

}  // namespace

const char* RecordUsage() {
  static constexpr const char* kEnglish =
      "Usage: zav-record [options]\n"
      "Records the microphone, the sound the computer plays, or both mixed, into a file.\n"
      "\n"
      "  --source both|mic|speaker   what to record (default both)\n"
      "  --format mp3|m4a|wav        file format (default mp3)\n"
      "  --bitrate N                 bits per second (default 64000, as in the window)\n"
      "  --seconds N                 stop after N seconds (default: until Ctrl+C)\n"
      "  --output-dir DIR            folder of the file (default: the recorder's output folder)\n"
      "  --mute                      record silence, without any sound device\n"
      "  --noise                     noise suppression on the microphone (not for wav)\n"
      "  --agc                       automatic gain control on the microphone (not for wav)\n"
      "  --boost N                   gain control boost in dB, 0-100 (default 20; not for wav)\n"
      "  --echo-cancel               remove the sound of the speakers from the microphone, for\n"
      "                              calls on speakers rather than headphones (not for wav)\n"
      "  --levels                    once a second, print on standard error the RMS level of each\n"
      "                              recorded source over that second in dBFS, for example\n"
      "                              \"mic -12.3 speaker -18.0\" (-60.0: silence)\n"
      "  --mic NAME                  record the microphone of this name (default: the sound\n"
      "                              server's default microphone)\n"
      "  --speaker NAME              record the sound of the output of this name (default: the\n"
      "                              sound server's default output)\n"
      "  --app NAME                  record only the sound this application plays, on any output\n"
      "                              (its name or its program's, as --list-devices shows it; may\n"
      "                              be given more than once); silence while it plays nothing\n"
      "  --list-devices              print the microphones, outputs and the applications playing,\n"
      "                              one a line: kind (microphone, output or app), name,\n"
      "                              description, tab-separated\n"
      "  --verbose                   print the log on standard error (otherwise it goes to the\n"
      "                              recorder's Log folder)\n"
      "  --help                      show this text\n"
      "\n"
      "Prints the path of the finished file, and nothing else, on standard output.\n"
      "Exit status: 0 recorded; 1 not started, or the file is incomplete, empty or gone,\n"
      "or a device went away and was not back at the end (the file is kept); 2 usage\n"
      "error; 3 the file could not be written (a full disk).\n";
  static constexpr const char* kChinese =
      "用法:zav-record [选项]\n"
      "把麦克风、电脑播放的声音或两者的混音录制到文件。\n"
      "\n"
      "  --source both|mic|speaker   录音来源(默认 both:两者混音)\n"
      "  --format mp3|m4a|wav        文件格式(默认 mp3)\n"
      "  --bitrate N                 每秒比特数(默认 64000,与窗口相同)\n"
      "  --seconds N                 N 秒后停止(默认:直到按 Ctrl+C)\n"
      "  --output-dir DIR            文件所在目录(默认:录音机的输出目录)\n"
      "  --mute                      录制静音,不用任何声音设备\n"
      "  --noise                     麦克风降噪(不适用于 wav)\n"
      "  --agc                       麦克风自动增益(不适用于 wav)\n"
      "  --boost N                   自动增益的增幅,单位 dB,0-100(默认 20;不适用于 wav)\n"
      "  --echo-cancel               从麦克风中去掉扬声器放出的声音,用于外放而不戴耳机\n"
      "                              的通话(不适用于 wav)\n"
      "  --levels                    每秒在标准错误输出上打印各录音来源在这一秒内的\n"
      "                              RMS 电平(dBFS),例如 \"mic -12.3 speaker -18.0\"\n"
      "                              (-60.0 表示静音)\n"
      "  --mic NAME                  录制这个名称的麦克风(默认:声音服务器的默认麦克风)\n"
      "  --speaker NAME              录制这个名称的输出设备的声音(默认:声音服务器的默认输出)\n"
      "  --app NAME                  只录制这个应用程序播放的声音,无论它在哪个输出设备上播放\n"
      "                              (应用程序名或程序文件名,见 --list-devices;可多次给出);\n"
      "                              它不播放时录到静音\n"
      "  --list-devices              列出麦克风、输出设备和正在播放的应用程序,每行一个:\n"
      "                              类型(microphone、output 或 app)、名称、描述,以制表符分隔\n"
      "  --verbose                   在标准错误输出上打印日志(否则写入录音机的 Log 目录)\n"
      "  --help                      显示本说明\n"
      "\n"
      "在标准输出上只打印录好的文件的路径。\n"
      "退出状态:0 录音成功;1 未能开始,或文件不完整、为空或已不在,或设备断开后\n"
      "到结束时仍未恢复(文件保留);2 用法错误;3 文件无法写入(磁盘已满)。\n";
  return ChineseTextsInUse() ? kChinese : kEnglish;
}

std::vector<std::string> IgnoredOptions(const RecordOptions& options) {
  std::vector<std::string> ignored;
  if (options.format != "wav") return ignored;
  if (options.noise) ignored.push_back("--noise");
  if (options.agc) ignored.push_back("--agc");
  if (options.boostGiven) ignored.push_back("--boost");
  if (options.echoCancel) ignored.push_back("--echo-cancel");
  return ignored;
}

std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& args, std::string* error) {
  RecordOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = Say("{} needs a value", {arg});
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--mute") {
      options.mute = true;
    } else if (arg == "--noise") {
      options.noise = true;
    } else if (arg == "--agc") {
      options.agc = true;
    } else if (arg == "--echo-cancel") {
      options.echoCancel = true;
    } else if (arg == "--levels") {
      options.levels = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--list-devices") {
      options.listDevices = true;
    } else if (arg == "--mic" || arg == "--speaker") {
      if (!value(&v)) return std::nullopt;
      if (v.empty()) {
        *error = Say("{} needs a device name (see --list-devices)", {arg});
        return std::nullopt;
      }
      (arg == "--mic" ? options.devices.microphone : options.devices.speaker) = v;
    } else if (arg == "--app") {
      if (!value(&v)) return std::nullopt;
      if (v.empty()) {
        *error = Say("--app needs an application's name (see --list-devices)");
        return std::nullopt;
      }
      options.devices.applications.push_back(v);
    } else if (arg == "--source") {
      if (!value(&v)) return std::nullopt;
      if (v == "both") options.source = VoiceSource::Both;
      else if (v == "mic") options.source = VoiceSource::Microphone;
      else if (v == "speaker") options.source = VoiceSource::Speaker;
      else {
        *error = Say("unknown source '{}' (both, mic or speaker)", {v});
        return std::nullopt;
      }
    } else if (arg == "--format") {
      if (!value(&v)) return std::nullopt;
      if (v != "mp3" && v != "m4a" && v != "wav") {
        *error = Say("unknown format '{}' (mp3, m4a or wav)", {v});
        return std::nullopt;
      }
      options.format = v;
    } else if (arg == "--bitrate") {
      if (!value(&v)) return std::nullopt;
      if (!ParseInt(v, &options.bitRate) || options.bitRate < 8000 || options.bitRate > 320000) {
        *error = Say("bitrate must be a number of bits per second from 8000 to 320000");
        return std::nullopt;
      }
    } else if (arg == "--seconds") {
      if (!value(&v)) return std::nullopt;
      if (!ParseSeconds(v, &options.seconds)) {
        *error = Say("seconds must be a number above 0 and at most {}",
                     {std::to_string(static_cast<long long>(kMaxRecordSeconds))});
        return std::nullopt;
      }
    } else if (arg == "--output-dir") {
      if (!value(&options.outputDir)) return std::nullopt;
      if (options.outputDir.empty()) {
        *error = Say("the output folder is empty");
        return std::nullopt;
      }
      // The folder is named without a trailing separator (the root stays "/").
      while (options.outputDir.size() > 1 && options.outputDir.back() == '/') options.outputDir.pop_back();
    } else if (arg == "--boost") {
      if (!value(&v)) return std::nullopt;
      if (!ParseInt(v, &options.boost) || options.boost < 0 || options.boost > 100) {
        *error = Say("boost must be a number from 0 to 100");
        return std::nullopt;
      }
      options.boostGiven = true;
    } else {
      *error = Say("unknown option '{}'", {arg});
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace zav
