// The C runtime's decimal conversion, as the program reads every number from text.
#ifndef TELMAR_PLATFORM_DECIMAL_H
#define TELMAR_PLATFORM_DECIMAL_H

#include <cstdint>

namespace platform {

// Leading white space is skipped, an optional sign taken, then digits up to the first
// other character; text without leading digits gives 0. Digits beyond 32 bits wrap
// around instead of overflowing, which keeps the low 8 and 16 bits that callers retain.
int32_t DecimalNumber(const char* text);

}  // namespace platform

#endif
