// A text file written line by line; every line ends in CR LF on disk, as Windows'
// text mode writes it, on every platform.
#ifndef TELMAR_PLATFORM_TEXT_FILE_H
#define TELMAR_PLATFORM_TEXT_FILE_H

#include <cstdio>

namespace platform {

class TextFile {
 public:
  enum Mode { kAppend, kNew };

  TextFile();
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Opens `path` for writing: kAppend creates it if absent and writes at its end, kNew
  // removes whatever lies at the path and creates the file exclusively (OpenNewFile).
  // False when it cannot be opened or when a file is already open;
  // platform::LastSystemError() then says why.
  bool Open(const char* path, Mode mode);
  // Writes `text` and CR LF. False when no file is open or the write failed.
  bool WriteLine(const char* text);
  // False when no file was open or the buffered lines could not be written.
  bool Close();
  bool IsOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_;
};

// A byte as it may stand inside one line: a CR, LF or other control character (below
// 0x20, or 0x7F) would break the line, so it becomes a blank; every other byte is kept.
inline char OneLineByte(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F ? ' ' : c;
}

}  // namespace platform

#endif
