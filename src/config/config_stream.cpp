#include "config/config_stream.h"

ConfigStream configStream;

ConfigStream::ConfigStream() : failed_(false) {}

bool ConfigStream::Open(const char* path, Mode mode) {
  if (!file_.Open(path, mode == kTruncate ? platform::TextFile::kTruncate
                                          : platform::TextFile::kAppend)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool ConfigStream::WriteLine(const char* text) {
  if (failed_) return false;
  if (!file_.WriteLine(text)) {
    failed_ = true;
    return false;
  }
  return true;
}

bool ConfigStream::Close() {
  if (!file_.Close()) {
    failed_ = true;
    return false;
  }
  return true;
}
