// Takes away root's power to read past permissions, so that a test running as root (as CI
// does) meets an unreadable folder as a user would.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tvk::test {

// Drops CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH from the effective set of the calling thread
// while it lives (capabilities are per thread). `dropped` is false when there was nothing to
// drop (not root) or the kernel refused.
struct WithoutDacOverride {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
    bool dropped = false;
    WithoutDacOverride() {
        if (geteuid() != 0 || syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped = syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutDacOverride() {
        if (dropped)
            syscall(SYS_capset, &header, saved);
    }
    WithoutDacOverride(const WithoutDacOverride&) = delete;
    WithoutDacOverride& operator=(const WithoutDacOverride&) = delete;
};

} // namespace tvk::test
