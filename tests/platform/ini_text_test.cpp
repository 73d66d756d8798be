// The text model of the POSIX profile strings, on text alone.
#include "platform/posix/ini_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::posix::SetIniValue;

std::string Value(const std::string& content, const char* section, const char* key) {
  std::string value;
  return platform::posix::FindIniValue(content, section, key, &value) ? value : "<none>";
}

TEST(IniText, MissingKeyGoesAfterTheLastNonEmptyLineOfItsSection) {
  EXPECT_EQ("[A]\r\nx=1\r\n; note\nz=3\r\n\r\n  \r\n[B]\r\ny=2\r\n",
            SetIniValue("[A]\r\nx=1\r\n; note\n\r\n  \r\n[B]\r\ny=2\r\n", "a", "z", "3"));
  // A section with nothing below its header.
  EXPECT_EQ("[A]\nk=v\r\n\n[B]\nk=v\r\n",
            SetIniValue(SetIniValue("[A]\n\n[B]\n", "B", "k", "v"), "A", "k", "v"));
}

TEST(IniText, LastLineWithoutLineEndGetsCrLfBeforeWhatFollows) {
  EXPECT_EQ("[A]\r\nx=1\r\ny=2\r\n", SetIniValue("[A]\r\nx=1", "A", "y", "2"));
  EXPECT_EQ("[A]\nx=1\r\n[New]\r\nk=v\r\n", SetIniValue("[A]\nx=1", "New", "k", "v"));
  EXPECT_EQ("[A]\nx=1\n[New]\r\nk=v\r\n", SetIniValue("[A]\nx=1\n", "New", "k", "v"));
  // A lone CR ends a line as LF and CR LF do, anywhere in the text.
  const std::string loneCr = "[CONFIG]\rNbCanaux=7\r";
  EXPECT_EQ("7", Value(loneCr, "CONFIG", "NbCanaux"));
  EXPECT_EQ("[CONFIG]\rNbCanaux=2\r\n[U]\r\nK=V\r\n",
            SetIniValue(SetIniValue(loneCr, "CONFIG", "NbCanaux", "2"), "U", "K", "V"));
  // The empty LF line stays one.
  EXPECT_EQ("[T]\r\n\nx=1\r", SetIniValue("[T]\rk=v\r\n\nx=1\r", "T", "k", nullptr));
}

TEST(IniText, NamesIgnoreTheCaseOfAccentedLetters) {
  const std::string text = "[CAF\xC9]\r\n\x8A\x8C\x8E\x9F\xC0\xDE=1\r\n\xF7=0\r\n";
  EXPECT_EQ("1", Value(text, "caf\xE9", "\x9A\x9C\x9E\xFF\xE0\xFE"));
  // x is no capital of the division sign.
  EXPECT_EQ(text + "\xD7=2\r\n", SetIniValue(text, "caf\xE9", "\xD7", "2"));
}

TEST(IniText, NullValueRemovesTheKeyAndNullKeyTheSection) {
  const std::string text = "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n[C]\r\n";
  EXPECT_EQ("[A]\r\ny=2\r\n[C]\r\n",
            SetIniValue(SetIniValue(text, "A", "x", nullptr), "B", nullptr, nullptr));
  EXPECT_EQ(text, SetIniValue(text, "A", "absent", nullptr));
  EXPECT_EQ(text, SetIniValue(text, "absent", nullptr, nullptr));
}

}  // namespace
