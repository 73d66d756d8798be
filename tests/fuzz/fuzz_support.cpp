#include "fuzz_support.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace fuzz_support {

namespace {

std::string* scratch = nullptr;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  std::remove(path);
  return 0;
}

void RemoveScratch() {
  if (scratch != nullptr) nftw(scratch->c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const std::string& ScratchFolder() {
  if (scratch == nullptr) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/telmar-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    scratch = new std::string(pattern);
    std::atexit(RemoveScratch);
  }
  return *scratch;
}

const std::string& PrepareDataFolder() {
  static std::string* folder = nullptr;
  if (folder == nullptr) {
    const std::string& root = ScratchFolder();
    folder = new std::string(root + "/velmora/telmarv3");
    if ((mkdir((root + "/velmora").c_str(), 0700) != 0 && errno != EEXIST) ||
        (mkdir(folder->c_str(), 0700) != 0 && errno != EEXIST) ||
        setenv("ALLUSERSPROFILE", root.c_str(), 1) != 0) {
      std::perror("data folder");
      std::abort();
    }
  }
  return *folder;
}

void WriteBytes(const std::string& path, const void* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_REQUIRE(file != nullptr);
  FUZZ_REQUIRE(size == 0 || std::fwrite(data, 1, size, file) == size);
  FUZZ_REQUIRE(std::fclose(file) == 0);
}

std::string ReadBytes(const std::string& path, bool* present) {
  std::string content;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (present != nullptr) *present = file != nullptr;
  if (file == nullptr) return content;
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, count);
  std::fclose(file);
  return content;
}

void RemovePath(const std::string& path) { unlink(path.c_str()); }

void Fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "\n*** fuzz check failed: %s (%s:%d)\n", condition, file, line);
  RemoveScratch();  // abort skips the handlers registered with atexit
  std::abort();
}

uint8_t InputCursor::Byte() { return at_ < size_ ? data_[at_++] : 0; }

uint16_t InputCursor::U16() {
  uint16_t low = Byte();
  return static_cast<uint16_t>(low | (Byte() << 8));
}

uint32_t InputCursor::U32() {
  uint32_t low = U16();
  return low | (static_cast<uint32_t>(U16()) << 16);
}

std::string InputCursor::Text() {
  std::string text;
  while (at_ < size_ && data_[at_] != 0) text += static_cast<char>(data_[at_++]);
  if (at_ < size_) ++at_;
  return text;
}

std::string InputCursor::Bytes(size_t length) {
  if (length > size_ - at_) length = size_ - at_;
  std::string bytes(reinterpret_cast<const char*>(data_ + at_), length);
  at_ += length;
  return bytes;
}

std::string InputCursor::Rest() { return Bytes(size_ - at_); }

}  // namespace fuzz_support
