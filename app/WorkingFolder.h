#pragma once

#include <QString>

// The per-user folder for the files periphd writes relative to its working
// directory (card images, log.txt): $XDG_STATE_HOME/periphd, by default
// ~/.local/state/periphd. Those files hold personal data, so the folder is
// the user's alone (mode 0700).
QString userFolderPath();

// Creates the per-user folder if need be (missing parents with mode 0700, as
// XDG asks), makes sure it is a directory of this user with mode 0700, and
// makes it the current directory. On failure it logs why and returns false.
//
// log.txt only ever grows (an idle pad being read adds a line every 300 ms),
// so a log over kLogLimitBytes is moved to log.txt.1 here, replacing the one
// before: the folder holds at most about two limits of log.
bool enterUserFolder();

constexpr qint64 kLogLimitBytes = 16 * 1024 * 1024;
