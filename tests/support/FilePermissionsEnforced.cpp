#include "support/FilePermissionsEnforced.h"

#include <initializer_list>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

__user_cap_header_struct header()
{
    return {_LINUX_CAPABILITY_VERSION_3, 0};
}

} // namespace

FilePermissionsEnforced::FilePermissionsEnforced()
{
    __user_cap_header_struct capHeader = header();
    if (::syscall(SYS_capget, &capHeader, m_saved) != 0)
        return;
    __user_cap_data_struct reduced[_LINUX_CAPABILITY_U32S_3];
    for (int i = 0; i < _LINUX_CAPABILITY_U32S_3; ++i)
        reduced[i] = m_saved[i];
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
        reduced[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
    m_changed = ::syscall(SYS_capset, &capHeader, reduced) == 0;
}

FilePermissionsEnforced::~FilePermissionsEnforced()
{
    if (!m_changed)
        return;
    __user_cap_header_struct capHeader = header();
    ::syscall(SYS_capset, &capHeader, m_saved);
}
