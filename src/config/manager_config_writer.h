// Writes the access manager's configuration file "telmar.old" in the data folder, block
// by block, while readers are found: the header and each protocol block at most once,
// [CONFIG] in front of the first channel, one channel block per reader, then the channel
// list and the channel count filled in as profile strings.
//
// Calling order: a protocol operation first (only the header's truncating open starts a
// fresh file), every protocol operation before the first channel, serial channels before
// PC/SC channels, SetChannelList and SetChannelCount after the last channel.
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

// A profile-string update of the configuration file failed.
const uint16_t CONFIG_FILE_ERROR = 300;

class ManagerConfigWriter {
 public:
  // Builds the file's path; touches nothing on disk. The first writes through the
  // process-wide configStream, the second through `output`.
  ManagerConfigWriter();
  explicit ManagerConfigWriter(ConfigStream& output);
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
  // CONFIG_FILE_ERROR when the profile-string write fails.
  uint16_t SetChannelList();
  uint16_t SetChannelCount(int32_t total);

 private:
  void WriteHeader();
  // Writes a protocol block (its lines end with a null) unless *pending is cleared.
  void WriteProtocolBlock(int32_t* pending, const char* const* lines);
  void WriteConfigSection();
  void OpenForAppend();
  void Line(const std::string& text);

  int32_t headerPending;
  int32_t qlpProtocolPending;
  int32_t pcscProtocolPending;
  int32_t channelCount;
  int32_t pcscChannelCount;
  // The PC/SC channel numbers, comma-separated; grows with the channels, without a cap.
  std::string channelList;
  // Empty when no path could be built.
  char filePath[platform::kMaxPath + 1];
  ConfigStream& stream;
};

#endif
