#pragma once

#include <QByteArray>
#include <QString>

// Writes `bytes` to `path` so that a reader sees either the old file or the
// whole new one, never half a file, and so that whatever is planted at `path`
// (a symbolic link in a world-writable folder, say) is replaced rather than
// followed: the bytes go to a fresh file created exclusively in the same
// folder, which is then renamed over the name. Returns false, leaving the
// name untouched, if any step fails.
bool writeFileAtomically(const QString& path, const QByteArray& bytes);
