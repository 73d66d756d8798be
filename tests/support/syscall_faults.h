// Runs a piece of code in a child process in which chosen system calls fail with a chosen
// error (a seccomp filter), as a full disk, a failing device or a busy mount would make
// them fail, so that what the code leaves on disk can be checked afterwards.
#ifndef TELMAR_TESTS_SUPPORT_SYSCALL_FAULTS_H
#define TELMAR_TESTS_SUPPORT_SYSCALL_FAULTS_H

#include <functional>
#include <vector>

namespace testing_support {

struct SyscallFault {
  long number;  // a __NR_ constant
  int error;    // the errno it returns instead of running
  long count;   // only when its third argument (a byte count) is this; -1: always
};

// The result of `body`, run in a child process under `faults`; false when the child
// did not end normally.
bool RunWithFaults(const std::vector<SyscallFault>& faults, const std::function<bool()>& body);

}  // namespace testing_support

#endif
