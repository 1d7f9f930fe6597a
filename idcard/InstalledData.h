#pragma once

// The data installed with periphd (the card face templates, the font
// aliases) sits in <datadir>/periphd, found beside the program as
// <applicationDirPath>/../share/periphd. The build tree stages the same
// layout (build/share/periphd beside build/app/periphd), so a periphd run
// from either finds it the same way.

#include <QString>

namespace idcard {

// The path of name in the installed data folder of the program in
// applicationDir (default: this program's).
QString installedDataFile(const QString& name, const QString& applicationDir = QString());

// "./<name>" when the working directory has it, else the installed
// template when there is one, else "./<name>" (which then gives the empty
// face of a missing template).
QString faceTemplatePath(const QString& name, const QString& applicationDir = QString());

} // namespace idcard
