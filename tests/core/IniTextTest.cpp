#include <gtest/gtest.h>

#include <climits>

#include "ConfigStore.h"
#include "IniLines.h"

namespace zav {
namespace {

using namespace std::string_literals;

std::string ValueOf(std::string_view text, std::string_view section, std::string_view key) {
  std::string value;
  return ini::Lookup(text, section, key, &value) ? value : "<missing>";
}

TEST(IniLookup, ProfileReadRules) {
  const std::string text =
      "; comment\r\n"
      "stray=outside any section\n"
      "[Global]\r\n"
      "  Voice-Size =  42  \r\n"
      "output-dir=\"/home/u/My Music \"\n"
      "quoted='x'\n"
      "empty=\n"
      "no equals sign here\n"
      "dup=first\n"
      "dup=second\n"
      "[hotkey]\n"
      "stop-key1=2\n"
      "[ global ]\n"
      "late=yes\n";
  EXPECT_EQ(ValueOf(text, "global", "voice-size"), "42");
  EXPECT_EQ(ValueOf(text, "GLOBAL", "VOICE-SIZE"), "42");
  EXPECT_EQ(ValueOf(text, "global", "output-dir"), "/home/u/My Music ");
  EXPECT_EQ(ValueOf(text, "global", "quoted"), "x");
  EXPECT_EQ(ValueOf(text, "global", "empty"), "");
  EXPECT_EQ(ValueOf(text, "global", "dup"), "first");
  EXPECT_EQ(ValueOf(text, "global", "late"), "yes");
  EXPECT_EQ(ValueOf(text, "hotkey", "stop-key1"), "2");
  EXPECT_EQ(ValueOf(text, "hotkey", "voice-size"), "<missing>");
  EXPECT_EQ(ValueOf(text, "global", "stray"), "<missing>");
  EXPECT_EQ(ValueOf(text, "global", "no equals sign here"), "<missing>");
  EXPECT_EQ(ValueOf(text, "missing", "x"), "<missing>");
  EXPECT_FALSE(ini::Lookup(text, "global", "missing", nullptr));
}

TEST(IniLookup, ByteOrderMarkAndUnreadableLines) {
  EXPECT_EQ(ValueOf("\xEF\xBB\xBF[global]\nk=v\n", "global", "k"), "v");
  const std::string broken = "[global]\nk=\xFF\xFE\nz=1\0junk\nok=1\n"s;
  EXPECT_EQ(ValueOf(broken, "global", "k"), "<missing>");
  EXPECT_EQ(ValueOf(broken, "global", "z"), "<missing>");
  EXPECT_EQ(ValueOf(broken, "global", "ok"), "1");
  // A write changes its own line and keeps the others byte for byte, unreadable ones too.
  EXPECT_EQ(ini::SetValue(broken, "global", "ok", "2"), "[global]\nk=\xFF\xFE\nz=1\0junk\nok=2\n"s);
  EXPECT_EQ(ini::SetValue(broken, "global", "new", "3"), "[global]\nk=\xFF\xFE\nz=1\0junk\nok=1\nnew=3\n"s);
}

TEST(IniLookup, OverlongLinesAreKeptButNeverRead) {
  const std::string longValue(ini::kMaxLineBytes, 'x');
  const std::string text = "[global]\nk=" + longValue + "\nz=1\n";
  EXPECT_EQ(ValueOf(text, "global", "k"), "<missing>");
  EXPECT_EQ(ValueOf(text, "global", "z"), "1");
  EXPECT_EQ(ini::SetValue(text, "global", "k", "2"), "[global]\nk=" + longValue + "\nz=1\nk=2\n");
  EXPECT_FALSE(ini::CanStore("global", "k", longValue)) << "a value that could not be read back";
}

TEST(IniParseLeadingInt, ReadsTheLeadingDecimalNumber) {
  EXPECT_EQ(ini::ParseLeadingInt("12"), 12);
  EXPECT_EQ(ini::ParseLeadingInt("12abc"), 12);
  EXPECT_EQ(ini::ParseLeadingInt("-7"), -7);
  EXPECT_EQ(ini::ParseLeadingInt("+7"), 7);
  EXPECT_EQ(ini::ParseLeadingInt("  3"), 3);
  EXPECT_EQ(ini::ParseLeadingInt("abc"), 0);
  EXPECT_EQ(ini::ParseLeadingInt(""), 0);
  EXPECT_EQ(ini::ParseLeadingInt("-"), 0);
  EXPECT_EQ(ini::ParseLeadingInt("0x10"), 0);
  EXPECT_EQ(ini::ParseLeadingInt("1.9"), 1);
}

TEST(IniParseLeadingInt, SaturatesOutOfRangeNumbers) {
  EXPECT_EQ(ini::ParseLeadingInt("2147483647"), INT_MAX);
  EXPECT_EQ(ini::ParseLeadingInt("-2147483648"), INT_MIN);
  EXPECT_EQ(ini::ParseLeadingInt("4294967297"), INT_MAX);
  EXPECT_EQ(ini::ParseLeadingInt("-99999999999999999999999"), INT_MIN);
}

TEST(IniSetValue, AddsReplacesAndKeepsEverythingElse) {
  std::string text = ini::SetValue("", "global", "voice-size", "20");
  EXPECT_EQ(text, "[global]\nvoice-size=20\n");
  text = ini::SetValue(text, "hotkey", "stop-key1", "1");
  text = ini::SetValue(text, "global", "agc-check", "1");
  EXPECT_EQ(text, "[global]\nvoice-size=20\nagc-check=1\n[hotkey]\nstop-key1=1\n");
  text = ini::SetValue(text, "GLOBAL", "Voice-Size", "35");
  EXPECT_EQ(text, "[global]\nVoice-Size=35\nagc-check=1\n[hotkey]\nstop-key1=1\n");

  const std::string windowsStyle = "; mine\r\n[global]\r\na=1\r\n\r\n[hotkey]\r\nb=2";
  EXPECT_EQ(ini::SetValue(windowsStyle, "global", "a", "5"),
            "; mine\r\n[global]\r\na=5\r\n\r\n[hotkey]\r\nb=2");
  EXPECT_EQ(ini::SetValue(windowsStyle, "hotkey", "c", "3"),
            "; mine\r\n[global]\r\na=1\r\n\r\n[hotkey]\r\nb=2\nc=3");
  EXPECT_EQ(ini::SetValue("[x]", "x", "k", "v"), "[x]\nk=v");
  // A last line ending in a bare carriage return is not ended: the new key needs its own line.
  EXPECT_EQ(ValueOf(ini::SetValue("[global]\nx=\r", "global", "k", "v"), "global", "k"), "v");
  EXPECT_EQ(ini::SetValue("k=v", "s", "k", "v"), "k=v\n[s]\nk=v\n");
}

TEST(IniSetValue, EveryStorableValueReadsBackUnchanged) {
  for (const std::string value : {"", " lead", "trail ", "\"quoted\"", "'single'", "\"", "a=b",
                                  "[x]", ";not a comment", "新录音 😀", "tab\tinside"}) {
    const std::string text = ini::SetValue("[global]\nother=1\n", "global", "k", value);
    EXPECT_EQ(ValueOf(text, "global", "k"), value) << text;
    EXPECT_EQ(ValueOf(text, "global", "other"), "1");
  }
}

TEST(IniSetValue, RefusesWhatWouldBreakTheLineStructure) {
  EXPECT_FALSE(ini::CanStore("global", "k", "two\nlines"));
  EXPECT_FALSE(ini::CanStore("global", "k", "cr\r"));
  EXPECT_FALSE(ini::CanStore("global", "k", std::string_view("zero\0", 5)));
  EXPECT_FALSE(ini::CanStore("global", "k", "\xFF"));
  EXPECT_FALSE(ini::CanStore("global", "a=b", "v"));
  EXPECT_FALSE(ini::CanStore("global", "[k", "v"));
  EXPECT_FALSE(ini::CanStore("glo]bal", "k", "v"));
  EXPECT_FALSE(ini::CanStore("", "k", "v"));
  EXPECT_FALSE(ini::CanStore("global", " ", "v"));
  EXPECT_TRUE(ini::CanStore("global", "k", "/home/u/ZAV电脑录音"));
  const std::string text = "[global]\nk=1\n";
  EXPECT_EQ(ini::SetValue(text, "global", "k", "1\n[global]\nk=2"), text);
}

}  // namespace
}  // namespace zav
