// Parsing of user-dirs.dirs, the shell-syntax file in which xdg-user-dirs records the
// user's Documents, Desktop, ... folders:  XDG_DOCUMENTS_DIR="$HOME/Documents"

#include "TextUtil.h"
#include "UserFolders.h"

namespace zav {
namespace {

constexpr std::string_view kBlanks = " \t\r";


// The shell word at the start of text: a double-quoted string with backslash escapes, or
// the characters up to the first blank.
std::string ShellWord(std::string_view text) {
  std::string word;
  if (text.empty() || text.front() != '"') {
    return std::string(text.substr(0, text.find_first_of(kBlanks)));
  }
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') break;
    if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
    } else {
      word += c;
    }
  }
  return word;
}

std::string ExpandHome(std::string_view value, std::string_view home) {
  for (const std::string_view variable : {std::string_view("$HOME"), std::string_view("${HOME}")}) {
    if (!value.starts_with(variable)) continue;
    const std::string_view rest = value.substr(variable.size());
    if (!rest.empty() && rest.front() != '/') continue;  // "$HOMEX" is another variable
    if (home.empty()) return {};
    return std::string(home) + std::string(rest);
  }
  if (value.starts_with("/")) return std::string(value);
  return {};  // relative paths are not valid entries
}

}  // namespace

std::string ParseXdgUserDir(std::string_view userDirsText, std::string_view name,
                            std::string_view home) {
  std::string result;
  std::size_t pos = 0;
  while (pos < userDirsText.size()) {
    const auto newline = userDirsText.find('\n', pos);
    const std::string_view line = Trim(userDirsText.substr(
        pos, newline == std::string_view::npos ? std::string_view::npos : newline - pos), kBlanks);
    pos = newline == std::string_view::npos ? userDirsText.size() : newline + 1;
    if (line.empty() || line.front() == '#') continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || Trim(line.substr(0, equals), kBlanks) != name) continue;
    // As in the shell, a later assignment wins.
    result = ExpandHome(ShellWord(Trim(line.substr(equals + 1), kBlanks)), home);
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

}  // namespace zav
