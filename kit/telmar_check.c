/* telmar-check: the field-check kit's checker, run from a command prompt on the workstation.

     telmar-check             runs the self-check: the kit's telmar-setup.exe with the kit's
                              stand-in protocol library and test doubles, in a scratch folder
     telmar-check /dry-run [PROGRAM]
                              runs PROGRAM (the telmar-setup.exe beside the checker by default)
                              as it is installed, but with ALLUSERSPROFILE in a scratch folder,
                              and prints the telmar.old it would write and its trace

   Every run of the program gets ALLUSERSPROFILE and TELMAR_SETUP_LOG pointing into the scratch
   folder, below %TEMP%; nothing outside it is written. Each self-check case prints one line:
   PASS, FAIL with the reason, or NOT SHOWN HERE with what this machine cannot show; a case
   that needs a file the kit lacks, or the expected file damaged, fails with the kit named as
   the cause. The exit status is 1 when a case failed, 0 otherwise, and 2 when the checker
   could not start (a wrong argument, a dry run of no program). */
#include <windows.h>
#include <sddl.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Not in Windows XP's headers. */
#define ELEVATION_REQUIRED_ERROR 740
#define TOKEN_ELEVATION_CLASS ((TOKEN_INFORMATION_CLASS)20)

/* How long a run may take before it counts as held: a run with the stand-in probes each port
   at two speeds with a pause after each try; a library that fails to load ends at once. */
#define PROBING_RUN_MS 180000
#define FAILED_LOAD_RUN_MS 30000
#define DRY_RUN_MS 600000

static char kit[MAX_PATH];     /* the checker's folder, with a trailing backslash */
static char allUsers[MAX_PATH]; /* the machine's own ALLUSERSPROFILE, before any run's */
static char scratch[MAX_PATH]; /* the scratch folder, with a trailing backslash */
static DWORD majorVersion;
static const char* wineVersion; /* non-null under Wine */
static int counts[3];
enum Result { PASS, FAIL, NOT_SHOWN };

static void Report(enum Result result, const char* name, const char* format, ...) {
  static const char* const words[] = {"PASS", "FAIL", "NOT SHOWN HERE"};
  va_list arguments;
  ++counts[result];
  printf("%-15s %s: ", words[result], name);
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  printf("\n");
  fflush(stdout);
}

/* Joins up to three parts into out (MAX_PATH); false when it does not fit. */
static int Join(char* out, const char* a, const char* b, const char* c) {
  return snprintf(out, MAX_PATH, "%s%s%s", a, b, c ? c : "") < MAX_PATH;
}

/* Creates every missing folder of path (which ends with a backslash). */
static int MakeFolders(const char* path) {
  char partial[MAX_PATH];
  size_t i;
  for (i = 3; path[i] != '\0' && i < MAX_PATH; ++i) {
    if (path[i] != '\\') continue;
    memcpy(partial, path, i);
    partial[i] = '\0';
    if (!CreateDirectoryA(partial, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  }
  return 1;
}

/* The whole file, zero-terminated, or NULL; the caller frees it. */
static char* ReadWhole(const char* path) {
  FILE* file = fopen(path, "rb");
  char* text;
  long size;
  if (file == NULL) return NULL;
  fseek(file, 0, SEEK_END);
  size = ftell(file);
  fseek(file, 0, SEEK_SET);
  text = size >= 0 ? malloc((size_t)size + 1) : NULL;
  if (text != NULL) text[fread(text, 1, (size_t)size, file)] = '\0';
  fclose(file);
  return text;
}

/* The next line of *text without its CR LF, or NULL at the end; the text is cut in place. */
static char* NextLine(char** text) {
  char* line = *text;
  char* end;
  if (line == NULL || *line == '\0') return NULL;
  end = strchr(line, '\n');
  *text = end ? end + 1 : NULL;
  if (end) *end = '\0';
  end = line + strlen(line);
  if (end > line && end[-1] == '\r') end[-1] = '\0';
  return line;
}

/* Two names of the same file, in long form, compared as Windows does. */
static int SameFile(const char* a, const char* b) {
  char longA[MAX_PATH], longB[MAX_PATH];
  if (!GetLongPathNameA(a, longA, MAX_PATH)) lstrcpynA(longA, a, MAX_PATH);
  if (!GetLongPathNameA(b, longB, MAX_PATH)) lstrcpynA(longB, b, MAX_PATH);
  return lstrcmpiA(longA, longB) == 0;
}

/* Removes a folder and everything in it; a link to a folder is removed, not entered. */
static void RemoveTree(const char* folder) {
  char pattern[MAX_PATH], path[MAX_PATH];
  WIN32_FIND_DATAA found;
  HANDLE search;
  if (!Join(pattern, folder, "*", NULL)) return;
  search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
      if (!Join(path, folder, found.cFileName, NULL)) continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
          (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        RemoveDirectoryA(path); /* a junction or link: removed itself, never followed */
      } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        strcat(path, "\\");
        RemoveTree(path);
      } else {
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path);
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder);
}

/* One run of the program: its folders in the scratch folder, and what it left. */
struct Run {
  const char* name;
  char app[MAX_PATH];    /* the folder the program is copied to */
  char cwd[MAX_PATH];    /* the folder it is started from */
  char data[MAX_PATH];   /* its data folder, below the scratch ALLUSERSPROFILE */
  char profile[MAX_PATH];
  char trace[MAX_PATH];
  char* traceText;       /* the trace, read after the run */
  DWORD status;          /* the exit status */
  DWORD startError;      /* CreateProcessA's error when the program did not start */
  int ended;             /* ended by itself within the time allowed */
};

/* The data folder below a profile folder, at the level of this system. */
static int DataFolder(char* out, const char* profile) {
  return Join(out, profile, majorVersion < 6 ? "Application Data\\" : "", "velmora\\telmarv3\\");
}

/* Names the run's folders below scratch\NAME\ and makes its data folder; false, with the reason
   reported, on failure. */
static int Prepare(struct Run* run, const char* name) {
  char base[MAX_PATH];
  memset(run, 0, sizeof *run);
  run->name = name;
  if (!Join(base, scratch, name, "\\") || !Join(run->app, base, "app\\", NULL) ||
      !Join(run->cwd, base, "cwd\\", NULL) || !Join(run->profile, base, "ProgramData", NULL) ||
      !Join(run->trace, base, "trace.log", NULL) || !Join(base, run->profile, "\\", NULL) ||
      !DataFolder(run->data, base) || !MakeFolders(run->data)) {
    Report(FAIL, name, "could not make the scratch folders below %s%s (error %lu)", scratch, name,
           GetLastError());
    return 0;
  }
  return 1;
}

/* Copies a file of the kit (KIT_PATH, relative to the checker's folder) into FOLDER as NAME. */
static int CopyFromKit(const struct Run* run, const char* kitPath, const char* folder,
                       const char* name) {
  char from[MAX_PATH], to[MAX_PATH];
  if (Join(from, kit, kitPath, NULL) && Join(to, folder, name, NULL) && MakeFolders(folder) &&
      CopyFileA(from, to, FALSE)) {
    return 1;
  }
  Report(FAIL, run->name, "could not copy the kit's %s to %s (error %lu)", kitPath, folder,
         GetLastError());
  return 0;
}

static const char kExpectedFile[] = "expected\\worked-example.old";

/* Whether the kit holds the files (relative to the checker's folder, up to a null) that case
   NAME needs, the expected file whole: a case of a kit with a file missing or damaged is
   reported as FAIL, with the kit named as the cause, before anything runs. */
static int KitHolds(const char* name, const char* const* files) {
  char path[MAX_PATH], problems[1024] = "";
  size_t used = 0;
  for (; *files != NULL; ++files) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const char* separator = used > 0 ? "; " : "";
    if (!Join(path, kit, *files, NULL) ||
        !GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      used += (size_t)snprintf(problems + used, sizeof problems - used, "%sthe kit lacks %s",
                               separator, *files);
    } else if (strcmp(*files, kExpectedFile) == 0 &&
               (data.nFileSizeHigh != 0 || data.nFileSizeLow != TELMAR_CHECK_EXPECTED_SIZE)) {
      used += (size_t)snprintf(problems + used, sizeof problems - used,
                               "%sthe kit's %s is damaged (%lu bytes, not the %lu it was made with)",
                               separator, *files, data.nFileSizeLow,
                               (unsigned long)TELMAR_CHECK_EXPECTED_SIZE);
    }
    if (used >= sizeof problems) used = sizeof problems - 1;
  }
  if (used > 0) Report(FAIL, name, "%s", problems);
  return used == 0;
}

/* Runs PROGRAM from the run's current folder with the run's ALLUSERSPROFILE and trace file, and
   QLP_SIM_READERS set to READERS (when not NULL; unset when empty), waiting at most LIMIT_MS. */
static void Start(struct Run* run, const char* program, const char* readers, DWORD limitMs) {
  char command[MAX_PATH + 2];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  SetEnvironmentVariableA("ALLUSERSPROFILE", run->profile);
  SetEnvironmentVariableA("TELMAR_SETUP_LOG", run->trace);
  if (readers != NULL) {
    SetEnvironmentVariableA("QLP_SIM_READERS", readers[0] != '\0' ? readers : NULL);
    SetEnvironmentVariableA("QLP_SIM_LOG", NULL);
  }
  snprintf(command, sizeof command, "\"%s\"", program);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(program, command, NULL, NULL, FALSE, 0, NULL, run->cwd, &startup, &process)) {
    run->startError = GetLastError();
    return;
  }
  CloseHandle(process.hThread);
  run->ended = WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0;
  if (!run->ended) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, &run->status);
  CloseHandle(process.hProcess);
  run->traceText = ReadWhole(run->trace);
}

/* Copies the kit's program into the run's app folder and runs it there. */
static int RunKitProgram(struct Run* run, const char* readers, DWORD limitMs) {
  char program[MAX_PATH];
  if (!CopyFromKit(run, "telmar-setup.exe", run->app, "telmar-setup.exe")) return 0;
  MakeFolders(run->cwd);
  Join(program, run->app, "telmar-setup.exe", NULL);
  Start(run, program, readers, limitMs);
  if (run->startError != 0) {
    Report(FAIL, run->name, "telmar-setup.exe did not start: error %lu%s", run->startError,
           run->startError == ELEVATION_REQUIRED_ERROR ? " (Windows asks for elevation)" : "");
  } else if (!run->ended) {
    Report(FAIL, run->name, "the run did not end by itself within %lu s (a dialog?)",
           limitMs / 1000);
  } else if (run->status != 0) {
    Report(FAIL, run->name, "exit status 0x%08lX", run->status);
  } else if (run->traceText == NULL) {
    Report(FAIL, run->name, "no trace in %s", run->trace);
  } else {
    return 1;
  }
  return 0;
}

/* The first trace line that starts with PREFIX, or NULL. */
static const char* TraceLine(const struct Run* run, const char* prefix) {
  const char* line = run->traceText;
  size_t length = strlen(prefix);
  while (line != NULL && *line != '\0') {
    if (strncmp(line, prefix, length) == 0) return line;
    line = strchr(line, '\n');
    if (line != NULL) ++line;
  }
  return NULL;
}

/* The trace line that starts with PREFIX, without its line end, in out; empty when none. */
static const char* TraceText(const struct Run* run, const char* prefix, char* out, size_t size) {
  const char* line = TraceLine(run, prefix);
  size_t length = line ? strcspn(line, "\r\n") : 0;
  if (length >= size) length = size - 1;
  memcpy(out, line ? line : "", length);
  out[length] = '\0';
  return out;
}

static const char kLibraryLine[] = "protocol library qlpinw32.dll: ";

/* The file the program loaded the protocol library from, in out; false when not loaded. */
static int LoadedFrom(const struct Run* run, char* out) {
  char line[1024];
  static const char loaded[] = "protocol library qlpinw32.dll: loaded from ";
  TraceText(run, loaded, line, sizeof line);
  if (line[0] == '\0') return 0;
  lstrcpynA(out, line + strlen(loaded), MAX_PATH);
  return 1;
}

/* The COM numbers the program listed for probing, in the order it probes them. */
static int ListedPorts(const struct Run* run, unsigned* ports, int room) {
  int count = 0;
  char* copy = run->traceText ? _strdup(run->traceText) : NULL;
  char* rest = copy;
  char* line;
  while ((line = NextLine(&rest)) != NULL && count < room) {
    size_t length = strlen(line);
    char* com = strstr(line, ", COM");
    if (length > 8 && strcmp(line + length - 8, ": listed") == 0 && com != NULL) {
      ports[count++] = (unsigned)strtoul(com + 5, NULL, 10);
    }
  }
  free(copy);
  return count;
}

/* The lines of a telmar.old that a serial reader gives, whatever PC/SC readers the machine
   has: those before the first section, and the sections [PROTOCOLE0], [CANAL1] and
   [CANAL1.…], empty lines left out (Wine's profile writer drops them). Each section runs to
   the next section or comment line. With PORT non-zero, the Index of [CANAL1] becomes PORT.
   The lines are joined with LF in out. */
static void SerialPart(const char* file, unsigned port, char* out, size_t size) {
  char* copy = _strdup(file);
  char* rest = copy;
  char* line;
  int before = 1, keep = 1, inChannel = 0;
  size_t used = 0;
  out[0] = '\0';
  while ((line = NextLine(&rest)) != NULL) {
    char replaced[32];
    if (line[0] == '[') {
      before = 0;
      keep = strcmp(line, "[PROTOCOLE0]") == 0 || strcmp(line, "[CANAL1]") == 0 ||
             strncmp(line, "[CANAL1.", 8) == 0;
      inChannel = strcmp(line, "[CANAL1]") == 0;
    } else if (line[0] == ';' && !before) {
      keep = 0;
    }
    if (!keep || line[0] == '\0') continue;
    if (inChannel && port != 0 && strncmp(line, "Index=", 6) == 0) {
      snprintf(replaced, sizeof replaced, "Index=%u", port);
      line = replaced;
    }
    used += (size_t)snprintf(out + used, used < size ? size - used : 0, "%s\n", line);
  }
  free(copy);
}

/* The first line where two texts of LF-ended lines differ, described in out; false when equal. */
static int FirstDifference(const char* expected, const char* found, char* out, size_t size) {
  int number = 1;
  while (*expected != '\0' || *found != '\0') {
    size_t a = strcspn(expected, "\n"), b = strcspn(found, "\n");
    if (a != b || strncmp(expected, found, a) != 0) {
      snprintf(out, size, "line %d of the serial part: expected \"%.*s\", found \"%.*s\"", number,
               (int)a, expected, (int)b, found);
      return 1;
    }
    expected += a + (expected[a] != '\0');
    found += b + (found[b] != '\0');
    ++number;
  }
  return 0;
}

static unsigned ports[256]; /* the COM ports the program probes on this machine */
static int portCount;
static int portsKnown;      /* the system case ran, and listed them */

/* The system version and the data-folder level the program chose, and the ports it probes. */
static void CheckSystem(void) {
  struct Run run;
  char first[512], folder[1024], expected[MAX_PATH + 32], version[48];
  size_t length;
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll", NULL};
  if (!KitHolds("system", needs) || !Prepare(&run, "system") ||
      !CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.app, "qlpinw32.dll") ||
      !RunKitProgram(&run, "", PROBING_RUN_MS)) {
    return;
  }
  portCount = ListedPorts(&run, ports, 256);
  portsKnown = 1;
  TraceText(&run, "telmar-setup ", first, sizeof first);
  TraceText(&run, "data folder ", folder, sizeof folder);
  snprintf(expected, sizeof expected, "data folder %s: exists", run.data);
  snprintf(version, sizeof version, ", system major version %lu", majorVersion);
  length = strlen(first);
  if (length < strlen(version) || strcmp(first + length - strlen(version), version) != 0) {
    Report(FAIL, run.name,
           "the program saw another system than the checker (major version %lu): \"%s\"",
           majorVersion, first);
  } else if (lstrcmpiA(folder, expected) != 0) {
    Report(FAIL, run.name, "expected \"%s\", the trace says \"%s\"", expected, folder);
  } else {
    Report(PASS, run.name, "\"%s\"; \"%s\" (%s); %d COM port(s) probed", first, folder,
           majorVersion < 6 ? "below \"Application Data\", as before Windows Vista"
                            : "no \"Application Data\" level, as from Windows Vista on",
           portCount);
  }
  free(run.traceText);
}

/* The first port the program probes here, in port; false, with the case reported, when the
   system case did not tell or there is none. */
static int FirstPort(const char* name, unsigned* port) {
  if (!portsKnown) {
    Report(FAIL, name, "the COM ports of this machine are not known: the system case failed");
    return 0;
  }
  if (portCount == 0 || ports[0] > 255) {
    Report(NOT_SHOWN, name, "no serial port here that the program probes (the stand-in answers "
           "only on a port the system lists)");
    return 0;
  }
  *port = ports[0];
  return 1;
}

/* The worked example: a reader simulated by the stand-in LIBRARY on the first port the program
   probes; the serial part of telmar.old must be the kit's expected one, for that port. */
static void CheckWorkedExample(const char* name, const char* library) {
  struct Run run;
  char readers[32], loaded[MAX_PATH], want[MAX_PATH], path[MAX_PATH], outcome[256];
  static char expectedPart[16384], foundPart[16384], difference[1200];
  char *expected, *written = NULL;
  const char* const needs[] = {"telmar-setup.exe", library, kExpectedFile, NULL};
  unsigned port;
  if (!KitHolds(name, needs) || !FirstPort(name, &port)) return;
  snprintf(readers, sizeof readers, "%u@19200", port);
  if (!Prepare(&run, name) || !CopyFromKit(&run, library, run.app, "qlpinw32.dll") ||
      !RunKitProgram(&run, readers, PROBING_RUN_MS)) {
    return;
  }
  Join(want, run.app, "qlpinw32.dll", NULL);
  Join(path, kit, kExpectedFile, NULL);
  expected = ReadWhole(path);
  if (!LoadedFrom(&run, loaded)) {
    Report(FAIL, name, "%s", TraceText(&run, kLibraryLine, difference, sizeof difference));
  } else if (!SameFile(loaded, want)) {
    Report(FAIL, name, "the protocol library was loaded from %s, not from beside the program",
           loaded);
  } else if (expected == NULL) {
    Report(FAIL, name, "the kit's %s could not be read", kExpectedFile);
  } else if (Join(path, run.data, "telmar.old", NULL), (written = ReadWhole(path)) == NULL) {
    Report(FAIL, name, "no telmar.old written; the trace says \"%s\"",
           TraceText(&run, "outcome", outcome, sizeof outcome));
  } else {
    SerialPart(expected, port, expectedPart, sizeof expectedPart);
    SerialPart(written, 0, foundPart, sizeof foundPart);
    if (FirstDifference(expectedPart, foundPart, difference, sizeof difference)) {
      Report(FAIL, name, "%s", difference);
    } else {
      Report(PASS, name, "reader simulated on COM%u at 19200 baud, loaded from beside the "
             "program: the serial part of telmar.old is as expected; \"%s\"", port,
             TraceText(&run, "outcome", outcome, sizeof outcome));
    }
  }
  free(expected);
  free(written);
  free(run.traceText);
}

static char installedLibrary[MAX_PATH]; /* a qlpinw32.dll that the search reaches, if any */

/* The protocol library only in the folder the program is started from: not loaded. */
static void CheckCurrentFolder(void) {
  struct Run run;
  char loaded[MAX_PATH], planted[MAX_PATH], line[1024];
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll", NULL};
  if (!KitHolds("current-folder", needs)) return;
  if (installedLibrary[0] != '\0') {
    Report(NOT_SHOWN, "current-folder", "a qlpinw32.dll lies on the search path (%s): the "
           "program would load it", installedLibrary);
    return;
  }
  if (!Prepare(&run, "current-folder") ||
      !CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.cwd, "qlpinw32.dll") ||
      !RunKitProgram(&run, "", FAILED_LOAD_RUN_MS)) {
    return;
  }
  Join(planted, run.cwd, "qlpinw32.dll", NULL);
  TraceText(&run, kLibraryLine, line, sizeof line);
  if (!LoadedFrom(&run, loaded)) {
    Report(PASS, run.name, "not loaded from the current folder: \"%s\"", line);
  } else if (!SameFile(loaded, planted)) {
    Report(FAIL, run.name, "loaded from %s, which should not hold it", loaded);
  } else if (wineVersion != NULL) {
    Report(NOT_SHOWN, run.name, "Wine's loader searches the current folder whatever the program "
           "asks: loaded from %s", loaded);
  } else {
    Report(FAIL, run.name, "the library that lies only in the current folder was loaded: %s",
           loaded);
  }
  free(run.traceText);
}

/* A protocol library that the system refuses: the run ends by itself and the trace says why.
   Some systems pass over a file of the other architecture and search on (PASSED_OVER): where a
   qlpinw32.dll lies on the search path, the case is not run. */
static void CheckRefused(const char* name, const char* library, const char* reason,
                         const char* consequence, int passedOver) {
  struct Run run;
  char expected[1024], line[1024];
  DWORD started = GetTickCount();
  const char* const needs[] = {"telmar-setup.exe", library, NULL};
  if (!KitHolds(name, needs)) return;
  if (passedOver && installedLibrary[0] != '\0') {
    Report(NOT_SHOWN, name, "a qlpinw32.dll lies on the search path (%s): the program could load "
           "it", installedLibrary);
    return;
  }
  if (!Prepare(&run, name) || !CopyFromKit(&run, library, run.app, "qlpinw32.dll") ||
      !RunKitProgram(&run, "", FAILED_LOAD_RUN_MS)) {
    return;
  }
  snprintf(expected, sizeof expected, "%snot loaded: status 265; %s; found at %sqlpinw32.dll%s",
           kLibraryLine, reason, run.app, consequence);
  TraceText(&run, kLibraryLine, line, sizeof line);
  if (lstrcmpiA(line, expected) != 0) {
    Report(FAIL, name, "expected \"%s\", the trace says \"%s\"", expected, line);
  } else {
    Report(PASS, name, "ended by itself in %.1f s; \"%s\" (a window during this case means FAIL)",
           (GetTickCount() - started) / 1000.0, line);
  }
  free(run.traceText);
}

/* Whether case NAME runs here: the kit holds what it NEEDS, and this is not Wine, which cannot
   show what the case shows (WINE_CANNOT says why); otherwise the case is reported. */
static int ShownOutsideWine(const char* name, const char* const* needs, const char* wineCannot) {
  if (!KitHolds(name, needs)) return 0;
  if (wineVersion != NULL) {
    Report(NOT_SHOWN, name, "%s", wineCannot);
    return 0;
  }
  return 1;
}

/* Started from a standard user's prompt on Vista and later: the program asks for no
   elevation although its name contains "setup". */
static void CheckElevation(void) {
  typedef BOOL(WINAPI * OpenToken)(HANDLE, DWORD, HANDLE*);
  typedef BOOL(WINAPI * TokenQuery)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);
  typedef LONG(WINAPI * GetValue)(HKEY, const char*, const char*, DWORD, DWORD*, void*, DWORD*);
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  OpenToken openToken = (OpenToken)(void (*)(void))GetProcAddress(advapi, "OpenProcessToken");
  TokenQuery tokenQuery = (TokenQuery)(void (*)(void))GetProcAddress(advapi, "GetTokenInformation");
  GetValue getValue = (GetValue)(void (*)(void))GetProcAddress(advapi, "RegGetValueA");
  DWORD lua = 1, elevated = 0, size = sizeof lua;
  HANDLE token;
  struct Run run;
  char probe[MAX_PATH];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll",
                                      "doubles\\no-manifest.exe", NULL};
  if (!ShownOutsideWine("elevation", needs, "Wine has no user account control")) return;
  if (majorVersion < 6) {
    Report(NOT_SHOWN, "elevation", "no user account control before Windows Vista: nothing to ask");
    return;
  }
  if (getValue &&
      getValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
               "EnableLUA", 0x10 /* RRF_RT_REG_DWORD */, NULL, &lua, &size) == 0 &&
      lua == 0) {
    Report(NOT_SHOWN, "elevation", "user account control is off on this machine");
    return;
  }
  size = sizeof elevated;
  if (openToken && tokenQuery && openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    tokenQuery(token, TOKEN_ELEVATION_CLASS, &elevated, sizeof elevated, &size);
    CloseHandle(token);
  }
  if (elevated) {
    Report(NOT_SHOWN, "elevation", "this prompt runs elevated: start the checker from a standard "
           "user's prompt (not \"Run as administrator\")");
    return;
  }
  if (!Prepare(&run, "elevation") ||
      !CopyFromKit(&run, "doubles\\no-manifest.exe", run.app, "setup.exe") ||
      !CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.app, "qlpinw32.dll")) {
    return;
  }
  /* The control: a program named setup.exe without a manifest is refused here. */
  Join(probe, run.app, "setup.exe", NULL);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (CreateProcessA(probe, NULL, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, run.app, &startup,
                     &process)) {
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Report(NOT_SHOWN, "elevation", "installer detection is off here: a setup.exe without a "
           "manifest started without elevation");
    return;
  }
  if (GetLastError() != ELEVATION_REQUIRED_ERROR) {
    Report(FAIL, "elevation", "the control setup.exe did not start: error %lu", GetLastError());
    return;
  }
  if (RunKitProgram(&run, "", PROBING_RUN_MS)) {
    Report(PASS, "elevation", "telmar-setup.exe started and ended without elevation, where a "
           "setup.exe without a manifest is refused (error 740)");
  }
  free(run.traceText);
}

/* Writes TEXT as the file PATH; false on failure. */
static int WriteWhole(const char* path, const char* text) {
  FILE* file = fopen(path, "wb");
  int written = file != NULL && fputs(text, file) >= 0;
  if (file != NULL && fclose(file) != 0) written = 0;
  return written;
}

/* The owner, group and DACL of the file at PATH as SDDL text in out; empty when unreadable. */
static void SecurityText(const char* path, char* out, size_t size) {
  static char descriptor[8192];
  const SECURITY_INFORMATION parts =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  char* text = NULL;
  out[0] = '\0';
  if (GetFileSecurityA(path, parts, descriptor, sizeof descriptor, &needed) &&
      ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts,
                                                           &text, NULL)) {
    lstrcpynA(out, text, (int)size);
    LocalFree(text);
  }
}

/* A replaced telmar.old keeps who may read and change it, and how it is shown: an earlier file
   with an explicit entry for Users, a DACL that inherits nothing, and the hidden attribute. */
static void CheckSecurityKept(void) {
  struct Run run;
  char readers[32], path[MAX_PATH], before[2048], after[2048], sddl[256], outcome[512];
  PSECURITY_DESCRIPTOR security = NULL;
  HANDLE token;
  char user[256] = "";
  unsigned port;
  DWORD size;
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll", NULL};
  if (!ShownOutsideWine("security-kept", needs, "Wine keeps a file's DACL as its mode bits: no "
                        "explicit entry, no protected DACL and no owner to compare (the Wine "
                        "tests show the mode)")) {
    return;
  }
  if (!FirstPort("security-kept", &port) || !Prepare(&run, "security-kept")) return;
  /* This account keeps full control, so that the program, run as it, may replace the file. */
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    static union { TOKEN_USER user; char bytes[256]; } info;
    char* text = NULL;
    if (GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
        ConvertSidToStringSidA(info.user.User.Sid, &text)) {
      lstrcpynA(user, text, sizeof user);
      LocalFree(text);
    }
    CloseHandle(token);
  }
  snprintf(sddl, sizeof sddl, "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1301bf;;;BU)(A;;FA;;;%s)", user);
  Join(path, run.data, "telmar.old", NULL);
  if (user[0] == '\0' || !WriteWhole(path, "an earlier run\r\n") ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &security,
                                                            NULL) ||
      !SetFileSecurityA(path, DACL_SECURITY_INFORMATION, security) ||
      !SetFileAttributesA(path, FILE_ATTRIBUTE_HIDDEN)) {
    Report(FAIL, run.name, "could not make the earlier telmar.old in %s (error %lu)", run.data,
           GetLastError());
    if (security != NULL) LocalFree(security);
    return;
  }
  LocalFree(security);
  SecurityText(path, before, sizeof before);
  snprintf(readers, sizeof readers, "%u@19200", port);
  if (!CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.app, "qlpinw32.dll") ||
      !RunKitProgram(&run, readers, PROBING_RUN_MS)) {
    return;
  }
  SecurityText(path, after, sizeof after);
  TraceText(&run, "outcome", outcome, sizeof outcome);
  if (strstr(outcome, "telmar.old replaced") == NULL) {
    Report(FAIL, run.name, "telmar.old was not replaced: \"%s\"", outcome);
  } else if (before[0] == '\0' || strcmp(before, after) != 0) {
    Report(FAIL, run.name, "its security was \"%s\", and is \"%s\"", before, after);
  } else if ((GetFileAttributesA(path) & FILE_ATTRIBUTE_HIDDEN) == 0) {
    Report(FAIL, run.name, "the replaced telmar.old is no longer hidden");
  } else {
    Report(PASS, run.name, "replaced, with the same owner, group and DACL (\"%s\"), still hidden",
           after);
  }
  free(run.traceText);
}

/* A port that another program holds is not probed, and an earlier telmar.old that lists a
   reader there stays as it was: the checker holds the first port the program probes. */
static void CheckPortInUse(void) {
  struct Run run;
  char readers[32], name[32], path[MAX_PATH], earlier[160], line[64], found[160] = "";
  char* written;
  unsigned port;
  HANDLE held;
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll", NULL};
  if (!ShownOutsideWine("port-in-use", needs, "Wine opens a COM port that another program holds")) {
    return;
  }
  if (!FirstPort("port-in-use", &port)) return;
  snprintf(name, sizeof name, "\\\\.\\COM%u", port);
  held = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (held == INVALID_HANDLE_VALUE) {
    Report(NOT_SHOWN, "port-in-use", "COM%u does not open here (error %lu): nothing to hold",
           port, GetLastError());
    return;
  }
  snprintf(earlier, sizeof earlier,
           "[CONFIG]\r\nNbCanaux=1\r\n\r\n[CANAL1]\r\nTCanal=1\r\nIndex=%u\r\n", port);
  snprintf(readers, sizeof readers, "%u@19200", port);
  if (!Prepare(&run, "port-in-use") || !Join(path, run.data, "telmar.old", NULL) ||
      !WriteWhole(path, earlier) ||
      !CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.app, "qlpinw32.dll") ||
      !RunKitProgram(&run, readers, PROBING_RUN_MS)) {
    CloseHandle(held);
    return;
  }
  CloseHandle(held);
  snprintf(line, sizeof line, "COM%u: in use by another program: not probed", port);
  written = ReadWhole(path);
  if (TraceLine(&run, line) == NULL) {
    Report(FAIL, run.name, "the trace lacks \"%s\"", line);
  } else if (written == NULL || strcmp(written, earlier) != 0) {
    Report(FAIL, run.name, "the earlier telmar.old was changed: \"%s\"",
           TraceText(&run, "outcome", found, sizeof found));
  } else {
    Report(PASS, run.name, "COM%u held by the checker: not probed, and the earlier telmar.old "
           "that lists it kept; \"%s\"", port, TraceText(&run, "outcome", found, sizeof found));
  }
  free(written);
  free(run.traceText);
}

/* A data folder made as the access manager's installer makes it, below the machine's own
   application data folder, inherits the right of every user to add files and folders: the
   trace warns of it. The folder is removed afterwards. */
static void CheckOpenDataFolder(void) {
  struct Run run;
  char base[MAX_PATH], line[1024];
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll", NULL};
  if (!ShownOutsideWine("open-data-folder", needs, "Wine keeps a folder's DACL as its mode bits: "
                        "a new folder is not open to other users there")) {
    return;
  }
  if (!Prepare(&run, "open-data-folder")) return;
  /* The program puts "Application Data" below the profile before Vista: the same level. */
  snprintf(base, sizeof base, "%s\\%stelmar-check-%lu", allUsers,
           majorVersion < 6 ? "Application Data\\" : "", GetCurrentProcessId());
  lstrcpynA(run.profile, base, MAX_PATH);
  if (!Join(base, run.profile, "\\", NULL) || !DataFolder(run.data, base) ||
      !MakeFolders(run.data)) {
    Report(FAIL, run.name, "could not make %s (error %lu)", run.data, GetLastError());
  } else if (CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.app, "qlpinw32.dll") &&
             RunKitProgram(&run, "", PROBING_RUN_MS)) {
    if (TraceText(&run, "warning: data folder ", line, sizeof line)[0] == '\0') {
      Report(FAIL, run.name, "no warning for %s, which every user may add files to", run.data);
    } else {
      Report(PASS, run.name, "\"%s\"", line);
    }
  }
  free(run.traceText);
  RemoveTree(base);
}

/* The event ID that a run's last line calls for (the administrators' guide lists them). */
static unsigned ExpectedEvent(const struct Run* run) {
  char outcome[1024];
  TraceText(run, "outcome: ", outcome, sizeof outcome);
  if (strstr(outcome, ": earlier telmar.old kept: ") != NULL) return 2000;
  if (strstr(outcome, " readers found") != NULL && strstr(outcome, ": telmar.old not written: ")) {
    return 3000;
  }
  if (TraceLine(run, "warning: ") != NULL) return 2002;
  if (strstr(outcome, ": telmar.old written: ") != NULL) return 1000;
  return strstr(outcome, ": telmar.old replaced: ") != NULL ? 1001 : 1002;
}

/* Where the event source is registered (the package registers it), a run reports one event
   to the Application log, with the ID that its outcome calls for. */
static void CheckEventLog(void) {
  struct Run run;
  static char records[65536];
  char outcome[1024];
  HKEY key;
  HANDLE log;
  DWORD oldest = 0, count = 0, newest, read = 0, needed = 0;
  unsigned expected, found = 0;
  static const char* const needs[] = {"telmar-setup.exe", "stand-in\\qlpinw32.dll", NULL};
  if (!ShownOutsideWine("event-log", needs,
                        "Wine keeps no Application log that a program reads back")) {
    return;
  }
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\telmar-setup", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    Report(NOT_SHOWN, "event-log", "the event source telmar-setup is not registered here "
           "(the package registers it)");
    return;
  }
  RegCloseKey(key);
  log = OpenEventLogA(NULL, "Application");
  if (log == NULL || !GetOldestEventLogRecord(log, &oldest) ||
      !GetNumberOfEventLogRecords(log, &count)) {
    Report(FAIL, "event-log", "the Application log could not be read (error %lu)", GetLastError());
    if (log != NULL) CloseEventLog(log);
    return;
  }
  newest = count > 0 ? oldest + count - 1 : 0;
  if (!Prepare(&run, "event-log") ||
      !CopyFromKit(&run, "stand-in\\qlpinw32.dll", run.app, "qlpinw32.dll") ||
      !RunKitProgram(&run, "", PROBING_RUN_MS)) {
    CloseEventLog(log);
    return;
  }
  expected = ExpectedEvent(&run);
  /* The records since the run began, newest first, for the program's source. */
  while (!found && ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                                 records, sizeof records, &read, &needed)) {
    DWORD at = 0;
    while (at < read) {
      const EVENTLOGRECORD* record = (const EVENTLOGRECORD*)(records + at);
      if (record->RecordNumber <= newest) break;
      if (strcmp((const char*)(record + 1), "telmar-setup") == 0) {
        found = (unsigned)(record->EventID & 0xFFFF);
        break;
      }
      at += record->Length;
    }
    if (at < read) break;
  }
  CloseEventLog(log);
  if (found == 0) {
    Report(FAIL, run.name, "no event of telmar-setup in the Application log after its run");
  } else if (found != expected) {
    Report(FAIL, run.name, "event %u reported, not %u, for \"%s\"", found, expected,
           TraceText(&run, "outcome: ", outcome, sizeof outcome));
  } else {
    Report(PASS, run.name, "event %u in the Application log, for \"%s\"", found,
           TraceText(&run, "outcome: ", outcome, sizeof outcome));
  }
  free(run.traceText);
}

/* Prints a file of the run, or says it is missing. */
static void Show(const char* title, const char* path) {
  char* text = ReadWhole(path);
  char* rest = text;
  char* line;
  printf("=== %s (%s)\n", title, path);
  if (text == NULL) printf("(no such file)\n");
  while ((line = NextLine(&rest)) != NULL) printf("%s\n", line);
  free(text);
}

/* The system's data-execution prevention policy, in words. */
static const char* DepPolicy(void) {
  typedef DWORD(WINAPI * GetPolicy)(void);
  static const char* const words[] = {
      "AlwaysOff: off for every program, so this run cannot show whether the library runs under it",
      "AlwaysOn: on for every program", "OptIn: on for programs that opt in, as telmar-setup does",
      "OptOut: on for every program not exempted"};
  GetPolicy get = (GetPolicy)(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                            "GetSystemDEPPolicy");
  DWORD policy = get ? get() : 4;
  return policy < 4 ? words[policy] : "unknown on this system";
}

/* The full path of the dry run's PROGRAM (the kit's own when NULL) in path (MAX_PATH); false,
   with the reason printed, when no program lies there. Checked before anything is made. */
static int DryRunProgram(const char* program, char* path) {
  DWORD attributes;
  if (program == NULL) Join(path, kit, "telmar-setup.exe", NULL);
  else if (!GetFullPathNameA(program, MAX_PATH, path, NULL)) lstrcpynA(path, program, MAX_PATH);
  attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    printf("telmar-check /dry-run: no program at %s\n", path);
    return 0;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    printf("telmar-check /dry-run: %s is a folder, not a program\n", path);
    return 0;
  }
  return 1;
}

/* The program as it is installed (at PATH), with its data folder in the scratch folder. */
static int DryRun(const char* path) {
  struct Run run;
  char file[MAX_PATH];
  DWORD started;
  if (!Prepare(&run, "dry-run")) return 2;
  GetCurrentDirectoryA(MAX_PATH, run.cwd);
  printf("dry run of %s, started from %s\n", path, run.cwd);
  printf("ALLUSERSPROFILE=%s (the workstation's own data folder is not touched)\n", run.profile);
  printf("TELMAR_SETUP_LOG=%s\n", run.trace);
  printf("data-execution prevention: %s\n", DepPolicy());
  fflush(stdout);
  started = GetTickCount();
  Start(&run, path, NULL, DRY_RUN_MS);
  if (run.startError != 0) {
    printf("the program did not start: error %lu\n", run.startError);
  } else if (!run.ended) {
    printf("the program did not end by itself within %u s (a dialog?): ended by the checker\n",
           DRY_RUN_MS / 1000);
  } else {
    printf("the program ended by itself after %.1f s, exit status 0x%08lX%s\n",
           (GetTickCount() - started) / 1000.0, run.status,
           run.status == 0xC0000005 ? ": an access violation; under data-execution prevention, "
           "a library that runs code from data memory ends so (the trace stops before that call)"
           : "");
  }
  Join(file, run.data, "telmar.old", NULL);
  Show("telmar.old as the program would write it", file);
  Show("the program's trace", run.trace);
  printf("=== the files stay in %s\n", scratch);
  free(run.traceText);
  return run.ended && run.startError == 0 && run.status == 0 ? 0 : 1;
}

/* The system folder where an administrator finds its files: under WOW64 the system sends a
   32-bit program's every access to system32 to SysWOW64, where they lie. */
static void SystemFolder(char* out) {
  typedef BOOL(WINAPI * IsWow64)(HANDLE, PBOOL);
  typedef UINT(WINAPI * Wow64Folder)(LPSTR, UINT);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  IsWow64 isWow64 = (IsWow64)(void (*)(void))GetProcAddress(kernel, "IsWow64Process");
  Wow64Folder wow64Folder =
      (Wow64Folder)(void (*)(void))GetProcAddress(kernel, "GetSystemWow64DirectoryA");
  BOOL wow64 = FALSE;
  UINT length;
  if (isWow64 != NULL && wow64Folder != NULL && isWow64(GetCurrentProcess(), &wow64) && wow64) {
    length = wow64Folder(out, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return;
  }
  GetSystemDirectoryA(out, MAX_PATH);
}

/* A qlpinw32.dll that a search from an empty folder reaches: the system folders, the Windows
   folder and the PATH; out stays empty when there is none. */
static void FindInstalledLibrary(char* out) {
  char system[MAX_PATH], windows[MAX_PATH];
  DWORD room;
  char* folders;
  SystemFolder(system);
  GetWindowsDirectoryA(windows, MAX_PATH);
  room = 4 * MAX_PATH + GetEnvironmentVariableA("PATH", NULL, 0);
  folders = malloc(room);
  if (folders == NULL) return;
  snprintf(folders, room, "%s;%s\\System;%s;", system, windows, windows);
  GetEnvironmentVariableA("PATH", folders + strlen(folders), room - (DWORD)strlen(folders));
  if (SearchPathA(folders, "qlpinw32.dll", NULL, MAX_PATH, out, NULL) >= MAX_PATH) out[0] = '\0';
  free(folders);
}

/* The scratch folder: a new folder below %TEMP%, in long form. */
static int MakeScratch(void) {
  char temp[MAX_PATH], longTemp[MAX_PATH];
  unsigned attempt;
  if (!GetTempPathA(MAX_PATH, temp)) return 0;
  if (!GetLongPathNameA(temp, longTemp, MAX_PATH)) lstrcpynA(longTemp, temp, MAX_PATH);
  for (attempt = 0; attempt < 100; ++attempt) {
    if (snprintf(scratch, MAX_PATH, "%stelmar-check-%lu-%u\\", longTemp, GetCurrentProcessId(),
                 attempt) >= MAX_PATH) {
      return 0;
    }
    if (CreateDirectoryA(scratch, NULL)) return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  typedef const char*(CDECL * WineVersion)(void);
  WineVersion wine = (WineVersion)(void (*)(void))GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                                 "wine_get_version");
  OSVERSIONINFOA version;
  char program[MAX_PATH];
  char* slash;
  int dryRun = argc >= 2 && lstrcmpiA(argv[1], "/dry-run") == 0;
  if ((argc >= 2 && !dryRun) || argc > 3) {
    printf("usage: telmar-check             the self-check, with the kit's stand-ins\n"
           "       telmar-check /dry-run [PROGRAM]\n"
           "                                PROGRAM (the kit's telmar-setup.exe by default) as\n"
           "                                installed, its data folder in a scratch folder\n");
    return 2;
  }
  GetModuleFileNameA(NULL, kit, MAX_PATH);
  GetEnvironmentVariableA("ALLUSERSPROFILE", allUsers, MAX_PATH);
  slash = strrchr(kit, '\\');
  if (slash != NULL) slash[1] = '\0';
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  majorVersion = version.dwMajorVersion;
  wineVersion = wine ? wine() : NULL;
  printf("telmar-check %s on Windows %lu.%lu (build %lu) %s%s%s\n", TELMAR_CHECK_VERSION,
         version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber,
         version.szCSDVersion, wineVersion ? ", under Wine " : "", wineVersion ? wineVersion : "");
  if (dryRun && !DryRunProgram(argc == 3 ? argv[2] : NULL, program)) return 2;
  if (!MakeScratch()) {
    printf("no scratch folder could be made below %%TEMP%%\n");
    return 2;
  }
  if (dryRun) return DryRun(program);

  printf("kit: %s\nscratch folder: %s\n"
         "A window or dialog that appears during these checks means FAIL.\n", kit, scratch);
  fflush(stdout);
  FindInstalledLibrary(installedLibrary);
  CheckSystem();
  CheckWorkedExample("worked-example", "stand-in\\qlpinw32.dll");
  CheckWorkedExample("cdecl", "stand-in\\cdecl\\qlpinw32.dll");
  CheckCurrentFolder();
  CheckRefused("helper-missing", "doubles\\with-helper\\qlpinw32.dll",
               "error 126 (module not found)", ", so a library it needs is missing", 0);
  CheckRefused("other-architecture", "doubles\\other-arch\\qlpinw32.dll",
               "error 193 (not a valid 32-bit image)", "", 1);
  CheckElevation();
  CheckSecurityKept();
  CheckPortInUse();
  CheckOpenDataFolder();
  CheckEventLog();
  printf("%d PASS, %d FAIL, %d NOT SHOWN HERE\n", counts[PASS], counts[FAIL], counts[NOT_SHOWN]);
  if (counts[FAIL] == 0) {
    RemoveTree(scratch);
  } else {
    printf("the runs' files stay in %s\n", scratch);
  }
  return counts[FAIL] == 0 ? 0 : 1;
}
