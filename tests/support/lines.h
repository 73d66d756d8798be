// The one line splitter of the tests; header-only, so that the fuzzers can use it too.
#ifndef TELMAR_TESTS_SUPPORT_LINES_H
#define TELMAR_TESTS_SUPPORT_LINES_H

#include <string>
#include <vector>

namespace testing_support {

// The lines of `text`, each ended by `end` ("\r\n" or "\n"), without it; a last line without
// its end counts too. An empty text has no line.
inline std::vector<std::string> SplitLines(const std::string& text,
                                           const std::string& end = "\r\n") {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    lines.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return lines;
}

}  // namespace testing_support

#endif
