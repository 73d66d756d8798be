// How telmar.old is replaced. The new file is built aside, as "telmar.old.new" in the data
// folder, and put in place of telmar.old in one step once it is complete: whoever reads
// telmar.old, at any instant and whatever stops the run, finds the earlier file or the
// complete new one. Otherwise the new file goes and the earlier file stays: when a step
// failed, and when the run knows that its file lacks readers that the earlier one may hold.
//
// A run touches only what it made: its profile-string updates go to the new file it created,
// and only while that file is still in place (an update would otherwise create a file
// holding its one key); it removes no file of that name that it did not make. Leftovers of
// interrupted runs are removed once, at the start of a run.
#ifndef TELMAR_CONFIG_CONFIG_REPLACEMENT_H
#define TELMAR_CONFIG_CONFIG_REPLACEMENT_H

#include <string>

#include "platform/data_folder.h"
#include "platform/own_file.h"
#include "platform/system_error.h"

class ConfigReplacement {
 public:
  // Builds both paths; touches nothing on disk. Without a path (ALLUSERSPROFILE unset or
  // empty, or a path longer than platform::kMaxPath) every step fails and nothing is written.
  ConfigReplacement();
  // Removes the new file when this run made it and did not put it in place.
  ~ConfigReplacement();
  ConfigReplacement(const ConfigReplacement&) = delete;
  ConfigReplacement& operator=(const ConfigReplacement&) = delete;

  // Removes what interrupted runs left in the data folder under the new file's name and the
  // name of its profile engine's temporary file. Once per run, under the run lock, before
  // anything is written.
  static void RemoveLeftovers();

  // Where the new file is built; "" without a path.
  const char* NewPath() const { return newPath; }
  // Takes the file just created at NewPath() as this run's new file; or, when `created` is
  // false, notes that creating it failed with `error`.
  void NewFileCreated(bool created, platform::SystemError error);
  bool NewFileMade() const { return newFile.Made(); }
  // Whether the new file this run made is still the one at NewPath().
  bool NewFileInPlace() const { return newFile.InPlace(); }
  // Sets a profile string in the new file while it is still in place; false, and `step`
  // noted as failed, when it was not set.
  bool SetValue(const char* section, const char* key, const char* value, const char* step);
  // The file being built may lack readers that an earlier telmar.old holds, as `why` says
  // ("the new one would lack ..."): an earlier file is then kept, and the first reason given is
  // told. Without one (a first installation) the new file still goes in place: it holds what
  // the run found.
  void KeepEarlierFile(const std::string& why);
  // Where telmar.old lies; "" without a path.
  const char* FilePath() const { return filePath; }
  // Notes the first step that failed, and `error`, the system's reason (0: none).
  void StepFailed(const char* step, platform::SystemError error);
  bool Failed() const { return !failure.empty(); }
  // Puts the new file in place of telmar.old, or removes it and keeps the earlier file. True
  // when telmar.old was replaced (or written, where there was none).
  bool Finish();
  // How telmar.old ended: before Finish (the run found no reader), left as it was (or not
  // written where there was none); after it, written anew, replaced, the earlier one kept, or
  // not written, the last two with the reason (Why).
  enum Ended { kLeftAsItWas, kWritten, kReplaced, kKept, kNotWritten };
  Ended HowEnded() const { return ended; }
  const std::string& Why() const { return why; }
  // How telmar.old ended, for the run's last line: once Finish has run, "telmar.old replaced:
  // <path>" or "telmar.old written: <path>" (there was none), or "earlier telmar.old kept:
  // <why>" or "telmar.old not written: <why>"; before (the run found no reader), "telmar.old
  // left as it was" or "telmar.old not written".
  std::string Ending() const;

 private:
  // Gives the new file who may read and change the earlier telmar.old, when there is one, and
  // traces what of its owner it could not keep; false when that failed.
  bool KeepSecurity() const;
  // Notes that the new file is no longer the one this run made.
  void NewFileLost();
  // The ending of a run that did not put its new file in place, for `why`, whether or not an
  // `earlier` file lies at the path.
  std::string NotPutInPlace(bool earlier, const std::string& reason);

  char filePath[platform::kMaxPath + 1];
  char newPath[platform::kMaxPath + 1];
  platform::OwnFile newFile;
  // Why the earlier file is kept: the first failure, as the trace tells it; "" while none.
  std::string failure;
  // Why the new file may lack readers; "" when it does not.
  std::string keepReason;
  // How telmar.old ended, and why when it was not put in place; "" until Finish has run.
  std::string ending;
  Ended ended;
  std::string why;
};

#endif
