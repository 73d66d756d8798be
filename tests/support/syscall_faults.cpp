#include "support/syscall_faults.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

namespace {

sock_filter Statement(unsigned short code, unsigned k) { return BPF_STMT(code, k); }
sock_filter Jump(unsigned short code, unsigned k, unsigned char yes, unsigned char no) {
  return BPF_JUMP(code, k, yes, no);
}

// Each fault: load the number, skip the rest of the fault when it differs, check the
// count when one is given, return the error.
std::vector<sock_filter> Program(const std::vector<SyscallFault>& faults) {
  std::vector<sock_filter> program = {
      Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      Jump(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  for (const SyscallFault& fault : faults) {
    const bool counted = fault.count >= 0;
    program.push_back(Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    program.push_back(Jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(fault.number), 0,
                           counted ? 3 : 1));
    if (counted) {
      program.push_back(Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])));
      program.push_back(Jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(fault.count), 0, 1));
    }
    program.push_back(Statement(BPF_RET | BPF_K,
                                SECCOMP_RET_ERRNO | (static_cast<unsigned>(fault.error) & 0xFFFF)));
  }
  program.push_back(Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  return program;
}

}  // namespace

bool RunWithFaults(const std::vector<SyscallFault>& faults, const std::function<bool()>& body) {
  std::vector<sock_filter> program = Program(faults);
  const pid_t child = fork();
  if (child == 0) {
    sock_fprog filter = {static_cast<unsigned short>(program.size()), program.data()};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
      _exit(2);
    }
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace testing_support
