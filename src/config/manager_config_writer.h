// Writes the access manager's configuration file "telmar.old" in the data folder, block
// by block, while readers are found: the header and each protocol block at most once,
// [CONFIG] in front of the first channel, one channel block per reader, then the channel
// list and the channel count filled in as profile strings.
//
// The file is built aside, in "telmar.old.new" beside it, and put in place of telmar.old
// in one step by SetChannelCount, once it is complete: whoever reads telmar.old, at any
// instant and whatever stops the run, finds the earlier file or the complete new one.
// Any failed step (a block's write, a profile-string update, the flush, the replace)
// leaves the earlier file as it was and removes the new one; so does a writer that ends
// without its channel count, or with PC/SC channels but no channel list. Where the data
// folder takes no new file, the new file is built among the user's temporary files and
// telmar.old, when it exists and is writable, is rewritten in place from it once it is
// complete: the one case in which a stop during the write can leave a damaged file.
//
// Calling order: a protocol operation first (its header starts the new file), every
// protocol operation before the first channel, serial channels before PC/SC channels,
// SetChannelList and SetChannelCount after the last channel.
//
// When no path can be built (ALLUSERSPROFILE unset or empty, or a path longer than
// platform::kMaxPath), nothing is written anywhere: every open fails, which puts the
// stream into its failed state, and both profile-string operations return
// CONFIG_FILE_ERROR.
#ifndef TELMAR_CONFIG_MANAGER_CONFIG_WRITER_H
#define TELMAR_CONFIG_MANAGER_CONFIG_WRITER_H

#include <cstdint>
#include <string>

#include "config/config_stream.h"
#include "platform/data_folder.h"
#include "platform/file_replace.h"

// A profile-string update of the configuration file failed.
const uint16_t CONFIG_FILE_ERROR = 300;

class ManagerConfigWriter {
 public:
  // Builds the file's path; touches nothing on disk. The first writes through the
  // process-wide configStream, the second through `output`.
  ManagerConfigWriter();
  explicit ManagerConfigWriter(ConfigStream& output);
  // Removes the new file when it was not put in place (also one left by an interrupted
  // run).
  ~ManagerConfigWriter();
  ManagerConfigWriter(const ManagerConfigWriter&) = delete;
  ManagerConfigWriter& operator=(const ManagerConfigWriter&) = delete;

  // Each writes its protocol block once (with the header before the first of them).
  void WriteQlpProtocol();
  void WritePcscProtocol();
  // Appends the next channel: a serial reader on COM `port` answering at `baud`, or a
  // PC/SC reader (its name is read during the call only; control characters in it are
  // written as blanks, every other byte unchanged).
  void AddSerialChannel(int32_t port, int32_t baud);
  void AddPcscChannel(const char* readerName);
  // Fill in ListeCanaux of [PROTOCOLE1] and NbCanaux of [CONFIG]: 0, or
  // CONFIG_FILE_ERROR when the profile-string write fails. SetChannelCount then puts the
  // file in place, and returns CONFIG_FILE_ERROR as well when that could not be done.
  uint16_t SetChannelList();
  uint16_t SetChannelCount(int32_t total);

 private:
  void WriteHeader();
  // Writes a protocol block (its lines end with a null) unless *pending is cleared.
  void WriteProtocolBlock(int32_t* pending, const char* const* lines);
  void WriteConfigSection();
  void OpenForAppend();
  // The new file among the temporary files, for a data folder that takes no new file.
  bool BuildInTemporaryFolder();
  // Whether the new file holds every block, so that a profile string may go into it.
  bool NewFileComplete() const;
  // Sets a profile string in the new file; false when it was not set.
  bool FillIn(const char* section, const char* key, const char* value, const char* step);
  // Notes the first step that failed.
  void StepFailed(const char* step, platform::SystemError error);
  // Puts the new file in place of telmar.old, or removes it; says which in the trace.
  bool PutInPlace();

  int32_t headerPending;
  int32_t qlpProtocolPending;
  int32_t pcscProtocolPending;
  int32_t channelCount;
  int32_t pcscChannelCount;
  // The PC/SC channel numbers, comma-separated; grows with the channels, without a cap.
  std::string channelList;
  // Empty when no path could be built.
  char filePath[platform::kMaxPath + 1];
  // Where the new file is built: "telmar.old.new" in the data folder, or in the
  // temporary folder when inPlace.
  char newPath[platform::kMaxPath + 1];
  bool inPlace;
  bool newFileMade;
  bool listSet;
  bool finished;
  const char* failedStep;
  platform::SystemError failedError;
  ConfigStream& stream;
};

#endif
