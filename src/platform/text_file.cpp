#include "platform/text_file.h"

#include <cstring>

#include "platform/new_file.h"

namespace platform {

TextFile::TextFile() : file_(nullptr) {}

TextFile::~TextFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TextFile::Open(const char* path, Mode mode) {
  if (file_ != nullptr || path == nullptr || path[0] == '\0') return false;
  // Binary mode with explicit CR LF: the same bytes on every platform.
  file_ = mode == kNew ? OpenNewFile(path) : std::fopen(path, "ab");
  return file_ != nullptr;
}

bool TextFile::WriteLine(const char* text) {
  if (file_ == nullptr) return false;
  size_t length = std::strlen(text);
  return std::fwrite(text, 1, length, file_) == length && std::fwrite("\r\n", 1, 2, file_) == 2;
}

bool TextFile::Close() {
  if (file_ == nullptr) return false;
  int result = std::fclose(file_);
  file_ = nullptr;
  return result == 0;
}

}  // namespace platform
