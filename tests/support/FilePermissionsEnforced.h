#pragma once

#include <linux/capability.h>

// Makes this thread, and every thread it starts from now on, obey file permissions as
// an ordinary user does, also where the tests run as root (root reads a file of mode
// 000 otherwise). The sequence starts its threads when it runs, so a run inside the
// scope meets unreadable files as a user would. Restored on destruction.
class FilePermissionsEnforced
{
public:
    FilePermissionsEnforced();
    ~FilePermissionsEnforced();
    FilePermissionsEnforced(const FilePermissionsEnforced&) = delete;
    FilePermissionsEnforced& operator=(const FilePermissionsEnforced&) = delete;

private:
    __user_cap_data_struct m_saved[_LINUX_CAPABILITY_U32S_3] = {};
    bool m_changed = false;
};
