#pragma once

// How the front face lays out the birth date and the address.

#include <QString>
#include <QStringList>

namespace idcard {

struct BirthDateParts {
    QString year, month, day; // month and day without a leading zero
};

// "19900105" -> 1990, 1, 5; "19901231" -> 1990, 12, 31.
BirthDateParts splitBirthDate(const QString& birthday);

// Lines of 11 characters: up to 11 is one line, 12 to 22 two, longer
// three, the third holding all the rest. Characters, not UTF-16 units, so
// a character outside the BMP is never torn across two lines.
QStringList addressLines(const QString& address);

} // namespace idcard
