// bench_main_window: the desktop program's main window, timed from inside.
//
//   bench_main_window list <skin folder> <recordings folder>
//     Opens the window over a folder of recordings and times, from the start of main, the
//     window's first paint, the first row and the last row of the list, the moment every row
//     but the first has its duration, the first row's duration, and the longest time the
//     window did not answer (a 10 ms timer that came late).
//   bench_main_window stop <skin folder> <recordings folder> <format> <seconds> [<wait ms> [hidden]]
//     Starts a recording with the start button <wait ms> (default 500) after the window is
//     shown, lets it run, presses stop and times the new row of the list and its selection
//     from the click on stop. With "hidden" the window is hidden at once, as in the tray, and
//     the recording is started as a hotkey or a job would.
//   bench_main_window idle <skin folder> <recordings folder> <seconds>
//     The idle window, shown (its level meters live) and then minimised: the process's CPU
//     and context switches over <seconds> each, and how often the meters were drawn.
//   bench_main_window jobs <skin folder> <recordings folder> <jobs>
//     Writes a job file of <jobs> jobs, presses "cron-job-btn" and times, from the click, the
//     job list's first row shown and its last item, the longest time the window did not answer
//     meanwhile, a scroll to the end, the row widgets that exist, and the process's peak memory.
//
// Needs XDG_CONFIG_HOME pointing at a folder of its own (the settings file is written there)
// and, for "stop" and "idle", PULSE_SERVER. Prints one line of key=value pairs (idle: two).

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QStyleFactory>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "ConfigStore.h"
#include "Trace.h"
#include "UserFolders.h"
#include "dui/Skin.h"
#include "levels/LevelPanel.h"
#include "mainwindow/MainWnd.h"
#include "recordings/RecordingsList.h"

namespace {

QElapsedTimer sinceStart;

double Ms() { return static_cast<double>(sinceStart.nsecsElapsed()) / 1e6; }

// Counts the paints of the widgets it watches.
class PaintCount : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

// CPU seconds (user + system) and context switches of the whole process so far.
struct Usage {
  double cpuSeconds = 0;
  long switches = 0;
  static Usage Now() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw + usage.ru_nivcsw};
  }
};

// Notes the first paint of a widget.
class FirstPaint : public QObject {
 public:
  double at = -1;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && at < 0) at = Ms();
    return QObject::eventFilter(watched, event);
  }
};

// The longest time between two firings of a 10 ms timer, less the 10 ms: how long the window
// kept input waiting at worst.
class Responsiveness : public QObject {
 public:
  Responsiveness() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      const double now = Ms();
      if (last_ >= 0 && now - last_ - kTickMs > worstLateMs) worstLateMs = now - last_ - kTickMs;
      last_ = now;
    });
    timer_.start(static_cast<int>(kTickMs));
  }
  double worstLateMs = 0;

 private:
  static constexpr double kTickMs = 10;
  QTimer timer_;
  double last_ = -1;
};

zav::CMainWnd* OpenWindow(const QString& skin, const std::string& folder, const std::string& format) {
  QString error;
  if (!zav::LoadSkinResources(skin, &error)) {
    std::fprintf(stderr, "skin: %s\n", qPrintable(error));
    return nullptr;
  }
  zav::ConfigStore& store = zav::ConfigStore::Instance();
  store.WriteString("global", "output-dir", folder);
  store.WriteString("global", "audio-format", format == "wav" ? "2" : format == "m4a" ? "1" : "0");
  auto* window = new zav::CMainWnd();
  if (!window->Create(nullptr, zav::CMainWnd::kCaption, zav::WindowStyle::kMainFrame)) return nullptr;
  window->CenterWindow();
  window->ShowWindow();
  return window;
}

int List(const QString& skin, const std::string& folder) {
  Responsiveness answering;
  FirstPaint paint;
  zav::CMainWnd* window = OpenWindow(skin, folder, "mp3");
  if (!window) return 1;
  window->installEventFilter(&paint);
  auto* list = window->FindControl<QListWidget>(QStringLiteral("audio-record-list"));
  double firstRow = -1;
  QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
    if (firstRow < 0) firstRow = Ms();
  });
  double lastRow = -1;
  double othersTimed = -1;  // every row but the first has its duration
  double firstTimed = -1;
  QTimer done;
  QObject::connect(&done, &QTimer::timeout, [&] {
    zav::RecordingsList& list = window->recordings();
    if (!list.ScanDone()) return;
    if (lastRow < 0) lastRow = Ms();
    const int pending = list.DurationsPending();
    const bool firstRead = list.DurationRead(0);
    if (firstTimed < 0 && firstRead) firstTimed = Ms();
    if (othersTimed < 0 && (pending == 0 || (pending == 1 && !firstRead))) othersTimed = Ms();
    if (pending != 0) return;
    std::printf(
        "first_paint_ms=%.1f first_row_ms=%.1f last_row_ms=%.1f other_durations_ms=%.1f first_duration_ms=%.1f "
        "rows=%d worst_late_ms=%.1f\n",
        paint.at, firstRow, lastRow, othersTimed, firstTimed, list.RowCount(), answering.worstLateMs);
    QApplication::exit(0);
  });
  done.start(1);
  return QApplication::exec();
}

int Stop(const QString& skin, const std::string& folder, const std::string& format, int seconds, int waitMs,
         bool hidden) {
  zav::CMainWnd* window = OpenWindow(skin, folder, format);
  if (!window) return 1;
  if (hidden) window->hide();
  auto* list = window->FindControl<QListWidget>(QStringLiteral("audio-record-list"));
  auto* info = window->FindControl<QLabel>(QStringLiteral("recorder-info"));
  double clicked = -1;
  double row = -1;
  QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
    if (clicked >= 0 && row < 0) row = Ms();
  });
  QObject::connect(list, &QListWidget::currentRowChanged, [&] {
    if (row < 0) return;
    std::printf("format=%s seconds=%d row_ms=%.1f selected_ms=%.1f\n", format.c_str(), seconds, row - clicked,
                Ms() - clicked);
    QApplication::exit(0);
  });
  auto click = [window](const char* name) {
    window->FindControl<QAbstractButton>(QLatin1String(name))->click();
  };
  QTimer::singleShot(waitMs, [&] { click("recorder-start"); });  // after the list is read
  QTimer started;
  QObject::connect(&started, &QTimer::timeout, [&] {
    if (info->text() != QStringLiteral("正在录音")) return;
    started.stop();
    QTimer::singleShot(seconds * 1000, [&] {
      clicked = Ms();
      click("recorder-stop");
    });
  });
  started.start(10);
  return QApplication::exec();
}

// Runs the event loop for ms milliseconds.
void RunFor(int ms) {
  QTimer::singleShot(ms, [] { QApplication::exit(0); });
  QApplication::exec();
}

int Idle(const QString& skin, const std::string& folder, int seconds) {
  zav::CMainWnd* window = OpenWindow(skin, folder, "mp3");
  if (!window) return 1;
  PaintCount meterPaints;
  for (const char* name : {"mic-level-meter", "sys-level-meter"}) {
    if (QWidget* meter = window->FindControl(QLatin1String(name))) meter->installEventFilter(&meterPaints);
  }
  auto measure = [&](const char* what) {
    RunFor(5000);  // start-up work done, the monitor started or stopped
    const int monitoring = window->levels().MonitorRunning().has_value() ? 1 : 0;
    const Usage before = Usage::Now();
    const int paintsBefore = meterPaints.paints;
    RunFor(seconds * 1000);
    const Usage after = Usage::Now();
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    std::printf("window=%s seconds=%d monitor=%d cpu_s=%.3f core_pct=%.3f switches_per_s=%.1f meter_paints_per_s=%.1f\n",
                what, seconds, monitoring, cpu, 100.0 * cpu / seconds,
                static_cast<double>(after.switches - before.switches) / seconds,
                static_cast<double>(meterPaints.paints - paintsBefore) / seconds);
    std::fflush(stdout);
  };
  measure("shown");
  window->showMinimized();
  measure("minimised");
  return 0;
}

// A job file as the program writes it, with jobs done, expired and not started.
bool WriteJobFile(int jobs) {
  std::ofstream out(zav::GetUserFolder(zav::kDataSubFolder) + "/cron.json", std::ios::binary);
  out << "{\n   \"list\" : [\n";
  for (int i = 1; i <= jobs; ++i) {
    const bool past = i % 3 == 0;
    const char* start = past ? "2024-05-01 09:30:00" : "2037-12-31 09:30:00";
    const char* end = past ? "2024-05-01 10:30:00" : "2037-12-31 10:30:00";
    out << "      {\n         \"cronJobId\" : " << i << ",\n         \"cronJobName\" : \"\\u6bcf\\u5468\\u4f8b\\u4f1a "
        << i << "\",\n         \"endtime\" : \"" << end << "\",\n         \"starttime\" : \"" << start
        << "\",\n         \"status\" : " << (i % 7 == 0 ? 1 : 0) << "\n      }" << (i < jobs ? "," : "") << "\n";
  }
  out << "   ]\n}\n";
  return static_cast<bool>(out);
}

// Row widgets that exist in the list now (built rows are named "item-<number>").
int BuiltRows(QListWidget* list) {
  int built = 0;
  for (QWidget* child : list->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->objectName().startsWith(QLatin1String("item-"))) ++built;
  }
  return built;
}

int Jobs(const QString& skin, const std::string& folder, int jobs) {
  if (!WriteJobFile(jobs)) {
    std::fprintf(stderr, "cannot write the job file\n");
    return 1;
  }
  zav::CMainWnd* window = OpenWindow(skin, folder, "mp3");
  if (!window) return 1;
  std::unique_ptr<Responsiveness> answering;
  double clicked = -1, firstRow = -1, lastRow = -1;
  QListWidget* list = nullptr;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || dialog->objectName() != QStringLiteral("定时任务")) return;
    if (!list) list = dialog->findChild<QListWidget*>(QStringLiteral("cron-job-list"));
    if (!list) return;
    if (firstRow < 0 && BuiltRows(list) > 0) firstRow = Ms();
    if (list->count() < jobs || firstRow < 0) return;
    watch.stop();
    lastRow = Ms();
    // A late tick of the answering timer fires only after this: read it a moment later.
    QTimer::singleShot(30, [&, dialog] {
      const double worstLate = answering->worstLateMs;
      const int builtAtEnd = BuiltRows(list);
      const double scrollStart = Ms();
      list->scrollToBottom();
      QApplication::processEvents();
      const double scrolled = Ms() - scrollStart;
      const int builtAfterScroll = BuiltRows(list);
      rusage usage{};
      getrusage(RUSAGE_SELF, &usage);
      std::printf("jobs=%d first_row_ms=%.1f last_row_ms=%.1f worst_late_ms=%.1f scroll_to_end_ms=%.1f "
                  "row_widgets=%d/%d peak_rss_mb=%.1f\n",
                  jobs, firstRow - clicked, lastRow - clicked, worstLate, scrolled, builtAtEnd, builtAfterScroll,
                  static_cast<double>(usage.ru_maxrss) / 1024.0);
      std::fflush(stdout);
      dialog->close();
      QTimer::singleShot(0, [] { QApplication::exit(0); });
    });
  });
  QTimer waitForScan;
  QObject::connect(&waitForScan, &QTimer::timeout, [&] {
    if (!window->recordings().ScanDone()) return;
    waitForScan.stop();
    answering = std::make_unique<Responsiveness>();
    watch.start(1);
    clicked = Ms();
    window->FindControl<QAbstractButton>(QStringLiteral("cron-job-btn"))->click();  // runs the modal list
  });
  waitForScan.start(10);
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  sinceStart.start();
  zav::SetTraceEnabled(false);  // the engine's progress lines would mix with the results
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QStringList args = QApplication::arguments();
  if (args.size() == 4 && args[1] == QLatin1String("list")) return List(args[2], args[3].toStdString());
  if (args.size() >= 6 && args.size() <= 8 && args[1] == QLatin1String("stop")) {
    const int waitMs = args.size() >= 7 ? args[6].toInt() : 500;
    const bool hidden = args.size() == 8 && args[7] == QLatin1String("hidden");
    return Stop(args[2], args[3].toStdString(), args[4].toStdString(), args[5].toInt(), waitMs, hidden);
  }
  if (args.size() == 5 && args[1] == QLatin1String("idle")) return Idle(args[2], args[3].toStdString(), args[4].toInt());
  if (args.size() == 5 && args[1] == QLatin1String("jobs")) return Jobs(args[2], args[3].toStdString(), args[4].toInt());
  std::fprintf(stderr,
               "usage: bench_main_window list <skin folder> <recordings folder>\n"
               "       bench_main_window stop <skin folder> <recordings folder> mp3|m4a|wav <seconds> [<wait ms> [hidden]]\n"
               "       bench_main_window idle <skin folder> <recordings folder> <seconds>\n"
               "       bench_main_window jobs <skin folder> <recordings folder> <jobs>\n");
  return 2;
}
