#include "platform/own_file.h"

#include "platform/data_folder.h"
#include "platform/profile.h"
#include "platform/trace.h"

namespace platform {

bool OwnFile::Note() {
  ReleaseFile(&held_);
  return HoldFile(path_, &held_);
}

bool OwnFile::InPlace() const {
  FileIdentity now;
  return Made() && IdentifyFile(path_, &now) && SameFile(now, held_.identity);
}

bool OwnFile::WriteProfileString(const char* section, const char* key, const char* value) {
  if (!InPlace() || !platform::WriteProfileString(section, key, value, path_)) return false;
  Note();
  return true;
}

void OwnFile::Remove() {
  const bool ours = InPlace();
  // Released first: Windows deletes a file only once every handle to it is closed.
  ReleaseFile(&held_);
  if (ours) RemoveName(path_);
}

void RemoveDataFolderLeftover(const char* name) {
  char path[kMaxPath + 1];
  if (DataFilePath(name, path, sizeof path) && RemoveName(path)) {
    Trace("%s of an interrupted run removed", name);
  }
}

}  // namespace platform
