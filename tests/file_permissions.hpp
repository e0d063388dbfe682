// For tests of files the program may not read or write: while it lives, the
// test process obeys file permissions even when it runs as root (it puts
// CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH out of effect, and back after).
#pragma once
#include <sys/capability.h>

namespace qb7::test {

class ObeyFilePermissions {
 public:
  ObeyFilePermissions() { Set(CAP_CLEAR); }
  ~ObeyFilePermissions() { Set(CAP_SET); }
  ObeyFilePermissions(const ObeyFilePermissions&) = delete;
  ObeyFilePermissions& operator=(const ObeyFilePermissions&) = delete;

 private:
  static void Set(cap_flag_value_t value) {
    cap_t caps = cap_get_proc();
    if (!caps) return;
    cap_flag_value_t permitted = CAP_CLEAR;
    cap_get_flag(caps, CAP_DAC_OVERRIDE, CAP_PERMITTED, &permitted);
    if (permitted == CAP_SET) {
      const cap_value_t list[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH};
      cap_set_flag(caps, CAP_EFFECTIVE, 2, list, value);
      cap_set_proc(caps);
    }
    cap_free(caps);
  }
};

}  // namespace qb7::test
