// The text of an initialisation file, as the Windows profile-string calls see it, with no
// file involved. The text is taken as bytes (Windows-1252, any byte kept); a line ends at LF,
// CR LF or a lone CR. A line whose first non-blank character is ';' is a comment, one that
// starts with '[' opens a section (its name runs to the last ']' of the line), any other
// line with '=' is a key. Names are compared without regard to the case of Windows-1252
// letters, blanks (space, tab) around names and values are ignored, the first section and
// the first key of a name win.
#ifndef TELMAR_PLATFORM_POSIX_INI_TEXT_H
#define TELMAR_PLATFORM_POSIX_INI_TEXT_H

#include <string>

namespace platform {
namespace posix {

// The value of `key` in `section`: without the blanks around it, without matching quotes
// (double or single), and up to its first NUL byte. False when the key is absent.
bool FindIniValue(const std::string& content, const char* section, const char* key,
                  std::string* value);

// `content` with `key` of `section` set to `value`, every byte the change does not touch
// kept: a key that exists has its line replaced, a missing key goes right after the last
// non-empty line of its section, a missing section goes at the end ("[section]" then the
// key, no blank line before it); every line written ends in CR LF. A null value removes
// the key, a null key the whole section.
std::string SetIniValue(const std::string& content, const char* section, const char* key,
                        const char* value);

}  // namespace posix
}  // namespace platform

#endif
