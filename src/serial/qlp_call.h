// Calls into the protocol library that do not depend on its calling convention.
//
// On 32-bit x86 the maker's library may have been built with __stdcall entry points (the
// callee pops its arguments) or with __cdecl ones (the caller pops them); nothing says
// which. A direct call through a pointer of the wrong convention leaves the stack pointer
// off by the size of the arguments: whether the caller survives that depends on how the
// compiler happened to lay out the calling function (a frame pointer, no tail call), which
// no optimisation setting promises. Both conventions lay the arguments out the same way
// on the stack, though: in order from the lowest address, each in 4-byte slots, 8- and
// 16-bit values widened to a slot, a record by value in as many slots as its size rounded
// up (the 6-byte SerialFraming takes two). They differ only in who pops them. So on 32-bit
// x86 QlpCall lays the arguments out as 32-bit words and hands them to QlpCallWords, which
// keeps its own stack pointer in a register that both conventions preserve and restores it
// after the call, whatever the callee popped.
//
// Elsewhere there is one convention and QlpCall is a direct call.
#ifndef TELMAR_SERIAL_QLP_CALL_H
#define TELMAR_SERIAL_QLP_CALL_H

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "serial/qlp_entry_points.h"

#if defined(__i386__)
// Pushes words[count - 1] down to words[0], calls `entry` and returns its eax, with the
// stack pointer as it was before the call (qlp_call_i686.S).
extern "C" __attribute__((cdecl)) uint32_t QlpCallWords(void (*entry)(), const uint32_t* words,
                                                        uint32_t count);
#endif

namespace qlp_call {

// Keeps a parameter's type out of template deduction: the arguments are converted to the
// entry point's own parameter types, as a direct call would.
template <typename T>
struct Declared {
  typedef T type;
};

// The 4-byte stack slots a value of type T takes.
template <typename T>
constexpr uint32_t Slots() {
  return (sizeof(T) + 3) / 4;
}

// Copies `value` into the (zeroed) words from words[*used] on: an unsigned number is
// thereby widened with zeros, a record padded with zeros; advances *used past its slots.
template <typename T>
void Put(uint32_t* words, uint32_t* used, const T& value) {
  static_assert(std::is_trivially_copyable<T>::value && !std::is_floating_point<T>::value &&
                    !std::is_signed<T>::value,
                "entry points take unsigned numbers, pointers and plain records");
  std::memcpy(words + *used, &value, sizeof value);
  *used += Slots<T>();
}

}  // namespace qlp_call

// entry(args...), whichever convention the library uses on 32-bit x86.
template <typename... Params>
uint16_t QlpCall(uint16_t(QLP_CALL* entry)(Params...),
                 typename qlp_call::Declared<Params>::type... args) {
#if defined(__i386__)
  uint32_t words[(0 + ... + qlp_call::Slots<Params>()) + 1] = {};
  uint32_t used = 0;
  (qlp_call::Put<Params>(words, &used, args), ...);
  // The entry point returns a 16-bit status in ax; the upper half of eax is undefined.
  return static_cast<uint16_t>(QlpCallWords(reinterpret_cast<void (*)()>(entry), words, used));
#else
  return entry(args...);
#endif
}

#endif
