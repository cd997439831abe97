#include "FeedbackRequest.h"

#include <json/json.h>

#include "HttpClient.h"
#include "ServiceAddress.h"

namespace zav {

std::string FeedbackBody(std::string_view contentUtf8, std::string_view contactUtf8) {
  Json::Value body(Json::objectValue);
  body["content"] = Json::Value(contentUtf8.data(), contentUtf8.data() + contentUtf8.size());
  body["contact"] = Json::Value(contactUtf8.data(), contactUtf8.data() + contactUtf8.size());
  return Json::StyledWriter().write(body);
}

FeedbackOutcome SendFeedback(std::string_view baseUrl, std::string_view contentUtf8, std::string_view contactUtf8,
                             const CancelToken* cancel) {
  const std::string url = std::string(baseUrl) + std::string(kFeedbackPath);
  std::string response;
  HttpClientInstance()->PostJson(url, FeedbackBody(contentUtf8, contactUtf8), response, cancel);
  return ReadFeedbackAnswer(response);
}

}  // namespace zav
