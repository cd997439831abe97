#include "LogSetup.h"

#include <glog/logging.h>

namespace zav {

namespace {
constexpr int kMaxLogSizeMb = 10;
}

void SetUpLogging(const std::string& logFolder, const char* programName, const char* filePrefix) {
  google::InitGoogleLogging(programName);
  // glog names a file base + "YYYYMMDD-HHMMSS.pid" + extension; with the base ending in
  // "log." and no extension the name is "log.YYYYMMDD-HHMMSS.pid".
  google::SetLogDestination(google::GLOG_INFO, (logFolder + "/" + filePrefix).c_str());
  google::SetLogFilenameExtension("");
  // The INFO file already holds every severity; separate files per severity would land in
  // the temporary folder.
  google::SetLogDestination(google::GLOG_WARNING, "");
  google::SetLogDestination(google::GLOG_ERROR, "");
  google::SetLogDestination(google::GLOG_FATAL, "");
  FLAGS_logtostderr = false;
  FLAGS_alsologtostderr = false;
  FLAGS_stderrthreshold = google::NUM_SEVERITIES;
  FLAGS_logbufsecs = 0;
  FLAGS_max_log_size = kMaxLogSizeMb;
  FLAGS_stop_logging_if_full_disk = true;
}

void ShutDownLogging() { google::ShutdownGoogleLogging(); }

}  // namespace zav
