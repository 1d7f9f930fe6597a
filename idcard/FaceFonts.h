#pragma once

// The card faces are drawn in SimHei, 宋体 and Tahoma, fonts a Debian
// desktop does not have. The alias file installed with periphd maps them
// to Debian's Noto Sans CJK SC (SimHei, Tahoma) and Noto Serif CJK SC
// (宋体), so the faces never depend on whatever Qt would pick in their place.

#include <QString>

namespace idcard {

// Adds the aliases of aliasFile (default: the installed "fonts.conf") to
// the process's fontconfig configuration. Call it before anything draws
// text. Logs and returns false when the file is missing or does not parse.
bool loadFaceFontAliases(const QString& aliasFile = QString());

} // namespace idcard
