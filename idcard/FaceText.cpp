#include "FaceText.h"

#include <QVector>

namespace idcard {

BirthDateParts splitBirthDate(const QString& b)
{
    BirthDateParts parts;
    parts.year = b.left(4);
    parts.month = (b.size() > 4 && b.at(4) == QLatin1Char('0')) ? b.mid(5, 1) : b.mid(4, 2);
    parts.day = (b.size() >= 7 && b.at(6) == QLatin1Char('0')) ? b.mid(7, 1) : b.mid(6, 2);
    return parts;
}

QStringList addressLines(const QString& address)
{
    constexpr int perLine = 11;
    const QVector<uint> chars = address.toUcs4();
    const auto piece = [&](int from, int count) {
        const QVector<uint> part = chars.mid(from, count);
        return QString::fromUcs4(part.constData(), part.size());
    };
    QStringList lines{piece(0, perLine)};
    if (chars.size() > perLine)
        lines << piece(perLine, perLine);
    if (chars.size() > 2 * perLine)
        lines << piece(2 * perLine, -1);
    return lines;
}

} // namespace idcard
