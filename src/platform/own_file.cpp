#include "platform/own_file.h"

namespace platform {

bool OwnFile::Note() {
  ReleaseFile(&held_);
  return HoldFile(path_, &held_);
}

bool OwnFile::InPlace() const {
  FileIdentity now;
  return Made() && IdentifyFile(path_, &now) && SameFile(now, held_.identity);
}

void OwnFile::Remove() {
  const bool ours = InPlace();
  // Released first: Windows deletes a file only once every handle to it is closed.
  ReleaseFile(&held_);
  if (ours) RemoveLeftover(path_);
}

}  // namespace platform
