#include "discovery/pcsc_reader_list.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/trace.h"

namespace {

// No workstation holds a megabyte of reader names; a longer length is a service fault
// and is treated like a failed allocation.
const platform::PcscDword kLongestReaderText = 0x100000;

// A result of the service as its 32-bit code, the same on every system.
unsigned long Code(platform::PcscLong result) {
  return static_cast<unsigned long>(result) & 0xFFFFFFFFUL;
}

}  // namespace

int32_t LoadPcscApi(PcscApi& api) {
  api.module = platform::LoadSystemModule(platform::kPcscLibraryName);
  if (api.module == nullptr) return PCSC_LIBRARY_MISSING;
  const platform::EntryPointSlot table[] = {
      {platform::kPcscEstablishContextName, &api.establishContextFn},
      {platform::kPcscReleaseContextName, &api.releaseContextFn},
      {platform::kPcscListReadersName, &api.listReadersFn},
      {platform::kPcscGetStatusChangeName, &api.getStatusChangeFn}};
  const size_t count = sizeof table / sizeof table[0];
  return platform::ResolveEntryPoints(api.module, table, count, true) ? 0 : PCSC_ENTRY_MISSING;
}

int32_t CountStrings(const char* text, uint32_t length) {
  if (length == 0) return 0;
  int32_t count = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] != '\0') continue;
    ++count;
    if (i + 1 < length && text[i + 1] == '\0') break;
  }
  return count;
}

const char* NthString(const char* text, uint32_t length, int32_t n) {
  if (length == 0) return nullptr;
  if (n == 0) return text;
  int32_t seen = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] != '\0') continue;
    ++seen;
    // A name that would start at the length lies outside the text.
    if (i + 1 >= length) return nullptr;
    if (text[i + 1] == '\0') return nullptr;
    // Only a name whose NUL lies within the length is one: it is then also counted.
    if (seen == n) {
      return std::memchr(text + i + 1, '\0', length - (i + 1)) != nullptr ? text + i + 1 : nullptr;
    }
  }
  return nullptr;
}

PcscReaderList::PcscReaderList()
    : api_(),
      context_(0),
      readerTextLength_(0),
      count_(0),
      names_(nullptr),
      buffer_(nullptr),
      bufferSize_(0) {
  const int32_t listed = ListReaders();
  if (listed != 0 || buffer_ == nullptr) {
    platform::Trace("PC/SC listing: status 0x%08lX: no reader", Code(listed));
    ReleaseContext();
    return;
  }
  // The service may report more than it was given room for: never walk past the buffer.
  uint32_t length = bufferSize_;
  if (readerTextLength_ < length) length = static_cast<uint32_t>(readerTextLength_);
  // A multi-string ends at its first empty name: one that starts with a NUL holds none.
  const int32_t count = length == 0 || buffer_[0] == '\0' ? 0 : CountStrings(buffer_, length);
  if (count <= 0) {
    platform::Trace("PC/SC listing holds no reader name");
    return;
  }
  names_ = new (std::nothrow) const char*[count];
  if (names_ == nullptr) {
    ReleaseContext();
    return;
  }
  for (int32_t i = 0; i < count; ++i) names_[i] = NthString(buffer_, length, i);
  count_ = count;
  for (int32_t i = 0; i < count; ++i) {
    platform::Trace("PC/SC reader %ld: \"%s\"", long(i + 1), names_[i] ? names_[i] : "");
  }
}

PcscReaderList::~PcscReaderList() {
  delete[] names_;
  std::free(buffer_);
}

int32_t PcscReaderList::GetCount() const { return count_; }

const char* PcscReaderList::GetName(int32_t i) const {
  if (i < 0 || i >= count_) return nullptr;
  return names_[i];
}

int32_t PcscReaderList::ListReaders() {
  const int32_t loaded = LoadPcscApi(api_);
  if (platform::TraceOn()) {
    char reason[platform::kWhyNotLoadedSize] = "";
    if (loaded == PCSC_LIBRARY_MISSING) {
      platform::WhyNotLoaded(platform::kPcscLibraryName, reason, sizeof reason);
    }
    platform::Trace("smart-card library %s: %s (0x%04lX)%s%s", platform::kPcscLibraryName,
                    loaded == 0 ? "loaded" : loaded == PCSC_LIBRARY_MISSING ? "not loaded"
                                                                              : "an entry point is missing",
                    Code(loaded), reason[0] != '\0' ? ": " : "", reason);
  }
  if (loaded != 0) return loaded;

  // Run once, from the constructor: no context is open yet and nothing was listed before.
  const platform::PcscLong established =
      api_.establishContextFn(platform::kPcscScopeUser, nullptr, nullptr, &context_);
  platform::Trace("SCardEstablishContext: 0x%08lX", Code(established));
  if (established != platform::kPcscSuccess) return PCSC_CONTEXT_FAILED;

  // Sizing call; any failure other than "no reader" shows again in the second call.
  const platform::PcscLong sized = api_.listReadersFn(context_, nullptr, nullptr, &readerTextLength_);
  platform::Trace("%s, sizing: 0x%08lX, %lu characters", platform::kPcscListReadersName,
                  Code(sized), static_cast<unsigned long>(readerTextLength_));
  if (sized == platform::kPcscNoReadersAvailable) return SCARD_E_NO_READERS_AVAILABLE;

  if (readerTextLength_ >= kLongestReaderText) return PCSC_LIST_FAILED;
  const uint32_t size = static_cast<uint32_t>(readerTextLength_) + 1;
  buffer_ = static_cast<char*>(std::calloc(size, 1));
  if (buffer_ == nullptr) return PCSC_LIST_FAILED;
  bufferSize_ = size;

  const platform::PcscLong listed =
      api_.listReadersFn(context_, nullptr, buffer_, &readerTextLength_);
  platform::Trace("%s: 0x%08lX", platform::kPcscListReadersName, Code(listed));
  if (listed == platform::kPcscSuccess) return 0;
  if (listed == platform::kPcscReaderUnavailable) return SCARD_E_NO_READERS_AVAILABLE;
  return PCSC_LIST_FAILED;
}

void PcscReaderList::ReleaseContext() {
  if (api_.releaseContextFn != nullptr) api_.releaseContextFn(context_);
  context_ = 0;
}
