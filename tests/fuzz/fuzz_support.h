// Shared pieces of the fuzz targets: a scratch folder for the life of the process,
// whole-file reads and writes, a check that aborts (so libFuzzer keeps the input), and
// a cursor that takes an input apart.
#ifndef TELMAR_TESTS_FUZZ_FUZZ_SUPPORT_H
#define TELMAR_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_support {

// A fresh folder under $TMPDIR (or /tmp), made on the first call and removed with its
// content when the process exits normally.
const std::string& ScratchFolder();

// ScratchFolder() + "/velmora/telmarv3", created, with ALLUSERSPROFILE pointing at the
// scratch folder: the data folder both files of the program go to.
const std::string& PrepareDataFolder();

void WriteBytes(const std::string& path, const void* data, size_t size);
// The whole file; `present` (when given) tells whether it could be opened.
std::string ReadBytes(const std::string& path, bool* present = nullptr);
void RemovePath(const std::string& path);

[[noreturn]] void Fail(const char* condition, const char* file, int line);

// Takes the input from the front: single bytes, little-endian numbers, NUL-ended texts,
// length-prefixed byte strings. Past the end every read gives zeros or empty text.
class InputCursor {
 public:
  InputCursor(const uint8_t* data, size_t size) : data_(data), size_(size), at_(0) {}

  bool AtEnd() const { return at_ >= size_; }
  size_t Remaining() const { return size_ - at_; }
  uint8_t Byte();
  uint16_t U16();
  uint32_t U32();
  // The bytes up to the next NUL (which is consumed), or to the end.
  std::string Text();
  // `length` bytes, or fewer at the end.
  std::string Bytes(size_t length);
  // Everything left.
  std::string Rest();

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_;
};

}  // namespace fuzz_support

#define FUZZ_REQUIRE(condition)                                                   \
  do {                                                                            \
    if (!(condition)) ::fuzz_support::Fail(#condition, __FILE__, __LINE__);      \
  } while (0)

#endif
