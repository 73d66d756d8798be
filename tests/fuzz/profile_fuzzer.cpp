// Profile strings (POSIX reader and writer) on any file content and any names.
//
// Input: one flag byte, then section, key, value, a second section and a second key,
// each ended by a NUL, then the file content (any bytes, to the end).
//   flags bit 0      no file at all (the content is ignored)
//   flags bits 1-2   before the write: 1 removes the key, 2 removes the whole section
//   flags bits 3-6   size of the small read buffer, 1 to 16
//   flags bit 7      the file has a second hard link, so that it is edited in place
//
// Checked: a read never writes past its buffer, returns the length of what it stored
// and ends it with a NUL; a small buffer gets a prefix of what a large one gets; a size
// of 0 stores nothing; every write in the writable scratch folder succeeds; and, for
// names and a value that the file's syntax can hold, the value reads back as written,
// the value of any other key (the second section and key) reads as it did before, and
// writing the value a second time leaves the file byte for byte as it was; a file edited
// in place is the same through both of its names.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

#include "fuzz_support.h"
#include "platform/profile.h"

namespace {

using fuzz_support::ReadBytes;

bool HasControl(const std::string& text) {
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

bool BlankAtEdge(const std::string& text) {
  return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

// Names and a value that one "key=value" line under a "[section]" line holds unchanged.
bool Representable(const std::string& section, const std::string& key,
                   const std::string& value) {
  for (const std::string* text : {&section, &key, &value}) {
    if (HasControl(*text) || BlankAtEdge(*text)) return false;
  }
  if (section.find(']') != std::string::npos) return false;
  if (key.find('=') != std::string::npos) return false;
  if (!key.empty() && (key[0] == ';' || key[0] == '[')) return false;
  // A value in matching quotes is read without them.
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    return false;
  }
  return true;
}

// Whether two names name the same thing: blanks around them ignored, and the case of
// Windows-1252 letters (capitals A-Z, 0xC0-0xDE but 0xD7, and 0x8A 0x8C 0x8E 0x9F).
bool SameName(const std::string& a, const std::string& b) {
  auto trimmed = [](const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
  };
  auto lower = [](unsigned char c) {
    static const std::string capitals = "\x8A\x8C\x8E\x9F", smalls = "\x9A\x9C\x9E\xFF";
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    const size_t at = capitals.find(static_cast<char>(c));
    return at == std::string::npos ? c + 0 : static_cast<unsigned char>(smalls[at]) + 0;
  };
  const std::string x = trimmed(a);
  const std::string y = trimmed(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (lower(x[i]) != lower(y[i])) return false;
  }
  return true;
}

// Reads into a heap block of exactly `size` bytes, so that any write past it is seen.
std::string ReadValue(const char* section, const char* key, const char* defaultValue,
                      unsigned long size, const char* path) {
  std::unique_ptr<char[]> out(new char[size]);
  if (size > 0) std::memset(out.get(), 'x', size);
  const unsigned long length =
      platform::ReadProfileString(section, key, defaultValue, out.get(), size, path);
  if (size == 0) {
    FUZZ_REQUIRE(length == 0);
    return std::string();
  }
  FUZZ_REQUIRE(length < size);
  FUZZ_REQUIRE(out[length] == '\0');
  FUZZ_REQUIRE(std::strlen(out.get()) == length);
  return std::string(out.get(), length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = fuzz_support::ScratchFolder() + "/profile.ini";
  static const std::string secondName = path + ".link";
  fuzz_support::InputCursor input(data, size);
  const uint8_t flags = input.Byte();
  const std::string section = input.Text();
  const std::string key = input.Text();
  const std::string value = input.Text();
  const std::string otherSection = input.Text();
  const std::string otherKey = input.Text();
  const std::string content = input.Rest();

  fuzz_support::RemovePath(secondName);
  if (flags & 1) {
    fuzz_support::RemovePath(path);
  } else {
    fuzz_support::WriteBytes(path, content.data(), content.size());
    if (flags & 0x80) FUZZ_REQUIRE(link(path.c_str(), secondName.c_str()) == 0);
  }

  // Reading. A buffer larger than the whole file is never too small.
  const unsigned long large = content.size() + 64;
  const unsigned long small = 1 + ((flags >> 3) & 15);
  const char* defaultValue = "default  ";
  const std::string full = ReadValue(section.c_str(), key.c_str(), defaultValue, large,
                                     path.c_str());
  FUZZ_REQUIRE(full.size() + 1 < large);
  const std::string cut = ReadValue(section.c_str(), key.c_str(), defaultValue, small,
                                    path.c_str());
  FUZZ_REQUIRE(cut == full.substr(0, small - 1));
  ReadValue(section.c_str(), key.c_str(), defaultValue, 0, path.c_str());
  if (flags & 1) FUZZ_REQUIRE(full == "default");

  // Writing.
  switch ((flags >> 1) & 3) {
    case 1:
      FUZZ_REQUIRE(platform::WriteProfileString(section.c_str(), key.c_str(), nullptr,
                                                path.c_str()) != 0);
      break;
    case 2:
      FUZZ_REQUIRE(platform::WriteProfileString(section.c_str(), nullptr, nullptr,
                                                path.c_str()) != 0);
      break;
    default:
      break;
  }
  const unsigned long otherSize = ReadBytes(path).size() + 64;
  const std::string otherBefore = ReadValue(otherSection.c_str(), otherKey.c_str(), "<absent>",
                                            otherSize, path.c_str());
  FUZZ_REQUIRE(platform::WriteProfileString(section.c_str(), key.c_str(), value.c_str(),
                                            path.c_str()) != 0);

  const std::string written = ReadBytes(path);
  if ((flags & 0x81) == 0x80) FUZZ_REQUIRE(ReadBytes(secondName) == written);
  const unsigned long readBackSize = written.size() + 64;
  const std::string readBack = ReadValue(section.c_str(), key.c_str(), "", readBackSize,
                                         path.c_str());
  if (Representable(section, key, value)) {
    FUZZ_REQUIRE(readBack == value);
    if (!SameName(section, otherSection) || !SameName(key, otherKey)) {
      FUZZ_REQUIRE(ReadValue(otherSection.c_str(), otherKey.c_str(), "<absent>", otherSize,
                             path.c_str()) == otherBefore);
    }
    FUZZ_REQUIRE(platform::WriteProfileString(section.c_str(), key.c_str(), value.c_str(),
                                              path.c_str()) != 0);
    FUZZ_REQUIRE(ReadBytes(path) == written);
  }
  return 0;
}
