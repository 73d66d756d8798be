#include "platform/own_file.h"

namespace platform {

bool OwnFile::Note() {
  made_ = IdentifyFile(path_, &identity_);
  return made_;
}

bool OwnFile::InPlace() const {
  FileIdentity now;
  return made_ && IdentifyFile(path_, &now) && SameFile(now, identity_);
}

void OwnFile::Remove() {
  if (InPlace()) RemoveLeftover(path_);
  made_ = false;
}

}  // namespace platform
