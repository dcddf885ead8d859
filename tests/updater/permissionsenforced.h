#pragma once

// Makes file permissions bind the calling thread even when it runs as root, by
// dropping the capabilities that override them (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH,
// CAP_FOWNER) from the thread's effective set; restores them when destroyed. Tests of
// folders that cannot be written use it so they test the same thing as root and as
// an ordinary user.
class PermissionsEnforced {
public:
    PermissionsEnforced();
    ~PermissionsEnforced();
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

    // Whether permissions now bind this thread (always for a non-root user).
    bool active() const { return m_active; }

private:
    bool m_active = false;
    bool m_changed = false;
    unsigned m_savedEffective[2] = {0, 0};
};
