#include "config/config_replacement.h"

#include "platform/file_replace.h"
#include "platform/trace.h"

namespace {

const char kFileName[] = "telmar.old";
const char kNewFileName[] = "telmar.old.new";
// The Linux profile engine's temporary file for the new file (see posix/file_update.h).
const char kProfileTemporaryName[] = "telmar.old.new.tmp";

}  // namespace

ConfigReplacement::ConfigReplacement() : filePath(), newPath(), newFile(newPath) {
  if (!platform::DataFilePath(kFileName, filePath, sizeof filePath) ||
      !platform::DataFilePath(kNewFileName, newPath, sizeof newPath)) {
    filePath[0] = newPath[0] = '\0';
    StepFailed("finding the data folder", 0);
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

bool ConfigReplacement::Finish() {
  // Said first, whatever else failed: it is what the workstation would have lost.
  if (!keepReason.empty() && platform::SomethingAt(filePath)) {
    newFile.Remove();
    platform::Trace("earlier telmar.old kept: the new one would lack its serial readers: %s",
                    keepReason.c_str());
    return false;
  }
  platform::SystemError unsynced = 0;
  if (Failed()) {
    // Reported below.
  } else if (!newFile.InPlace()) {
    NewFileLost();
  } else if (!platform::FlushToDisk(newPath)) {
    StepFailed("flushing the new file", platform::LastSystemError());
  } else if (!platform::MoveIntoPlace(newPath, filePath, &unsynced)) {
    StepFailed("replacing telmar.old", platform::LastSystemError());
  }
  if (Failed()) {
    newFile.Remove();
    platform::Trace("earlier telmar.old kept: %s", failure.c_str());
    return false;
  }
  newFile.Forget();
  if (unsynced != 0) {
    platform::Trace("telmar.old replaced: %s; but syncing its folder failed: %s: the change may "
                    "not survive a power cut",
                    filePath, platform::SystemErrorText(unsynced).c_str());
  } else {
    platform::Trace("telmar.old replaced: %s", filePath);
  }
  return true;
}
