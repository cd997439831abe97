#pragma once
// zav-record's messages in the user's language: Chinese when the user's first language is
// Chinese, English otherwise. The English text is the key; "{}" marks where a value goes.
// Output meant for programs (the path, the device list, the levels) never changes.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace zav {

// Whether the user's first language is Chinese: the first entry of LANGUAGE when it is set,
// else the first of LC_ALL, LC_MESSAGES and LANG that is set (null or empty: not set). Pure.
bool PrefersChineseTexts(const char* language, const char* lcAll, const char* lcMessages, const char* lang);

// Chooses the language of Say and of the help text, once at start.
void UseChineseTexts(bool chinese);
bool ChineseTextsInUse();

// The message in the chosen language, each "{}" replaced by the next argument. A text missing
// from the table is given in English.
std::string Say(std::string_view english, std::initializer_list<std::string_view> arguments = {});

struct CliText {
  std::string_view english;
  std::string_view chinese;
};
// Every message with its Chinese.
std::span<const CliText> CliTexts();

}  // namespace zav
