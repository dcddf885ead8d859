#include "permissionsenforced.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool getCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool setCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}

constexpr unsigned overrides =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

} // namespace

PermissionsEnforced::PermissionsEnforced() {
    __user_cap_data_struct data[2] = {};
    if (!getCaps(data))
        return;
    if ((data[0].effective & overrides) == 0) {
        m_active = true;
        return;
    }
    m_savedEffective[0] = data[0].effective;
    m_savedEffective[1] = data[1].effective;
    data[0].effective &= ~overrides;
    if (!setCaps(data))
        return;
    m_changed = true;
    m_active = true;
}

PermissionsEnforced::~PermissionsEnforced() {
    if (!m_changed)
        return;
    __user_cap_data_struct data[2] = {};
    if (!getCaps(data))
        return;
    data[0].effective = m_savedEffective[0];
    data[1].effective = m_savedEffective[1];
    setCaps(data);
}
