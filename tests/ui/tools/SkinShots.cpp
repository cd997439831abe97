// Pictures of the skins for checking the look by eye.
//   zav_skin_shots <skin folder> <out folder>   every window of the skin, with sample rows
//   zav_skin_shots --screen <file.png>           the whole X screen (run on the Xvfb display)
//   zav_skin_shots --centre <skin folder> <skin file> <control>
//                                                where the control's centre lies in its window
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QStyleFactory>

#include <cstdio>

#include "dui/DialogBuilder.h"
#include "dui/Skin.h"
#include "dui/WindowImplBase.h"

namespace {

class PreviewWindow : public zav::WindowImplBase {
 public:
  explicit PreviewWindow(QString skin) : skin_(std::move(skin)) {}

 protected:
  QString GetSkinFile() override { return skin_; }

 private:
  QString skin_;
};

void AddRow(zav::WindowImplBase& window, QListWidget* list, const QString& skin,
            const std::vector<std::pair<QString, QString>>& texts) {
  zav::CDialogBuilder builder;
  QWidget* row = builder.Create(skin, &window, &window);
  if (!row) return;
  for (const auto& [name, text] : texts) {
    if (auto* label = zav::FindSubControl(row, name) ? qobject_cast<QLabel*>(zav::FindSubControl(row, name)) : nullptr) {
      label->setText(text);
    }
  }
  auto* item = new QListWidgetItem(list);
  item->setSizeHint(QSize(0, row->minimumHeight()));
  list->setItemWidget(item, row);
}

void FillSamples(PreviewWindow& window) {
  if (auto* list = window.FindControl<QListWidget>(QStringLiteral("audio-record-list"))) {
    const char* names[] = {"新录音-20240131090507.mp3", "新录音-20240201143012.wav", "新录音-20240203201544.m4a"};
    const char* sizes[] = {"2.86M", "48.12M", "912KB"};
    const char* times[] = {"00:03:07", "00:04:32", "00:00:59"};
    for (int i = 0; i < 3; ++i) {
      AddRow(window, list, QStringLiteral("RecorderListContainerElement.xml"),
             {{"fileNameLabel", names[i]}, {"fileSizeLabel", sizes[i]}, {"durationLabel", times[i]}});
    }
  }
  if (auto* list = window.FindControl<QListWidget>(QStringLiteral("cron-job-list"))) {
    AddRow(window, list, QStringLiteral("CronJobListContainerElement.xml"),
           {{"cron-job-name", "每周例会"}, {"starttime", "2024-05-06 09:30:00"},
            {"endtime", "2024-05-06 10:30:00"}, {"status", "已失效"}});
    AddRow(window, list, QStringLiteral("CronJobListContainerElement.xml"),
           {{"cron-job-name", "英语听力"}, {"starttime", "2030-01-01 07:00:00"},
            {"endtime", "2030-01-01 07:30:00"}, {"status", "未开始"}});
  }
  if (auto* text = window.FindControl<QLabel>(QStringLiteral("msgText"))) {
    text->setText(window.FindControl<QWidget>(QStringLiteral("msgCancel")) ? QStringLiteral("确定要删除文件吗?")
                                                                        : QStringLiteral("没有插入麦克风设备,仅录系统声音"));
  }
  if (auto* tips = window.FindControl<QLabel>(QStringLiteral("error-tips"))) tips->setText(QStringLiteral("请输入正确的开始/结束时间!"));
}

// Where the program shows a control: the centre of the control named `control` of the skin
// file, relative to the window's client area, with the program's own style and style sheet.
int PrintControlCentre(const QString& skinFolder, const QString& skinFile, const QString& control) {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QString error;
  if (!zav::LoadSkinResources(skinFolder, &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  PreviewWindow window(skinFile);
  if (!window.Create(nullptr, skinFile)) return 1;
  window.show();
  QApplication::processEvents();
  QWidget* widget = window.FindControl(control);
  if (!widget) {
    std::fprintf(stderr, "no control %s in %s\n", qPrintable(control), qPrintable(skinFile));
    return 1;
  }
  const QPoint centre = widget->mapTo(&window, widget->rect().center());
  std::printf("%d %d\n", centre.x(), centre.y());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--centre")) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return PrintControlCentre(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                              QString::fromLocal8Bit(argv[4]));
  }
  if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--screen")) {
    QApplication app(argc, argv);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    return shot.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <skin folder> <out folder> | --screen <file.png> | --centre <skin folder> <skin file> <control>\n", argv[0]);
    return 2;
  }
  QString error;
  if (!zav::LoadSkinResources(QString::fromLocal8Bit(argv[1]), &error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  const QDir out(QString::fromLocal8Bit(argv[2]));
  const QStringList windows = {"MainWindow.xml", "MainTaskMenu.xml", "HotkeyDialog.xml", "Seting.xml",
                               "MessageBox.xml", "PromptBox.xml", "CronJobDialog.xml", "NewCronJobDialog.xml",
                               "Feedback.xml", "download.xml"};
  int failures = 0;
  for (const QString& skin : windows) {
    auto* window = new PreviewWindow(skin);
    if (!window->Create(nullptr, skin)) {
      ++failures;
      delete window;
      continue;
    }
    if (skin == QLatin1String("PromptBox.xml")) window->ResizeClient(250, 100);
    FillSamples(*window);
    window->show();
    QApplication::processEvents();
    const QString file = out.filePath(QString(skin).replace(QLatin1String(".xml"), QLatin1String(".png")));
    if (!window->grab().save(file)) ++failures;
    if (skin == QLatin1String("MainWindow.xml")) {
      // The recording look, as the main window switches to it.
      for (const char* name : {"recorder-start", "recorder-disabled", "recorder-ready", "recorder-status-init"}) {
        window->FindControl(QLatin1String(name))->hide();
      }
      for (const char* name : {"recorder-pause", "recorder-stop", "recorder-working", "recorder-status-working"}) {
        window->FindControl(QLatin1String(name))->show();
      }
      window->FindControl<QLabel>(QStringLiteral("recorder-info"))->setText(QStringLiteral("正在录音"));
      window->FindControl<QLabel>(QStringLiteral("recorder-progress"))->setText(QStringLiteral("00:12:48"));
      QApplication::processEvents();
      if (!window->grab().save(out.filePath(QStringLiteral("MainWindow-recording.png")))) ++failures;
    }
    delete window;
  }
  return failures == 0 ? 0 : 1;
}
