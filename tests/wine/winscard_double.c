/* A stand-in for the smart-card service's library, for running the Windows program under
 * Wine, whose own winscard cannot reach a smart-card service. It lists the reader names
 * found, one per line, in the file that TELMAR_TEST_PCSC_READERS names (a Windows path);
 * the names are taken byte for byte. No file, or an empty one: no reader. */
#include <windows.h>
#include <winscard.h>
#include <stdio.h>
#include <string.h>

static char names[65536];
static DWORD namesLength; /* multi-string length, final NUL included; 0 when none */

static void LoadNames(void) {
  char path[MAX_PATH];
  DWORD got = GetEnvironmentVariableA("TELMAR_TEST_PCSC_READERS", path, sizeof path);
  namesLength = 0;
  if (got == 0 || got >= sizeof path) return;
  FILE* file = fopen(path, "rb");
  if (file == NULL) return;
  char line[4096];
  while (fgets(line, sizeof line, file) != NULL) {
    size_t length = strcspn(line, "\r\n");
    if (length == 0) continue;
    if (namesLength + length + 2 > sizeof names) break;
    memcpy(names + namesLength, line, length);
    namesLength += (DWORD)length;
    names[namesLength++] = '\0';
  }
  fclose(file);
  if (namesLength > 0) names[namesLength++] = '\0';
}

LONG WINAPI SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                                  LPSCARDCONTEXT context) {
  (void)scope; (void)reserved1; (void)reserved2;
  *context = 0x5C5C;
  LoadNames();
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT context) {
  (void)context;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardListReadersA(SCARDCONTEXT context, LPCSTR groups, LPSTR readers,
                              LPDWORD readersLength) {
  (void)context; (void)groups;
  if (namesLength == 0) return SCARD_E_NO_READERS_AVAILABLE;
  if (readers == NULL) {
    *readersLength = namesLength;
    return SCARD_S_SUCCESS;
  }
  if (*readersLength < namesLength) return SCARD_E_INSUFFICIENT_BUFFER;
  memcpy(readers, names, namesLength);
  *readersLength = namesLength;
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardGetStatusChangeA(SCARDCONTEXT context, DWORD timeout,
                                  LPSCARD_READERSTATEA states, DWORD count) {
  (void)context; (void)timeout; (void)states; (void)count;
  return SCARD_E_TIMEOUT;
}
