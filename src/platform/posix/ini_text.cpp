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

void TrimArgument(const char* text, size_t* begin, size_t* end) {
  *begin = 0;
  *end = std::strlen(text);
  while (*begin < *end && IsBlank(text[*begin])) ++*begin;
  while (*end > *begin && IsBlank(text[*end - 1])) --*end;
}

// Whether content[begin, end) names the same thing as `name` (blanks around the name
// ignored, letter case ignored).
bool SameName(const std::string& content, size_t begin, size_t end, const char* name) {
  size_t nameBegin;
  size_t nameEnd;
  TrimArgument(name, &nameBegin, &nameEnd);
  if (end - begin != nameEnd - nameBegin) return false;
  for (size_t i = 0; i < end - begin; ++i) {
    if (FoldCase(content[begin + i]) != FoldCase(name[nameBegin + i])) return false;
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

// Where a section lies among the lines: its header, and the first line after its body.
struct SectionSpan {
  bool found;
  size_t header;
  size_t bodyEnd;
};

SectionSpan FindSection(const std::string& content, const std::vector<Line>& lines,
                        const char* section) {
  SectionSpan span = {false, 0, 0};
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == kSectionLine &&
        SameName(content, lines[i].nameBegin, lines[i].nameEnd, section)) {
      span.found = true;
      span.header = i;
      span.bodyEnd = i + 1;
      while (span.bodyEnd < lines.size() && lines[span.bodyEnd].kind != kSectionLine) {
        ++span.bodyEnd;
      }
      return span;
    }
  }
  return span;
}

// Index of the key's line in the section, or lines.size() when it has none.
size_t FindKey(const std::string& content, const std::vector<Line>& lines,
               const SectionSpan& span, const char* key) {
  for (size_t i = span.header + 1; i < span.bodyEnd; ++i) {
    if (lines[i].kind == kKeyLine && SameName(content, lines[i].nameBegin, lines[i].nameEnd, key)) {
      return i;
    }
  }
  return lines.size();
}

std::string TrimmedCopy(const char* text) {
  size_t begin;
  size_t end;
  TrimArgument(text, &begin, &end);
  return std::string(text + begin, end - begin);
}

}  // namespace

bool FindIniValue(const std::string& content, const char* section, const char* key,
                  std::string* value) {
  const std::vector<Line> lines = SplitLines(content);
  const SectionSpan span = FindSection(content, lines, section);
  const size_t keyLine = span.found ? FindKey(content, lines, span, key) : lines.size();
  if (keyLine == lines.size()) return false;
  size_t begin = lines[keyLine].valueBegin;
  size_t end = lines[keyLine].valueEnd;
  if (end - begin >= 2 && (content[begin] == '"' || content[begin] == '\'') &&
      content[end - 1] == content[begin]) {
    ++begin;
    --end;
  }
  const size_t nul = content.find('\0', begin);
  value->assign(content, begin, std::min(end, nul) - begin);
  return true;
}

std::string SetIniValue(const std::string& content, const char* section, const char* key,
                        const char* value) {
  std::vector<Line> lines = SplitLines(content);
  SectionSpan span = FindSection(content, lines, section);
  if (key == nullptr) {
    if (!span.found) return content;
    size_t from = lines[span.header].begin;
    size_t to = span.bodyEnd < lines.size() ? lines[span.bodyEnd].begin : content.size();
    return Splice(content, from, to, "");
  }
  size_t keyLine = span.found ? FindKey(content, lines, span, key) : lines.size();
  if (value == nullptr) {
    if (keyLine == lines.size()) return content;
    return Splice(content, lines[keyLine].begin, lines[keyLine].end, "");
  }
  std::string entry = TrimmedCopy(key) + "=" + value + "\r\n";
  if (keyLine != lines.size()) {
    return Splice(content, lines[keyLine].begin, lines[keyLine].end, entry);
  }
  if (span.found) {
    size_t last = span.header;
    for (size_t i = span.header + 1; i < span.bodyEnd; ++i) {
      if (lines[i].kind != kBlankLine) last = i;
    }
    return Splice(content, lines[last].end, lines[last].end, entry);
  }
  return Splice(content, content.size(), content.size(),
                "[" + TrimmedCopy(section) + "]\r\n" + entry);
}

}  // namespace posix
}  // namespace platform
