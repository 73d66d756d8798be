// A file that this run created itself. The run writes to it, and removes it, only while the
// file at its path is still that one: another program may remove or replace it meanwhile,
// and then a profile-string update would create a new file holding its one key, and a
// removal would take a file that is not the run's. The file is held (HoldFile) while it is
// the run's, so that no file made meanwhile can pass for it.
#ifndef TELMAR_PLATFORM_OWN_FILE_H
#define TELMAR_PLATFORM_OWN_FILE_H

#include "platform/new_file.h"

namespace platform {

class OwnFile {
 public:
  // `path` is the caller's, kept as long as this object.
  explicit OwnFile(const char* path) : path_(path), held_{-1, {0, 0}} {}
  ~OwnFile() { ReleaseFile(&held_); }
  OwnFile(const OwnFile&) = delete;
  OwnFile& operator=(const OwnFile&) = delete;

  // Takes the regular file now at the path as the run's own: right after the run created
  // it, and after each update of the run's own that may have put a new file in its place.
  // False, and nothing taken, when no regular file lies there.
  bool Note();
  bool Made() const { return held_.handle >= 0; }
  // Whether the file at the path is still the one taken.
  bool InPlace() const;
  // Sets a profile string in the file while it is still the one taken (the update would
  // otherwise create a file holding this one key), then takes the file the update leaves,
  // which may be a new one put in place of the file it read. False when the file is no
  // longer in place, or the update failed (LastSystemError says why).
  bool WriteProfileString(const char* section, const char* key, const char* value);
  // Removes the file when it is still the one taken; in any case forgets it.
  void Remove();
  // Forgets the file, which is no longer the run's to remove (it was put in place).
  void Forget() { ReleaseFile(&held_); }

 private:
  const char* path_;
  HeldFile held_;
};

// Removes what an interrupted run left at `name` in the data folder (RemoveName), and says
// so in the trace.
void RemoveDataFolderLeftover(const char* name);

}  // namespace platform

#endif
