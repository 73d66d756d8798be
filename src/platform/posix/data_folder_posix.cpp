#include <sys/stat.h>

#include "platform/data_folder.h"

namespace platform {

bool FolderExists(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace platform
