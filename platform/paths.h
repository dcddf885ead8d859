#pragma once

#include <QString>

// Where the fixed places of the original desktop live here. Absolute paths are
// resolved under OVPIKTO_ROOT (default "/"), "~" under $HOME, the user's temporary
// folder is $TMPDIR (default "/tmp/").
class Paths {
public:
    // The root folder, always ending in "/".
    static QString root();
    // $HOME without a trailing slash.
    static QString home();
    // The temporary folder, always ending in "/".
    static QString tempDir();
    // Maps a path as the system names it to the path used here: "~/x" goes under the
    // home folder, "/x" under the root; "/usr/bin/unzip" and relative paths stay as they are.
    static QString resolve(const QString& path);
};
