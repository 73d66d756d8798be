#include "config/config_replacement.h"

#include "platform/file_replace.h"
#include "platform/new_file.h"
#include "platform/open_to_others.h"
#include "platform/trace.h"

namespace {

const char kFileName[] = "telmar.old";
const char kNewFileName[] = "telmar.old.new";
// The Linux profile engine's temporary file for the new file (see posix/file_update.h).
const char kProfileTemporaryName[] = "telmar.old.new.tmp";

}  // namespace

ConfigReplacement::ConfigReplacement()
    : filePath(), newPath(), newFile(newPath), ended(kLeftAsItWas) {
  if (!platform::DataFilePath(kFileName, filePath, sizeof filePath) ||
      !platform::DataFilePath(kNewFileName, newPath, sizeof newPath)) {
    filePath[0] = newPath[0] = '\0';
    StepFailed("finding the data folder", 0);
  }
  if (platform::SomethingAt(filePath)) {
    platform::WarnIfOpenToOthers("telmar.old", filePath,
                                 "whoever may change it chooses the libraries that the access "
                                 "manager loads: let only administrators change it");
  }
}

ConfigReplacement::~ConfigReplacement() { newFile.Remove(); }

void ConfigReplacement::RemoveLeftovers() {
  platform::RemoveDataFolderLeftover(kNewFileName);
  platform::RemoveDataFolderLeftover(kProfileTemporaryName);
}

void ConfigReplacement::NewFileCreated(bool created, platform::SystemError error) {
  if (!created || !newFile.Note()) {
    StepFailed("creating the new file", created ? platform::LastSystemError() : error);
  }
}

bool ConfigReplacement::SetValue(const char* section, const char* key, const char* value,
                                 const char* step) {
  if (newFile.WriteProfileString(section, key, value)) return true;
  const platform::SystemError error = platform::LastSystemError();
  if (newFile.InPlace()) {
    StepFailed(step, error);
  } else {
    NewFileLost();
  }
  return false;
}

void ConfigReplacement::KeepEarlierFile(const std::string& why) {
  if (keepReason.empty()) keepReason = why;
}

void ConfigReplacement::StepFailed(const char* step, platform::SystemError error) {
  if (Failed()) return;
  failure = std::string(step) + " failed";
  if (error != 0) failure += ": " + platform::SystemErrorText(error);
}

void ConfigReplacement::NewFileLost() {
  if (!Failed()) failure = "the new file was removed or replaced by another program";
}

std::string ConfigReplacement::NotPutInPlace(bool earlier, const std::string& reason) {
  ended = earlier ? kKept : kNotWritten;
  why = reason;
  return (earlier ? "earlier telmar.old kept: " : "telmar.old not written: ") + reason;
}

bool ConfigReplacement::Finish() {
  const bool earlier = platform::SomethingAt(filePath);
  // Said first, whatever else failed: it is what the workstation would have lost.
  if (!keepReason.empty() && earlier) {
    newFile.Remove();
    ending = NotPutInPlace(earlier, keepReason);
    return false;
  }
  platform::SystemError unsynced = 0;
  if (Failed()) {
    // Told below.
  } else if (!newFile.InPlace()) {
    NewFileLost();
  } else if (!platform::FlushToDisk(newPath)) {
    StepFailed("flushing the new file", platform::LastSystemError());
  } else if (!KeepSecurity()) {
    StepFailed("keeping telmar.old's security", platform::LastSystemError());
  } else if (!platform::MoveIntoPlace(newPath, filePath, &unsynced)) {
    StepFailed("replacing telmar.old", platform::LastSystemError());
  }
  if (Failed()) {
    newFile.Remove();
    ending = NotPutInPlace(earlier, failure);
    return false;
  }
  newFile.Forget();
  ended = earlier ? kReplaced : kWritten;
  ending = std::string(earlier ? "telmar.old replaced: " : "telmar.old written: ") + filePath;
  if (unsynced != 0) {
    ending += "; but syncing its folder failed: " + platform::SystemErrorText(unsynced) +
              ": the change may not survive a power cut";
  }
  return true;
}

bool ConfigReplacement::KeepSecurity() const {
  platform::FileIdentity identity;
  // Only a regular file is replaced; what else lies there refuses the move.
  if (!platform::IdentifyFile(filePath, &identity)) return true;
  platform::OwnerKept kept;
  if (!platform::CopyFileSecurity(filePath, newPath, &kept)) return false;
  if (kept.ownerRefused != 0) {
    platform::Trace("%s not kept: %s: telmar.old now belongs to the account of this run%s",
                    kept.groupKept ? "owner" : "owner and group",
                    platform::SystemErrorText(kept.ownerRefused).c_str(),
                    kept.groupKept ? ", in its earlier group" : "");
  }
  return true;
}

std::string ConfigReplacement::Ending() const {
  if (!ending.empty()) return ending;
  return platform::SomethingAt(filePath) ? "telmar.old left as it was" : "telmar.old not written";
}
