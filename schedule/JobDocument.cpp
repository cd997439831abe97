#include "JobDocument.h"

#include <json/json.h>

#include <exception>
#include <memory>
#include <unordered_set>
#include <utility>

namespace zav {
namespace {

constexpr char kList[] = "list";

// jsoncpp's writer cuts a member name at a NUL, which could turn it into another member (a
// second "list" that hides the first when read back); such a document is not taken as one.
bool HasNulInMemberNames(const Json::Value& value) {
  if (value.isObject()) {
    for (const std::string& name : value.getMemberNames()) {
      if (name.find('\0') != std::string::npos) return true;
    }
  }
  if (value.isObject() || value.isArray()) {
    for (const Json::Value& child : value) {
      if (HasNulInMemberNames(child)) return true;
    }
  }
  return false;
}

// Parses text into a job document; false when it is not one. jsoncpp throws on input it
// refuses outright (nesting deeper than its limit), which counts as not a document.
bool ParseJobDocument(std::string_view text, Json::Value* document) {
  if (text.empty()) {
    *document = Json::Value(Json::objectValue);
    return true;
  }
  try {
    // Comments in a hand-edited file are not kept: jsoncpp's styled writer puts the next
    // element on a kept comment's line when the comment ends in a space, which loses jobs.
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), document, &errors)) return false;
  } catch (const std::exception&) {
    return false;
  }
  if (!document->isObject() || HasNulInMemberNames(*document)) return false;
  const Json::Value& list = std::as_const(*document)[kList];  // const: no member is added
  return list.isNull() || list.isArray();
}

int32_t IntMember(const Json::Value& job, const char* key) {
  if (!job.isObject()) return 0;
  const Json::Value& value = job[key];
  return value.isConvertibleTo(Json::intValue) ? value.asInt() : 0;
}

std::string TextMember(const Json::Value& job, const char* key) {
  if (!job.isObject()) return {};
  const Json::Value& value = job[key];
  return value.isString() ? value.asString() : std::string();
}

bool BoolMember(const Json::Value& job, const char* key) {
  if (!job.isObject()) return false;
  const Json::Value& value = job[key];
  return value.isBool() && value.asBool();
}

StoredJob ReadJob(const Json::Value& element) {
  return {IntMember(element, "cronJobId"),
          {TextMember(element, "cronJobName"), TextMember(element, "starttime"), TextMember(element, "endtime"),
           IntMember(element, "status"), BoolMember(element, "record")}};
}

// wanted, or the first number after it that is not taken; never 0. Ends: there are fewer
// taken numbers than 32-bit ones.
int32_t FreeId(int32_t wanted, const std::unordered_set<int32_t>& taken) {
  int32_t id = wanted;
  while (id == 0 || taken.contains(id)) id = NextJobId(id);
  return id;
}

Json::Value ToJson(const StoredJob& stored) {
  Json::Value value(Json::objectValue);
  value["cronJobId"] = stored.cronJobId;
  value["cronJobName"] = stored.job.cronJobName;
  value["starttime"] = stored.job.starttime;
  value["endtime"] = stored.job.endtime;
  value["status"] = stored.job.status;
  // Written only where true: a job without it is not recorded, as in older files.
  if (stored.job.record) value["record"] = true;
  return value;
}

std::string Write(const Json::Value& document) { return Json::StyledWriter().write(document); }

}  // namespace

int32_t NextJobId(int32_t id) { return static_cast<int32_t>(static_cast<uint32_t>(id) + 1u); }

std::optional<std::vector<StoredJob>> ReadJobDocument(std::string_view text) {
  Json::Value document;
  if (!ParseJobDocument(text, &document)) return std::nullopt;
  const Json::Value& list = std::as_const(document)[kList];
  std::vector<StoredJob> jobs;
  jobs.reserve(list.size());
  for (const Json::Value& element : list) jobs.push_back(ReadJob(element));
  return jobs;
}

std::optional<AppendedJob> AppendJob(std::string_view text, int32_t wantedId, const CronJob& job) {
  Json::Value document;
  if (!ParseJobDocument(text, &document)) return std::nullopt;
  std::unordered_set<int32_t> taken;
  for (const Json::Value& element : std::as_const(document)[kList]) taken.insert(IntMember(element, "cronJobId"));
  const StoredJob stored{FreeId(wantedId, taken), job};
  document[kList].append(ToJson(stored));
  return AppendedJob{Write(document), stored.cronJobId};
}

// The job of the list: the one at position when it is the expected job, else the first that is.
std::optional<Json::ArrayIndex> FindJob(const Json::Value& list, std::size_t position, const StoredJob& expected) {
  auto matches = [&](Json::ArrayIndex i) { return SameJob(ReadJob(list[i]), expected); };
  if (position < list.size() && matches(static_cast<Json::ArrayIndex>(position)))
    return static_cast<Json::ArrayIndex>(position);
  for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
    if (matches(i)) return i;
  }
  return std::nullopt;
}

// The text with change applied to the expected job's element (when it is there).
template <typename Change>
std::optional<std::string> ChangeJob(std::string_view text, std::size_t position, const StoredJob& expected,
                                     Change change) {
  Json::Value document;
  if (!ParseJobDocument(text, &document)) return std::nullopt;
  if (document.isMember(kList)) {
    Json::Value& list = document[kList];
    if (const std::optional<Json::ArrayIndex> found = FindJob(list, position, expected)) change(list, *found);
  }
  return Write(document);
}

std::optional<std::string> RemoveJob(std::string_view text, std::size_t position, const StoredJob& expected) {
  return ChangeJob(text, position, expected, [](Json::Value& list, Json::ArrayIndex i) {
    Json::Value removed;
    list.removeIndex(i, &removed);
  });
}

std::optional<std::string> MarkJobDone(std::string_view text, std::size_t position, const StoredJob& expected) {
  return ChangeJob(text, position, expected, [](Json::Value& list, Json::ArrayIndex i) {
    if (list[i].isObject()) list[i]["status"] = 1;
  });
}

std::optional<std::string> SetJobRecord(std::string_view text, std::size_t position, const StoredJob& expected,
                                        bool record) {
  return ChangeJob(text, position, expected, [record](Json::Value& list, Json::ArrayIndex i) {
    if (!list[i].isObject()) return;
    if (record) {
      list[i]["record"] = true;
    } else {
      list[i].removeMember("record");
    }
  });
}

}  // namespace zav
