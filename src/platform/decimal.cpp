#include "platform/decimal.h"

namespace platform {

int32_t DecimalNumber(const char* text) {
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\v' || *text == '\f' ||
         *text == '\r') {
    ++text;
  }
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + uint32_t(*text - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace platform
