#pragma once

#include <QString>

// "Tell application … to quit": asks every process of an application bundle to end.
class ApplicationQuitter {
public:
    // Sends SIGTERM to every process named after the executable of the application
    // bundle at `appPath` (CFBundleExecutable of its Info.plist). Does not wait.
    // Returns how many processes were signalled; 0 also when the bundle has no
    // executable name, and never signals this process itself.
    static int quit(const QString& appPath);
};
