// The file log handler: line format per level, and fatal aborting without a
// line.
#include "Logging.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

class LoggingTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void linesPerLevel();
    void fatalAbortsWithoutALine();
    void threadsDoNotInterleave();

private:
    QString readLog() const;
    QTemporaryDir m_dir;
    QString m_previousDir;
};

void LoggingTest::init()
{
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QFile::remove("log.txt");
}

void LoggingTest::cleanup()
{
    qInstallMessageHandler(nullptr);
    QDir::setCurrent(m_previousDir);
}

QString LoggingTest::readLog() const
{
    QFile file(QDir(m_dir.path()).filePath("log.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

void LoggingTest::linesPerLevel()
{
    qInstallMessageHandler(outputMessage);
    qWarning("abc");
    qDebug("dbg");
    qCritical("crit");
    qInfo("info");
    qInstallMessageHandler(nullptr);

    const QString stamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+\])";
    const QRegularExpression expected("^" + stamp + " Warning: abc\n" + stamp + " Debug: dbg\n" + stamp +
                                      " Critical: crit\n" + stamp + "  info\n$");
    const QString log = readLog();
    QVERIFY2(expected.match(log).hasMatch(), qPrintable(log));
}

void LoggingTest::fatalAbortsWithoutALine()
{
    // The fatal case ends the process, so it runs in a child copy of us.
    if (qEnvironmentVariableIsSet("LOGGING_TEST_FATAL_CHILD")) {
        QDir::setCurrent(qEnvironmentVariable("LOGGING_TEST_FATAL_CHILD"));
        qInstallMessageHandler(outputMessage);
        qWarning("before fatal");
        qFatal("fatal text");
        return;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LOGGING_TEST_FATAL_CHILD", m_dir.path());
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(m_dir.path());
    child.start(QCoreApplication::applicationFilePath(), {"fatalAbortsWithoutALine"});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    // The child did log into our folder, but not the fatal message.
    QVERIFY(readLog().contains("Warning: before fatal"));
    QVERIFY(!readLog().contains("fatal text"));
}

void LoggingTest::threadsDoNotInterleave()
{
    qInstallMessageHandler(outputMessage);
    QList<QThread*> threads;
    for (int t = 0; t < 4; ++t) {
        threads << QThread::create([t] {
            for (int i = 0; i < 200; ++i)
                qWarning("thread %d line %d with some padding to make it longer", t, i);
        });
        threads.last()->start();
    }
    for (QThread* thread : threads) {
        QVERIFY(thread->wait(30000));
        delete thread;
    }
    qInstallMessageHandler(nullptr);
    const QStringList lines = readLog().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 800);
    const QRegularExpression whole(R"(^\[[^\]]+\] Warning: thread \d line \d+ with some padding to make it longer$)");
    for (const QString& line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
}

QTEST_GUILESS_MAIN(LoggingTest)
#include "test_logging.moc"
