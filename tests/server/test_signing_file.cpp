// Writing the signature file: whole or not at all, and never through a link
// planted at its name.
#include "AtomicFileWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A folder this user may read but not write, holding an old file of its
// own: the new file cannot be created beside it, so the write fails and the
// old file stays as it was. Empty when all of that holds, else what did not.
QString writeIntoLockedFolder(const QString& parent)
{
    const QString locked = parent + QStringLiteral("/locked");
    const QString path = locked + QStringLiteral("/kmo_sign.png");
    if (!QDir(parent).mkdir(QStringLiteral("locked")))
        return QStringLiteral("cannot create %1").arg(locked);
    {
        QFile old(path);
        if (!old.open(QIODevice::WriteOnly) || old.write("old") != 3)
            return QStringLiteral("cannot write %1").arg(path);
    }
    if (!QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        return QStringLiteral("cannot lock %1").arg(locked);
    const bool written = writeFileAtomically(path, "new");
    const QByteArray after = readAll(path);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (written)
        return QStringLiteral("writing into the locked folder reported success");
    if (after != "old")
        return QStringLiteral("the old file now holds \"%1\"").arg(QString::fromLatin1(after));
    return QString();
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
    void lockedFolderIsLeftAlone();
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
}

void SigningFileTest::lockedFolderIsLeftAlone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (geteuid() != 0) {
        QCOMPARE(writeIntoLockedFolder(dir.path()), QString());
        return;
    }
    // Root writes any folder, and CI runs as root: the case runs in a child
    // that has become "nobody", in a folder handed over to that user.
    const passwd* nobody = getpwnam("nobody");
    QVERIFY2(nobody, "no user \"nobody\" to run the locked-folder case as");
    QVERIFY(chown(QFile::encodeName(dir.path()).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    int report[2];
    QVERIFY(pipe(report) == 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(report[0]);
        QString failure;
        if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0)
            failure = QStringLiteral("cannot become nobody: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        else if (geteuid() == 0)
            failure = QStringLiteral("still root after dropping privileges");
        else
            failure = writeIntoLockedFolder(dir.path());
        const QByteArray text = failure.toUtf8();
        const bool sent = ::write(report[1], text.constData(), size_t(text.size())) == text.size();
        _exit(failure.isEmpty() && sent ? 0 : 1);
    }
    ::close(report[1]);
    QByteArray failure;
    char chunk[512];
    for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        failure.append(chunk, int(n));
    }
    ::close(report[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QCOMPARE(QString::fromUtf8(failure), QString());
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
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
