// periphd.conf as an administrator writes it, well and badly: what is read,
// what is ignored, and that every problem is said.
#include "OutputCapture.h"
#include "SystemSettings.h"

#include <QTemporaryDir>
#include <QTest>

class SystemSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void missingFileIsSilentlyNoSettings();
    void everySetting();
    void oneOriginIsAListOfOne();
    void badValuesAreIgnoredAndSaid();
    void misspeltAndMisplacedKeysAreSaid();
    void badlyWrittenOriginsStayButAreSaid();
    void unreadableOrNonsenseFiles();
    void originProblems_data();
    void originProblems();

private:
    QString write(const QByteArray& text);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString SystemSettingsTest::write(const QByteArray& text)
{
    const QString path = m_dir.filePath(QStringLiteral("periphd-%1.conf").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void SystemSettingsTest::missingFileIsSilentlyNoSettings()
{
    LogCapture log;
    const SystemSettings settings = readSystemSettings(m_dir.filePath(QStringLiteral("absent.conf")));
    QVERIFY(!settings.port && !settings.allowRemote && !settings.allowedOrigins);
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join('\n')));
}

void SystemSettingsTest::everySetting()
{
    LogCapture log;
    const SystemSettings settings = readSystemSettings(write("# comment\n[server]\nport = 4242\nallow-remote = yes\n"
                                                             "allowed-origins = https://counter.example.com, "
                                                             "http://localhost:8080,http://[::1]:9000\n"));
    QCOMPARE(settings.port.value_or(0), quint16(4242));
    QCOMPARE(settings.allowRemote.value_or(false), true);
    QCOMPARE(settings.allowedOrigins.value_or(QStringList()),
             (QStringList{"https://counter.example.com", "http://localhost:8080", "http://[::1]:9000"}));
    QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join('\n')));

    for (const char* off : {"false", "No", "off", "0"}) {
        const SystemSettings local = readSystemSettings(write(QByteArray("[server]\nallow-remote=") + off + "\n"));
        QCOMPARE(local.allowRemote.value_or(true), false);
    }
}

void SystemSettingsTest::oneOriginIsAListOfOne()
{
    const SystemSettings settings = readSystemSettings(write("[server]\nallowed-origins=https://a.example\n"));
    QCOMPARE(settings.allowedOrigins.value_or(QStringList()), QStringList{"https://a.example"});
    // Written but empty: no origin, which is not the same as no entry.
    const SystemSettings empty = readSystemSettings(write("[server]\nallowed-origins=\n"));
    QVERIFY(empty.allowedOrigins.has_value());
    QVERIFY(empty.allowedOrigins->isEmpty());
}

void SystemSettingsTest::badValuesAreIgnoredAndSaid()
{
    LogCapture log;
    const QString path = write("[server]\nport=12a\nallow-remote=maybe\nallowed-origins=https://kept.example\n");
    const SystemSettings settings = readSystemSettings(path);
    QVERIFY(!settings.port);
    // "maybe" must not count as true, which QVariant would make of it.
    QVERIFY(!settings.allowRemote);
    QCOMPARE(settings.allowedOrigins.value_or(QStringList()), QStringList{"https://kept.example"});
    QCOMPARE(log.lines(), (QStringList{path + ": allow-remote 'maybe' is neither true nor false; ignored",
                                       path + ": port '12a' is not a port number (0-65535); ignored"}));

    LogCapture tooLarge;
    QVERIFY(!readSystemSettings(write("[server]\nport=65536\n")).port);
    QVERIFY(!readSystemSettings(write("[server]\nport=-1\n")).port);
    QCOMPARE(tooLarge.lines().size(), 2);
}

void SystemSettingsTest::misspeltAndMisplacedKeysAreSaid()
{
    LogCapture log;
    const QString path = write("port=1\n[server]\nallowed-origin=https://a.example\n[client]\nport=2\n");
    const SystemSettings settings = readSystemSettings(path);
    QVERIFY(!settings.port && !settings.allowedOrigins);
    const QString lines = log.lines().join('\n');
    QCOMPARE(log.lines().size(), 3);
    for (const char* key : {"'port'", "'server/allowed-origin'", "'client/port'"})
        QVERIFY2(lines.contains(path + ": unknown setting " + key), qPrintable(lines));
}

void SystemSettingsTest::badlyWrittenOriginsStayButAreSaid()
{
    LogCapture log;
    const SystemSettings settings = readSystemSettings(
        write("[server]\nallowed-origins=HTTPS://Counter.Example, https://a.example/, https://a.example:443, "
              "counter.example\n"));
    // Kept as written, so they match nothing; dropping them could empty the
    // list, and an empty list admits every page.
    QCOMPARE(settings.allowedOrigins.value_or(QStringList()).size(), 4);
    const QString lines = log.lines().join('\n');
    QCOMPARE(log.lines().size(), 4);
    QVERIFY2(lines.contains("'HTTPS://Counter.Example' will never match: browsers send it as 'https://counter.example'"),
             qPrintable(lines));
    QVERIFY(lines.contains("'https://a.example/' will never match: browsers send it as 'https://a.example'"));
    QVERIFY(lines.contains("'https://a.example:443' will never match: browsers send it as 'https://a.example'"));
    QVERIFY(lines.contains("'counter.example' is not an origin"));
}

void SystemSettingsTest::unreadableOrNonsenseFiles()
{
    LogCapture log;
    const SystemSettings folder = readSystemSettings(m_dir.path());
    QVERIFY(!folder.port && !folder.allowRemote && !folder.allowedOrigins);
    QCOMPARE(log.lines(), QStringList{m_dir.path() + ": cannot be read; the defaults apply"});

    // Binary junk and lines that are not settings: no crash, and what is
    // not a setting is said, not guessed at.
    LogCapture junkLog;
    QByteArray junk("\x00\xff\xfe[server\nport 12\n=\n[server]\nport=7\n", 36);
    for (int i = 0; i < 256; ++i)
        junk += char(i);
    const SystemSettings nonsense = readSystemSettings(write(junk));
    QVERIFY(!nonsense.allowRemote && !nonsense.allowedOrigins);
    QVERIFY2(!junkLog.lines().isEmpty(), "junk went unremarked");
    for (const QString& line : junkLog.lines())
        QVERIFY2(line.contains("ignored"), qPrintable(line));
}

void SystemSettingsTest::originProblems_data()
{
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("ok");
    QTest::newRow("https") << "https://counter.example.com" << true;
    QTest::newRow("port") << "http://localhost:8080" << true;
    QTest::newRow("ipv4") << "http://127.0.0.1:8080" << true;
    QTest::newRow("ipv6") << "http://[::1]:8080" << true;
    QTest::newRow("idn as sent") << "https://xn--fiqs8s.example" << true;
    QTest::newRow("idn as typed") << "https://中国.example" << false;
    QTest::newRow("upper case") << "https://Counter.example.com" << false;
    QTest::newRow("default port") << "http://localhost:80" << false;
    QTest::newRow("path") << "https://counter.example.com/app" << false;
    QTest::newRow("query") << "https://counter.example.com?x" << false;
    QTest::newRow("user") << "https://me@counter.example.com" << false;
    QTest::newRow("no scheme") << "counter.example.com" << false;
    QTest::newRow("empty") << "" << false;
}

void SystemSettingsTest::originProblems()
{
    QFETCH(QString, origin);
    QFETCH(bool, ok);
    QCOMPARE(originProblem(origin).isEmpty(), ok);
}

QTEST_GUILESS_MAIN(SystemSettingsTest)
#include "test_system_settings.moc"
