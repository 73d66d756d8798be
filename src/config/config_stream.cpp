#include "config/config_stream.h"

ConfigStream configStream;

ConfigStream::ConfigStream() : failed_(false), error_(0) {}

bool ConfigStream::Fail() {
  if (!failed_) error_ = platform::LastSystemError();
  failed_ = true;
  return false;
}

bool ConfigStream::Open(const char* path, Mode mode) {
  return file_.Open(path, mode == kNew ? platform::TextFile::kNew : platform::TextFile::kAppend) ||
         Fail();
}

bool ConfigStream::WriteLine(const char* text) {
  if (failed_) return false;
  return file_.WriteLine(text) || Fail();
}

bool ConfigStream::Close() { return file_.Close() || Fail(); }
