// The built periphd loads the face fonts' aliases at start-up from beside
// itself (<bindir>/../share/periphd): found in the build tree, and followed
// wherever the program is put.
#include "PeriphdProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFaceDataAtStartup : public QObject {
    Q_OBJECT

private slots:
    void buildTreeProgramFindsItsAliases();
    void aCopiedProgramLooksBesideItself();

private:
    static bool startedAndListening(PeriphdProcess& periphd);
};

namespace {
const QByteArray missing = "card face font aliases not found";
}

bool TestFaceDataAtStartup::startedAndListening(PeriphdProcess& periphd)
{
    // Once it listens, the start-up (aliases included) is behind it; once
    // it has stopped, everything it wrote to standard error has been read
    // (while it runs, lines may still be on their way through the pipe).
    const bool started = periphd.start();
    periphd.stop();
    return started;
}

void TestFaceDataAtStartup::buildTreeProgramFindsItsAliases()
{
    QTemporaryDir work;
    PeriphdProcess periphd;
    periphd.setWorkingDirectory(work.path());
    QVERIFY2(startedAndListening(periphd), periphd.standardError().constData());
    QVERIFY2(!periphd.standardError().contains(missing), periphd.standardError().constData());
}

void TestFaceDataAtStartup::aCopiedProgramLooksBesideItself()
{
    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    const QString program = prefix.filePath(QStringLiteral("bin/periphd"));
    QVERIFY(QFile::copy(PeriphdProcess::binaryPath(), program));
    {
        PeriphdProcess periphd;
        periphd.setProgram(program);
        QVERIFY2(startedAndListening(periphd), periphd.standardError().constData());
        const QByteArray expected = missing + " at " + prefix.filePath(QStringLiteral("share/periphd/fonts.conf")).toUtf8();
        QVERIFY2(periphd.standardError().contains(expected), periphd.standardError().constData());
    }
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/periphd")));
    QVERIFY(QFile::copy(QStringLiteral(PERIPHD_FONT_ALIASES), prefix.filePath(QStringLiteral("share/periphd/fonts.conf"))));
    PeriphdProcess periphd;
    periphd.setProgram(program);
    QVERIFY2(startedAndListening(periphd), periphd.standardError().constData());
    QVERIFY2(!periphd.standardError().contains(missing), periphd.standardError().constData());
}

QTEST_GUILESS_MAIN(TestFaceDataAtStartup)
#include "test_face_data_at_startup.moc"
