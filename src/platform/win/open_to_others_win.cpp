#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <string>

#include "platform/open_to_others.h"
#include "platform/win/security_descriptor.h"

namespace platform {

namespace {

// The accounts that may change the workstation's own files anyway.
const char* const kTrustedSids[] = {
    "S-1-5-18",      // LocalSystem
    "S-1-5-32-544",  // Administrators
    "S-1-3-0",       // CREATOR OWNER (stands for whoever creates a file, on folders only)
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

// The rights that let an account change a file, what a folder holds, or who may.
struct Right {
  DWORD mask;
  const char* onFile;    // null: no such right on a file
  const char* onFolder;
};
const Right kRights[] = {
    {GENERIC_WRITE, "write", "write"},
    {FILE_WRITE_DATA, "write", "add-file"},
    {FILE_APPEND_DATA, "append", "add-folder"},
    {FILE_DELETE_CHILD, nullptr, "delete-child"},
    {WRITE_DAC, "write-DAC", "write-DAC"},
    {WRITE_OWNER, "write-owner", "write-owner"},
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return std::string();
  std::string result(text);
  LocalFree(text);
  return result;
}

// The account this process runs as, as a SID's text.
const std::string& RunningAccount() {
  static std::string account;
  static bool known = false;
  if (known) return account;
  known = true;
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return account;
  union {
    TOKEN_USER user;
    char bytes[256];
  } buffer;
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size)) {
    account = SidText(buffer.user.User.Sid);
  }
  CloseHandle(token);
  return account;
}

bool Trusted(const std::string& sid) {
  if (sid.empty() || sid == RunningAccount()) return true;
  for (const char* trusted : kTrustedSids) {
    if (sid == trusted) return true;
  }
  return false;
}

// "DOMAIN\name", or the SID's text when the account has no name here.
std::string AccountName(PSID sid) {
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    return SidText(sid);
  }
  return domain[0] != '\0' ? std::string(domain) + "\\" + name : std::string(name);
}

std::string RightsText(DWORD mask, bool folder) {
  if ((mask & GENERIC_ALL) != 0 || (mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS) {
    return "full control";
  }
  std::string text;
  for (const Right& right : kRights) {
    const char* word = folder ? right.onFolder : right.onFile;
    if ((mask & right.mask) == 0 || word == nullptr || text.find(word) != std::string::npos) {
      continue;
    }
    text += (text.empty() ? "" : ", ") + std::string(word);
  }
  return text;
}

// Who else may change the object whose DACL `security` holds.
void Describe(PSECURITY_DESCRIPTOR security, bool folder, char* who, size_t size) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted)) return;
  std::string text;
  ACL_SIZE_INFORMATION acl;
  if (!present || dacl == nullptr) {
    text = "Everyone (no access control list)";
  } else if (GetAclInformation(dacl, &acl, sizeof acl, AclSizeInformation)) {
    for (DWORD i = 0; i < acl.AceCount; ++i) {
      void* entry = nullptr;
      if (!GetAce(dacl, i, &entry)) continue;
      const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
      // An entry that only passes to what the folder will hold gives nothing on the folder.
      if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
        continue;
      }
      ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
      PSID sid = &allowed->SidStart;
      const std::string rights = RightsText(allowed->Mask, folder);
      if (rights.empty() || Trusted(SidText(sid))) continue;
      text += (text.empty() ? "" : "; ") + AccountName(sid) + " (" + rights + ")";
    }
  }
  std::snprintf(who, size, "%s", text.c_str());
}

}  // namespace

bool RunsAsAdministrator() {
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  // A token that is not elevated holds the group for denying only: not a member.
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

void WhoElseMayChange(const char* given, char* who, size_t size) {
  if (size == 0) return;
  who[0] = '\0';
  // A folder named with its trailing separator, as the data folder is, is asked without it.
  std::string named(given);
  if (named.size() > 3 && named.back() == '\\') named.pop_back();
  const char* path = named.c_str();
  const DWORD attributes = GetFileAttributesA(path);
  std::string security;
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !ReadSecurityDescriptor([path](void* out, DWORD room, DWORD* needed) {
        return GetFileSecurityA(path, DACL_SECURITY_INFORMATION, out, room, needed) != 0;
      }, &security)) {
    return;
  }
  Describe(&security[0], (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, who, size);
}

void WhoElseMayChangeOpenFile(long long handle, char* who, size_t size) {
  if (size == 0) return;
  who[0] = '\0';
  HANDLE file = reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
  BY_HANDLE_FILE_INFORMATION info;
  std::string security;
  if (!GetFileInformationByHandle(file, &info) ||
      !ReadSecurityDescriptor([file](void* out, DWORD room, DWORD* needed) {
        return GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, out, room, needed) != 0;
      }, &security)) {
    return;
  }
  Describe(&security[0], (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, who, size);
}

void WarnIfLibraryFolderOpenToOthers(const char* libraryPath) {
  std::string folder(libraryPath);
  const size_t slash = folder.find_last_of('\\');
  if (slash == std::string::npos) return;
  folder.resize(slash);
  // The system's own folders: their files are the system's to guard.
  char system[MAX_PATH + 1], windows[MAX_PATH + 1];
  const UINT systemLength = GetSystemDirectoryA(system, sizeof system);
  const UINT windowsLength = GetWindowsDirectoryA(windows, sizeof windows);
  if (systemLength == 0 || systemLength > MAX_PATH || windowsLength == 0 || windowsLength > MAX_PATH) {
    return;
  }
  const std::string wow64 = std::string(windows) + "\\SysWOW64";
  if (lstrcmpiA(folder.c_str(), system) == 0 || lstrcmpiA(folder.c_str(), windows) == 0 ||
      lstrcmpiA(folder.c_str(), wow64.c_str()) == 0) {
    return;
  }
  WarnIfOpenToOthers("library folder", folder.c_str(),
                     "whoever may change it chooses the code that this run and the access "
                     "manager load: let only administrators change it");
}

}  // namespace platform
