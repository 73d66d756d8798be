// A security descriptor read into a buffer that grows as the system asks, for the Windows
// files of this folder that read one (of a file by its path, or of an open handle).
#ifndef TELMAR_PLATFORM_WIN_SECURITY_DESCRIPTOR_H
#define TELMAR_PLATFORM_WIN_SECURITY_DESCRIPTOR_H

#include <windows.h>

#include <string>

namespace platform {

// `read(buffer, size, &needed)` is GetFileSecurityA or GetKernelObjectSecurity with the parts
// wanted; false when it keeps failing for another reason than the buffer's size.
template <typename Read>
bool ReadSecurityDescriptor(Read read, std::string* descriptor) {
  DWORD needed = 0;
  descriptor->assign(512, '\0');
  for (int round = 0; round < 4; ++round) {
    if (read(&(*descriptor)[0], static_cast<DWORD>(descriptor->size()), &needed)) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= descriptor->size()) return false;
    descriptor->assign(needed, '\0');
  }
  return false;
}

}  // namespace platform

#endif
