// The names of the PC/SC readers that the smart-card service knows, listed once when
// the list is built and kept for the whole run.
#ifndef TELMAR_DISCOVERY_PCSC_READER_LIST_H
#define TELMAR_DISCOVERY_PCSC_READER_LIST_H

#include <cstdint>

#include "platform/module.h"
#include "platform/pcsc.h"

// Results of the listing; 0 is success.
const int32_t PCSC_LIBRARY_MISSING = 0x1001;
const int32_t PCSC_ENTRY_MISSING = 0x1002;
const int32_t PCSC_CONTEXT_FAILED = 0x1011;
const int32_t PCSC_LIST_FAILED = 0x1013;
const int32_t SCARD_E_NO_READERS_AVAILABLE = static_cast<int32_t>(0x8010002Eu);
// The service's code for a reader that vanished; the listing reports it as no reader.
const int32_t SCARD_E_READER_UNAVAILABLE = static_cast<int32_t>(0x80100017u);

// The entry points of the service library.
struct PcscApi {
  platform::ModuleHandle module;
  platform::PcscEstablishContextFn establishContextFn;
  platform::PcscReleaseContextFn releaseContextFn;
  platform::PcscListReadersFn listReadersFn;
  // Never called: resolved only to check that the library is a complete smart-card
  // service. One that lacks it (a stub, a partial one) counts as missing: none of the
  // readers it would list is written.
  platform::PcscGetStatusChangeFn getStatusChangeFn;
};

// Loads the service library (a library of the system, never one beside the program) and
// resolves its four entry points into `api`, stopping at the first one missing. Returns
// 0, PCSC_LIBRARY_MISSING or PCSC_ENTRY_MISSING. The library is never freed.
int32_t LoadPcscApi(PcscApi& api);

// The number of names in a multi-string of `length` characters (the walk stops at the
// first double NUL). A length of 0 gives 0.
int32_t CountStrings(const char* text, uint32_t length);

// Name n (from 0) of a multi-string of `length` characters, or null when there is none.
const char* NthString(const char* text, uint32_t length, int32_t n);

class PcscReaderList {
 public:
  // Lists the readers. Any failure leaves the list empty; a listing that holds no name
  // at all counts as no reader.
  PcscReaderList();
  // Releases the memory of the list only: the context stays open and the library loaded
  // until the process ends.
  ~PcscReaderList();
  PcscReaderList(const PcscReaderList&) = delete;
  PcscReaderList& operator=(const PcscReaderList&) = delete;

  int32_t GetCount() const;
  // Name i (from 0) for 0 <= i < GetCount(), else null. Valid as long as the list.
  const char* GetName(int32_t i) const;

 private:
  // Loads the entry points, opens the context and fetches the multi-string of reader names;
  // run once, by the constructor.
  int32_t ListReaders();
  // Releases the context (when the release entry point is resolved) and forgets it.
  void ReleaseContext();

  PcscApi api_;
  platform::PcscContext context_;
  // Length of the multi-string in characters, final NUL included, as the service reports it.
  platform::PcscDword readerTextLength_;
  int32_t count_;
  const char** names_;
  char* buffer_;
  uint32_t bufferSize_;  // bytes allocated for buffer_
};

#endif
