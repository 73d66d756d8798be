// The walk over the smart-card service's multi-string of reader names.
//
// Input: two bytes that choose the length (modulo the data size plus one), then the
// text. Only the first `length` bytes are kept, in a heap block of exactly that size, so
// that any read past the length is an overflow that AddressSanitizer reports.
//
// Checked, for n from -1 to CountStrings + 1: a name that NthString gives lies inside
// the text; names 0 to count - 1 all exist, each starts the text or follows a NUL, and
// each ends with a NUL inside the text (the reader list hands them on as C strings),
// and each starts right after the NUL that ends the one before;
// a negative n and any n above the count give no name.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "discovery/pcsc_reader_list.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::InputCursor input(data, size);
  const uint16_t selector = input.U16();
  const std::string rest = input.Rest();
  const uint32_t length = static_cast<uint32_t>(selector % (rest.size() + 1));
  std::unique_ptr<char[]> text(new char[length]);
  std::memcpy(text.get(), rest.data(), length);
  const char* begin = text.get();
  const char* end = begin + length;

  const int32_t count = CountStrings(begin, length);
  FUZZ_REQUIRE(count >= 0);
  FUZZ_REQUIRE(static_cast<uint32_t>(count) <= length);
  if (length == 0) FUZZ_REQUIRE(count == 0);

  const char* previous = nullptr;
  for (int32_t n = -1; n <= count + 1; ++n) {
    const char* name = NthString(begin, length, n);
    if (name != nullptr) {
      FUZZ_REQUIRE(name >= begin && name < end);
    }
    if (n < 0 || n > count) {
      FUZZ_REQUIRE(name == nullptr);
    } else if (n < count) {
      FUZZ_REQUIRE(name != nullptr);
      FUZZ_REQUIRE(name == begin || name[-1] == '\0');
      FUZZ_REQUIRE(std::memchr(name, '\0', static_cast<size_t>(end - name)) != nullptr);
      // Names follow one another: each starts after the NUL that ends the one before.
      if (previous != nullptr) {
        FUZZ_REQUIRE(name == previous + std::strlen(previous) + 1);
      }
      previous = name;
    }
  }
  return 0;
}
