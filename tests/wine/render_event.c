/* Renders an event from a program's message table, in English, as Event Viewer would show it:
     render_event PROGRAM ID INSERTS
   ID in hexadecimal, INSERTS a file of the insert strings one a line, as Wine's debug channel
   prints them (\\, \r, \n, \t and \" escaped). Prints the text; exit status 1 when there is none. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Undoes the escapes of Wine's debug strings, in place. */
static void Unescape(char* text) {
  char* out = text;
  for (; *text != '\0'; ++text) {
    if (*text == '\\' && text[1] != '\0') {
      ++text;
      *out++ = *text == 'r' ? '\r' : *text == 'n' ? '\n' : *text == 't' ? '\t' : *text;
    } else {
      *out++ = *text;
    }
  }
  *out = '\0';
}

int main(int argc, char** argv) {
  static char lines[16][2048];
  const char* inserts[16];
  int count = 0;
  char* text = NULL;
  HMODULE program;
  FILE* file;
  if (argc != 4) return 2;
  program = LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
  file = fopen(argv[3], "r");
  if (program == NULL || file == NULL) return 2;
  while (count < 16 && fgets(lines[count], sizeof lines[count], file) != NULL) {
    lines[count][strcspn(lines[count], "\r\n")] = '\0';
    Unescape(lines[count]);
    inserts[count] = lines[count];
    ++count;
  }
  fclose(file);
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                          FORMAT_MESSAGE_ARGUMENT_ARRAY,
                      program, strtoul(argv[2], NULL, 16), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                      (LPSTR)&text, 0, (va_list*)inserts)) {
    printf("no message 0x%s: error %lu\n", argv[2], GetLastError());
    return 1;
  }
  printf("%s\n", text);
  LocalFree(text);
  return 0;
}
