#include "JobDocument.h"

#include <json/json.h>

#include <exception>
#include <memory>
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

Json::Value ToJson(const StoredJob& stored) {
  Json::Value value(Json::objectValue);
  value["cronJobId"] = stored.cronJobId;
  value["cronJobName"] = stored.job.cronJobName;
  value["starttime"] = stored.job.starttime;
  value["endtime"] = stored.job.endtime;
  value["status"] = stored.job.status;
  return value;
}

std::string Write(const Json::Value& document) { return Json::StyledWriter().write(document); }

}  // namespace

std::optional<std::vector<StoredJob>> ReadJobDocument(std::string_view text) {
  Json::Value document;
  if (!ParseJobDocument(text, &document)) return std::nullopt;
  std::vector<StoredJob> jobs;
  for (const Json::Value& element : std::as_const(document)[kList]) {
    jobs.push_back({IntMember(element, "cronJobId"),
                    {TextMember(element, "cronJobName"), TextMember(element, "starttime"),
                     TextMember(element, "endtime"), IntMember(element, "status")}});
  }
  return jobs;
}

std::optional<std::string> AppendJob(std::string_view text, const StoredJob& job) {
  Json::Value document;
  if (!ParseJobDocument(text, &document)) return std::nullopt;
  document[kList].append(ToJson(job));
  return Write(document);
}

std::optional<std::string> RemoveJob(std::string_view text, int32_t id) {
  Json::Value document;
  if (!ParseJobDocument(text, &document)) return std::nullopt;
  if (document.isMember(kList)) {
    Json::Value& list = document[kList];
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i) {
      if (IntMember(list[i], "cronJobId") == id) {
        Json::Value removed;
        list.removeIndex(i, &removed);
        break;
      }
    }
  }
  return Write(document);
}

}  // namespace zav
