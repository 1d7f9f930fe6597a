// The per-user working folder: where it is, that it is created private, and
// that a folder periphd must not use is refused with a reason.
#include "OutputCapture.h"
#include "WorkingFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

int modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

class WorkingFolderTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void whereItIs();
    void createdPrivateWithItsParents();
    void existingFolderIsMadePrivate();
    void fullLogIsMovedAside();
    void fileInTheWayIsRefused();
    void anotherUsersFolderIsRefused();

private:
    QTemporaryDir m_home;
    QString m_startDir;
};

void WorkingFolderTest::init()
{
    m_startDir = QDir::currentPath();
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qunsetenv("XDG_STATE_HOME");
}

void WorkingFolderTest::cleanup()
{
    QDir::setCurrent(m_startDir);
}

void WorkingFolderTest::whereItIs()
{
    QCOMPARE(userFolderPath(), m_home.path() + "/.local/state/periphd");
    qputenv("XDG_STATE_HOME", "/var/lib/someone/state/");
    QCOMPARE(userFolderPath(), QStringLiteral("/var/lib/someone/state/periphd"));
    // A relative XDG_STATE_HOME is invalid: the default applies.
    qputenv("XDG_STATE_HOME", "state");
    QCOMPARE(userFolderPath(), m_home.path() + "/.local/state/periphd");
}

void WorkingFolderTest::createdPrivateWithItsParents()
{
    QTemporaryDir state;
    const QString base = state.path() + "/deep/er";
    qputenv("XDG_STATE_HOME", QFile::encodeName(base));
    QVERIFY(enterUserFolder());
    QCOMPARE(QDir::currentPath(), base + "/periphd");
    QCOMPARE(modeOf(base + "/periphd"), 0700);
    QCOMPARE(modeOf(base), 0700);
    QCOMPARE(modeOf(state.path() + "/deep"), 0700);

    // Files written by relative name land there.
    QFile log(QStringLiteral("log.txt"));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.close();
    QVERIFY(QFileInfo::exists(base + "/periphd/log.txt"));

    // Entering again keeps it as it is.
    QDir::setCurrent(m_startDir);
    QVERIFY(enterUserFolder());
    QVERIFY(QFileInfo::exists(QStringLiteral("log.txt")));
}

void WorkingFolderTest::existingFolderIsMadePrivate()
{
    QTemporaryDir state;
    const QString folder = state.path() + "/periphd";
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    LogCapture log;
    QVERIFY(enterUserFolder());
    QCOMPARE(modeOf(folder), 0700);
    QVERIFY2(log.lines().contains(folder + " was open to other users (mode 755); now 0700"),
             qPrintable(log.lines().join('\n')));
}

void WorkingFolderTest::fullLogIsMovedAside()
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString folder = state.path() + "/periphd";
    QVERIFY(QDir().mkdir(folder));
    QFile old(folder + "/log.txt.1");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    QFile log(folder + "/log.txt");
    QVERIFY(log.open(QIODevice::WriteOnly));
    QVERIFY(log.resize(kLogLimitBytes)); // at the limit: stays
    log.close();
    QVERIFY(enterUserFolder());
    QCOMPARE(QFileInfo(folder + "/log.txt").size(), kLogLimitBytes);

    QVERIFY(log.open(QIODevice::Append));
    QCOMPARE(log.write("x"), qint64(1));
    log.close();
    QVERIFY(enterUserFolder());
    QVERIFY(!QFileInfo::exists(folder + "/log.txt"));
    QCOMPARE(QFileInfo(folder + "/log.txt.1").size(), kLogLimitBytes + 1);
}

void WorkingFolderTest::fileInTheWayIsRefused()
{
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString folder = state.path() + "/periphd";
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    LogCapture log;
    QVERIFY(!enterUserFolder());
    QCOMPARE(QDir::currentPath(), m_startDir);
    QCOMPARE(log.lines().size(), 1);
    QVERIFY2(log.lines().first().startsWith("cannot use the folder " + folder + ": "), qPrintable(log.lines().first()));
}

void WorkingFolderTest::anotherUsersFolderIsRefused()
{
    // Its owner could read what periphd writes there. Root can make one.
    if (::getuid() != 0)
        QSKIP("making a folder of another user needs root");
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString folder = state.path() + "/periphd";
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
    LogCapture log;
    QVERIFY(!enterUserFolder());
    QCOMPARE(QDir::currentPath(), m_startDir);
    QCOMPARE(log.lines(), QStringList{"cannot use the folder " + folder + ": it belongs to another user (uid 65534)"});
}

QTEST_GUILESS_MAIN(WorkingFolderTest)
#include "test_working_folder.moc"
