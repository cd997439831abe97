// zav-record's command line: any arguments give options within their ranges or an error.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "RecordOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  std::string error;
  const auto options = zav::ParseRecordOptions(args, &error);
  if (!options) {
    if (error.empty()) std::abort();
    return 0;
  }
  const int source = static_cast<int>(options->source);
  if (source < 0 || source > 2 || options->boost < 0 || options->boost > 100 ||
      options->bitRate < 8000 || options->bitRate > 320000 || options->seconds < 0 ||
      options->seconds > zav::kMaxRecordSeconds || (options->outputDir.size() > 1 && options->outputDir.back() == '/'))
    std::abort();
  if (options->format != "mp3" && options->format != "m4a" && options->format != "wav") std::abort();
  return 0;
}
