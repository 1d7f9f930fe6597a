// Seeds for analysis_id_fuzz: the three card types with encoded portraits,
// in both layouts, with and without fingerprint data. Each seed is the
// layout byte (1 with the header, 0 without) followed by the record.
//
//     make_analysis_id_seeds OUTDIR
#include "CardRecordFixtures.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QByteArray portrait = fixtures::encodedPortrait();
    const struct {
        const char* name;
        fixtures::TextBlock text;
    } cards[] = {{"resident", fixtures::residentBlock()},
                 {"foreign", fixtures::foreignPermanentBlock()},
                 {"permit", fixtures::residencePermitBlock()}};
    int written = 0;
    const auto write = [&](const QString& name, const QByteArray& seed) {
        QFile f(out.filePath(name));
        if (f.open(QIODevice::WriteOnly) && f.write(seed) == seed.size())
            ++written;
        else
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
    };
    for (const auto& card : cards) {
        const QString name = QString::fromLatin1(card.name);
        const QByteArray text = card.text.bytes();
        // The SAM record up to the end of its fingerprint area (the rest of
        // the reader's buffer is zeros anyway).
        write(name + QStringLiteral("-sam"), QByteArray(1, '\1') + fixtures::samRecord(text, portrait).left(2310));
        write(name + QStringLiteral("-sam-fingerprint"),
              QByteArray(1, '\1') + fixtures::samRecord(text, portrait, fixtures::fingerprintData()).left(2310));
        write(name + QStringLiteral("-hid"), QByteArray(1, '\0') + text + portrait);
    }
    return written == 9 ? 0 : 1;
}
