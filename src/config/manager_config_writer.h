// Writes the access manager's configuration file "telmar.old" in the data folder, block
// by block, while readers are found: the header and each protocol block at most once,
// [CONFIG] in front of the first channel, one channel block per reader, then the channel
// list and the channel count filled in as profile strings.
//
// The file is built aside and put in place of telmar.old by SetChannelCount once it is
// complete (config_replacement.h): any failed step (a block's write, a profile-string
// update, the flush, the replace) leaves the earlier file as it was and removes the new
// one; so does a writer that ends without its channel count, or with PC/SC channels but no
// channel list, and one told that its file lacks readers when an earlier file exists.
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

#include "config/config_replacement.h"
#include "config/config_stream.h"

// A profile-string update of the configuration file failed.
const uint16_t CONFIG_FILE_ERROR = 300;

class ManagerConfigWriter {
 public:
  // Builds the file's path; touches nothing on disk. The first writes through the
  // process-wide configStream, the second through `output`.
  ManagerConfigWriter();
  explicit ManagerConfigWriter(ConfigStream& output);
  // Closes the stream; the new file goes when it was not put in place.
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
  // The file may lack readers for `why` ("the new one would lack ..."): an earlier telmar.old
  // is then kept as it is. Without one, the file is still written.
  void KeepEarlierFile(const char* why);
  // Whether an earlier telmar.old lists a serial reader on COM `port` (earlier_config.h).
  bool EarlierFileListsSerialReader(int32_t port) const;
  // How telmar.old ended (ConfigReplacement::Ending, HowEnded, Why), and where it lies.
  std::string Ending() const { return replacement.Ending(); }
  ConfigReplacement::Ended HowEnded() const { return replacement.HowEnded(); }
  const std::string& Why() const { return replacement.Why(); }
  const char* FilePath() const { return replacement.FilePath(); }

 private:
  void WriteHeader();
  // Writes a protocol block (its lines end with a null) unless *pending is cleared.
  void WriteProtocolBlock(int32_t* pending, const char* const* lines);
  void WriteConfigSection();
  void OpenForAppend();
  // Whether the new file holds every block, so that a profile string may go into it.
  bool NewFileComplete() const;
  // Sets a profile string in the new file; false when it was not set.
  bool FillIn(const char* section, const char* key, const char* value, const char* step);
  // Puts the new file in place of telmar.old, or removes it.
  bool PutInPlace();

  int32_t headerPending;
  int32_t qlpProtocolPending;
  int32_t pcscProtocolPending;
  int32_t channelCount;
  int32_t pcscChannelCount;
  // The PC/SC channel numbers, comma-separated; grows with the channels, without a cap.
  std::string channelList;
  // The file's path, the new file beside it, and whether it replaces the earlier file.
  ConfigReplacement replacement;
  bool listSet;
  ConfigStream& stream;
};

#endif
