#pragma once

#include <QByteArray>
#include <QString>

// Writes `bytes` to `path` so that a reader sees either the old file or the
// whole new one, never half a file, and so that whatever is planted at `path`
// (a symbolic link in a world-writable folder, say) is replaced rather than
// followed: the bytes go to a fresh file created exclusively in the same
// folder, which is then renamed over the name. Returns false, leaving the
// name untouched, if any step fails.
// `mode` is the new file's permission bits: 0644 for files other tools read,
// 0600 for what only this user may see (a customer's photo).
bool writeFileAtomically(const QString& path, const QByteArray& bytes, unsigned mode = 0644);
