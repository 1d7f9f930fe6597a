// Renders both faces of the sample resident card (the simulated card's
// holder and stock portrait) with the templates and font aliases the build
// stages, as the service would: the pictures in docs/ come from here.
//
//     render_sample_faces OUTDIR [DATADIR]
//         -> OUTDIR/idcard-front.jpg, OUTDIR/idcard-back.jpg
#include "CardRecordFixtures.h"
#include "FaceFonts.h"
#include "IdCardRecords.h"
#include "InstalledData.h"
#include "ReadIDCard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTDIR [DATADIR]\n(DATADIR: templates and font aliases, default the build's)\n", argv[0]);
        return 2;
    }
    const QDir out(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
    const QString dataDir = argc == 3 ? QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath()
                                      : idcard::installedDataFile(QString(), QStringLiteral(PERIPHD_APP_DIR));
    if (!idcard::loadFaceFontAliases(dataDir + QStringLiteral("/fonts.conf")))
        return 1;

    fixtures::ScratchDirectory scratch;
    const simdevices::BuiltRecord card = simdevices::idCardRecord(simdevices::sampleHolder());
    if (!scratch.ok() || !card.error.isEmpty())
        return 1;
    for (const char* name : {"front.jpg", "back.jpg"})
        QFile::copy(dataDir + QLatin1Char('/') + QLatin1String(name), QString::fromLatin1(name));

    QByteArray record = fixtures::samRecord(card.record.left(256), card.record.mid(256));
    ReadIDCard reader;
    IDINFO info;
    reader.AnalysisID(reinterpret_cast<unsigned char*>(record.data()), &info, true);
    reader.IDCardPicFront(&info);
    reader.IDCardPicBack(&info);

    int status = 0;
    for (const char* face : {"front", "back"}) {
        const QString rendered = QStringLiteral("%1New.jpg").arg(QLatin1String(face));
        const QString target = out.filePath(QStringLiteral("idcard-%1.jpg").arg(QLatin1String(face)));
        QFile::remove(target);
        if (QFileInfo(rendered).size() == 0 || !QFile::copy(rendered, target)) {
            std::fprintf(stderr, "the %s face was not rendered\n", face);
            status = 1;
        }
    }
    return status;
}
