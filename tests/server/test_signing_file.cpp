// Writing the signature file: whole or not at all, and never through a link
// planted at its name.
#include "AtomicFileWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class SigningFileTest : public QObject {
    Q_OBJECT
private slots:
    void createsAndReplaces();
    void plantedLinksAreReplaced();
    void failureLeavesNothingBehind();
    void readersSeeWholeFilesOnly();
};

void SigningFileTest::createsAndReplaces()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kmo_sign.png"));
    QByteArray big(3 * 1024 * 1024 + 17, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 + 7);
    QVERIFY(writeFileAtomically(path, big));
    QCOMPARE(readAll(path), big);
    QVERIFY(writeFileAtomically(path, "second"));
    QCOMPARE(readAll(path), QByteArray("second"));
    QVERIFY(writeFileAtomically(path, QByteArray()));
    QCOMPARE(QFileInfo(path).size(), qint64(0));
    // Readable by others, like an ordinary file.
    QVERIFY(QFileInfo(path).permissions() & QFileDevice::ReadOther);
    QCOMPARE(entries(dir), QStringList{QStringLiteral("kmo_sign.png")});
}

void SigningFileTest::plantedLinksAreReplaced()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kmo_sign.png"));
    const QString target = dir.filePath(QStringLiteral("victim"));
    writeFile(target, "untouched");
    QVERIFY(QFile::link(target, path));
    QVERIFY(writeFileAtomically(path, "image"));
    QCOMPARE(readAll(target), QByteArray("untouched"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(readAll(path), QByteArray("image"));

    // A dangling link pointing where a file would be created: not created.
    const QString nowhere = dir.filePath(QStringLiteral("created-through-link"));
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::link(nowhere, path));
    QVERIFY(writeFileAtomically(path, "image"));
    QVERIFY(!QFileInfo::exists(nowhere));
    QCOMPARE(readAll(path), QByteArray("image"));
}

void SigningFileTest::failureLeavesNothingBehind()
{
    QTemporaryDir dir;
    // A directory planted at the name cannot be replaced by a file.
    const QString path = dir.filePath(QStringLiteral("kmo_sign.png"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("kmo_sign.png")));
    QVERIFY(!writeFileAtomically(path, "image"));
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(entries(dir), QStringList{QStringLiteral("kmo_sign.png")});

    // A folder that does not exist.
    QVERIFY(!writeFileAtomically(dir.filePath(QStringLiteral("missing/kmo_sign.png")), "image"));

    // A folder the process may not write (skipped as root, who may).
    if (geteuid() != 0) {
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")));
        writeFile(locked + QStringLiteral("/kmo_sign.png"), "old");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!writeFileAtomically(locked + QStringLiteral("/kmo_sign.png"), "new"));
        QCOMPARE(readAll(locked + QStringLiteral("/kmo_sign.png")), QByteArray("old"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

void SigningFileTest::readersSeeWholeFilesOnly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kmo_sign.png"));
    const QByteArray first(512 * 1024, 'a');
    const QByteArray second(256 * 1024, 'b');
    QVERIFY(writeFileAtomically(path, first));

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done || reads < 50) {
            const QByteArray seen = readAll(path);
            if (seen != first && seen != second)
                ++torn;
            ++reads;
        }
    });
    for (int i = 0; i < 200; ++i)
        QVERIFY(writeFileAtomically(path, i % 2 ? first : second));
    done = true;
    reader.join();
    QVERIFY(reads >= 50);
    QCOMPARE(torn.load(), 0);
}

QTEST_GUILESS_MAIN(SigningFileTest)
#include "test_signing_file.moc"
