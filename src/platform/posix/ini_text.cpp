#include "platform/posix/ini_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace posix {

namespace {

enum LineKind { kBlankLine, kCommentLine, kSectionLine, kKeyLine, kOtherLine };

// One line of the file, as offsets into its content. [begin, contentEnd) is the text,
// [contentEnd, end) the line end: LF, CR LF, or nothing on a last line without one.
// For a section line [nameBegin, nameEnd) is the section name; for a key line it is the
// key and [valueBegin, valueEnd) the value, both without surrounding blanks.
struct Line {
  size_t begin;
  size_t contentEnd;
  size_t end;
  LineKind kind;
  size_t nameBegin;
  size_t nameEnd;
  size_t valueBegin;
  size_t valueEnd;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The lower-case form of a Windows-1252 letter: A-Z, the accented capitals 0xC0-0xDE
// but the multiplication sign 0xD7, and the four capitals of 0x80-0x9F.
unsigned char FoldCase(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7)) {
    return static_cast<unsigned char>(byte + 0x20);
  }
  if (byte == 0x8A || byte == 0x8C || byte == 0x8E) return static_cast<unsigned char>(byte + 0x10);
  return byte == 0x9F ? 0xFF : byte;
}

void Trim(const std::string& text, size_t* begin, size_t* end) {
  while (*begin < *end && IsBlank(text[*begin])) ++*begin;
  while (*end > *begin && IsBlank(text[*end - 1])) --*end;
}

std::string Trimmed(const char* text) {
  const std::string whole(text);
  size_t begin = 0;
  size_t end = whole.size();
  Trim(whole, &begin, &end);
  return whole.substr(begin, end - begin);
}

// Whether the name of `line` is `name` (already trimmed), letter case ignored.
bool SameName(const std::string& content, const Line& line, const std::string& name) {
  if (line.nameEnd - line.nameBegin != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (FoldCase(content[line.nameBegin + i]) != FoldCase(name[i])) return false;
  }
  return true;
}

void Classify(const std::string& content, Line* line) {
  size_t begin = line->begin;
  size_t end = line->contentEnd;
  Trim(content, &begin, &end);
  line->nameBegin = line->nameEnd = line->valueBegin = line->valueEnd = begin;
  if (begin == end) {
    line->kind = kBlankLine;
  } else if (content[begin] == ';') {
    line->kind = kCommentLine;
  } else if (content[begin] == '[') {
    line->kind = kSectionLine;
    size_t close = end;
    for (size_t i = end; i > begin + 1; --i) {
      if (content[i - 1] == ']') {
        close = i - 1;
        break;
      }
    }
    line->nameBegin = begin + 1;
    line->nameEnd = close;
    Trim(content, &line->nameBegin, &line->nameEnd);
  } else {
    const void* equals = std::memchr(content.data() + begin, '=', end - begin);
    if (equals == nullptr) {
      line->kind = kOtherLine;
      return;
    }
    size_t at = static_cast<const char*>(equals) - content.data();
    line->kind = kKeyLine;
    line->nameBegin = begin;
    line->nameEnd = at;
    Trim(content, &line->nameBegin, &line->nameEnd);
    line->valueBegin = at + 1;
    line->valueEnd = end;
    Trim(content, &line->valueBegin, &line->valueEnd);
  }
}

// The content with [from, to) replaced by `text`, which starts at a line start. A last
// line without line end gets CR LF before what follows it, and a lone CR gets an LF when
// the next byte is an LF that would otherwise join it into one CR LF line end.
std::string Splice(const std::string& content, size_t from, size_t to, const std::string& text) {
  std::string rest = text + content.substr(to);
  const char* glue = "";
  if (from > 0 && !rest.empty()) {
    const char last = content[from - 1];
    if (last != '\n' && last != '\r') glue = "\r\n";
    if (last == '\r' && rest[0] == '\n') glue = "\n";
  }
  return content.substr(0, from) + glue + rest;
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    Line line;
    line.begin = begin;
    line.contentEnd = std::min(content.find_first_of("\r\n", begin), content.size());
    const bool crLf = content.compare(line.contentEnd, 2, "\r\n") == 0;
    line.end = std::min(line.contentEnd + (crLf ? 2 : 1), content.size());
    Classify(content, &line);
    lines.push_back(line);
    begin = line.end;
  }
  return lines;
}

// The lines of a text and where a section and its key lie among them: the section's
// header and the first line after its body, and the key's line (none: lines.size()).
struct Place {
  std::vector<Line> lines;
  size_t header;
  size_t bodyEnd;
  size_t keyLine;
  bool SectionFound() const { return header < lines.size(); }
  bool KeyFound() const { return keyLine < lines.size(); }
};

// A null key is never found.
Place Locate(const std::string& content, const char* section, const char* key) {
  Place at;
  at.lines = SplitLines(content);
  const std::vector<Line>& lines = at.lines;
  const std::string sectionName = Trimmed(section);
  for (at.header = 0; at.header < lines.size(); ++at.header) {
    const Line& line = lines[at.header];
    if (line.kind == kSectionLine && SameName(content, line, sectionName)) break;
  }
  at.bodyEnd = std::min(at.header + 1, lines.size());
  while (at.bodyEnd < lines.size() && lines[at.bodyEnd].kind != kSectionLine) ++at.bodyEnd;
  at.keyLine = lines.size();
  if (!at.SectionFound() || key == nullptr) return at;
  const std::string keyName = Trimmed(key);
  for (size_t i = at.header + 1; i < at.bodyEnd && at.keyLine == lines.size(); ++i) {
    if (lines[i].kind == kKeyLine && SameName(content, lines[i], keyName)) at.keyLine = i;
  }
  return at;
}

}  // namespace

bool FindIniValue(const std::string& content, const char* section, const char* key,
                  std::string* value) {
  const Place at = Locate(content, section, key);
  if (!at.KeyFound()) return false;
  size_t begin = at.lines[at.keyLine].valueBegin;
  size_t end = at.lines[at.keyLine].valueEnd;
  if (end - begin >= 2 && (content[begin] == '"' || content[begin] == '\'') &&
      content[end - 1] == content[begin]) {
    ++begin;
    --end;
  }
  value->assign(content, begin, std::min(end, content.find('\0', begin)) - begin);
  return true;
}

std::string SetIniValue(const std::string& content, const char* section, const char* key,
                        const char* value) {
  const Place at = Locate(content, section, key);
  const std::vector<Line>& lines = at.lines;
  if (key == nullptr) {
    if (!at.SectionFound()) return content;
    const size_t to = at.bodyEnd < lines.size() ? lines[at.bodyEnd].begin : content.size();
    return Splice(content, lines[at.header].begin, to, "");
  }
  const std::string entry = value == nullptr ? "" : Trimmed(key) + "=" + value + "\r\n";
  if (at.KeyFound()) return Splice(content, lines[at.keyLine].begin, lines[at.keyLine].end, entry);
  if (value == nullptr) return content;
  if (!at.SectionFound()) {
    return Splice(content, content.size(), content.size(),
                  "[" + Trimmed(section) + "]\r\n" + entry);
  }
  size_t last = at.header;
  for (size_t i = at.header + 1; i < at.bodyEnd; ++i) {
    if (lines[i].kind != kBlankLine) last = i;
  }
  return Splice(content, lines[last].end, lines[last].end, entry);
}

}  // namespace posix
}  // namespace platform
