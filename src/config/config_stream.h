// The one output text stream through which the configuration writer puts its lines on
// disk. Every line ends in CR LF. Any failure (an open that fails, an open of an open
// stream, a close that fails, a close of a stream that is not open, a line that cannot
// be written or is handed to a stream that is not open) puts the stream into a failed
// state that is never cleared: from then on every line handed to it is dropped, also
// after a later open that succeeds, so such an open followed by a close writes nothing
// (an absent file is created empty). Error() keeps why the first failure happened.
#ifndef TELMAR_CONFIG_CONFIG_STREAM_H
#define TELMAR_CONFIG_CONFIG_STREAM_H

#include "platform/system_error.h"
#include "platform/text_file.h"

class ConfigStream {
 public:
  enum Mode { kNew, kAppend };

  ConfigStream();
  ConfigStream(const ConfigStream&) = delete;
  ConfigStream& operator=(const ConfigStream&) = delete;

  // kNew removes whatever lies at the path and creates the file exclusively; kAppend
  // creates it if absent and writes at its end. False, and the failed state, when it
  // cannot be opened or the stream is open already (the file open before stays open).
  bool Open(const char* path, Mode mode);
  // Writes `text` and CR LF; false when the line was dropped or could not be written.
  bool WriteLine(const char* text);
  // False, and the failed state, when the stream was not open or the close failed.
  bool Close();
  bool IsOpen() const { return file_.IsOpen(); }
  bool Failed() const { return failed_; }
  platform::SystemError Error() const { return error_; }

 private:
  bool Fail();

  platform::TextFile file_;
  bool failed_;
  platform::SystemError error_;
};

// The writer's stream, one for the whole process; closed by its destruction at exit.
extern ConfigStream configStream;

#endif
