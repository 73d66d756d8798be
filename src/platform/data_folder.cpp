#include "platform/data_folder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/version.h"

namespace platform {

namespace {

// Appends `text` at `*length`, with each '\' turned into the platform's separator.
// False when it does not fit with its terminator.
bool Append(const char* text, char* out, size_t size, size_t* length) {
  for (; *text != '\0'; ++text) {
    if (*length + 1 >= size) return false;
    out[(*length)++] = (*text == '\\') ? kPathSeparator : *text;
  }
  out[*length] = '\0';
  return true;
}

}  // namespace

bool ComposeDataFilePath(const char* profileFolder, unsigned majorVersion,
                         const char* fileName, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (profileFolder == nullptr || profileFolder[0] == '\0') return false;
  const char* subFolder = majorVersion < 6 ? "\\Application Data\\velmora\\telmarv3\\"
                                           : "\\velmora\\telmarv3\\";
  size_t length = 0;
  // The profile folder is taken as it stands, separators included.
  if (std::strlen(profileFolder) + 1 > size) return false;
  std::memcpy(out, profileFolder, std::strlen(profileFolder) + 1);
  length = std::strlen(profileFolder);
  if (!Append(subFolder, out, size, &length) || !Append(fileName, out, size, &length)) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool DataFilePath(const char* fileName, char* out, size_t size) {
  return ComposeDataFilePath(std::getenv("ALLUSERSPROFILE"), versionApi.majorVersion(),
                             fileName, out, size);
}

void DescribeDataFolder(char* out, size_t size) {
  char folder[kMaxPath + 1];
  if (!DataFilePath("", folder, sizeof folder)) {
    std::snprintf(out, size, "%s",
                  "data folder: none (ALLUSERSPROFILE unset or empty, or the path too long)");
  } else {
    std::snprintf(out, size, "data folder %s: %s", folder,
                  FolderExists(folder) ? "exists" : "missing");
  }
}

}  // namespace platform
