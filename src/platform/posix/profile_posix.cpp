// Profile strings on POSIX, with the behaviour of the Windows calls that the program
// relies on: the text model is ini_text.h; the file is replaced whole, or edited in place
// where a replacement cannot stand (file_update.h).
#include "platform/profile.h"

#include <cstring>
#include <string>

#include "platform/posix/file_update.h"
#include "platform/posix/ini_text.h"

namespace platform {

unsigned long ReadProfileString(const char* section, const char* key,
                                const char* defaultValue, char* out,
                                unsigned long size, const char* path) {
  if (out == nullptr || size == 0) return 0;
  posix::FileSnapshot file;
  std::string value;
  const char* from = nullptr;
  size_t length = 0;
  if (section != nullptr && key != nullptr && path != nullptr &&
      posix::LoadFile(path, &file) == posix::kFilePresent &&
      posix::FindIniValue(file.content, section, key, &value)) {
    from = value.data();
    length = value.size();
  } else {
    // As on Windows, trailing blanks of the default are not returned.
    from = defaultValue != nullptr ? defaultValue : "";
    length = std::strlen(from);
    while (length > 0 && (from[length - 1] == ' ' || from[length - 1] == '\t')) --length;
  }
  if (length > size - 1) length = size - 1;
  std::memcpy(out, from, length);
  out[length] = '\0';
  return static_cast<unsigned long>(length);
}

int WriteProfileString(const char* section, const char* key, const char* value,
                       const char* path) {
  if (section == nullptr || path == nullptr || path[0] == '\0') return 0;
  posix::FileSnapshot file;
  const posix::FileState state = posix::LoadFile(path, &file);
  if (state == posix::kFileUnusable) return 0;
  if (state == posix::kFilePresent && !posix::MayWrite(file)) return 0;
  std::string updated = posix::SetIniValue(file.content, section, key, value);
  if (state == posix::kFileAbsent) {
    if (updated.empty()) return 1;  // nothing to remove from a file that is not there
    return posix::CreateNewFile(path, updated) ? 1 : 0;
  }
  if (updated == file.content) return 1;
  return posix::UpdateFile(file, updated) ? 1 : 0;
}

}  // namespace platform
