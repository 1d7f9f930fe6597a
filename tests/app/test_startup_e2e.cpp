// Start-up through the built programs: periphd.conf under the command line,
// the per-user working folder, and the Chromium policy written from
// periphd.conf.
#include "PeriphdProcess.h"
#include "WsClient.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString kAllowed = QStringLiteral("http://allowed.example");
const QString kOther = QStringLiteral("http://other.example");
const QString kPenWidth = QStringLiteral(R"({"function":"ZCSetPenWidth","Width":"3","_tflag":"w"})");

// The status line periphd answers a WebSocket upgrade with, for a Host of our choice.
QByteArray handshakeStatus(quint16 port, const QByteArray& host)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "no connection";
    socket.write("GET / HTTP/1.1\r\nHost: " + host + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    return answer.left(answer.indexOf("\r\n"));
}

bool answers(const QUrl& url, const QString& origin)
{
    WsClient page;
    return page.open(url, 5000, origin) && parseReply(page.request(kPenWidth)).value("success").toInt() == 1;
}

} // namespace

class StartupE2eTest : public QObject {
    Q_OBJECT
private slots:
    void settingsFileIsRead();
    void commandLineOverridesTheFile();
    void remoteAccessFromTheFile();
    void withoutTheFileTheDefaultsStand();
    void userFolderHoldsTheLog();
    void unusableUserFolderStopsTheStart();
    void helpAndVersionNeedNoDisplay();
    void chromiumPolicyHoldsExactlyTheConfiguredOrigins();
    void chromiumPolicyRefusesWhatItCannotName();

private:
    QString writeConfig(const QByteArray& text);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString StartupE2eTest::writeConfig(const QByteArray& text)
{
    const QString path = m_dir.filePath(QStringLiteral("periphd-%1.conf").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void StartupE2eTest::settingsFileIsRead()
{
    const quint16 port = PeriphdProcess::freePort();
    const QString config = writeConfig("[server]\nport=" + QByteArray::number(port) + "\nallowed-origins=" +
                                       kAllowed.toUtf8() + "\n");
    PeriphdProcess periphd({QStringLiteral("--config"), config});
    periphd.omitPortArgument();
    periphd.setPort(port);
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    QVERIFY(answers(periphd.url(), kAllowed));
    QVERIFY(!answers(periphd.url(), kOther));
    QVERIFY(periphd.waitForStandardError("Origin is not allowed"));
}

void StartupE2eTest::commandLineOverridesTheFile()
{
    const quint16 filePort = PeriphdProcess::freePort();
    const QString config = writeConfig("[server]\nport=" + QByteArray::number(filePort) + "\nallowed-origins=" +
                                       kAllowed.toUtf8() + "\n");
    // PeriphdProcess passes its own --port.
    PeriphdProcess periphd({QStringLiteral("--config"), config, QStringLiteral("--allowed-origin"), kOther});
    QVERIFY(periphd.port() != filePort);
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    QVERIFY(answers(periphd.url(), kOther));
    QVERIFY(!answers(periphd.url(), kAllowed));
}

void StartupE2eTest::remoteAccessFromTheFile()
{
    // Remote access admits Host names beyond localhost; the peer here is
    // loopback either way.
    {
        PeriphdProcess periphd({QStringLiteral("--config"), writeConfig("[server]\nallow-remote=true\n")});
        QVERIFY2(periphd.start(), periphd.standardError().constData());
        QCOMPARE(handshakeStatus(periphd.port(), "counter-pc.example"), QByteArray("HTTP/1.1 101 Switching Protocols"));
    }
    const QString config = writeConfig("[server]\nallow-remote=maybe\n");
    PeriphdProcess periphd({QStringLiteral("--config"), config});
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    QCOMPARE(handshakeStatus(periphd.port(), "counter-pc.example"), QByteArray("HTTP/1.1 403 Forbidden"));
    QVERIFY(periphd.waitForStandardError((config + ": allow-remote 'maybe' is neither true nor false; ignored").toUtf8()));
}

void StartupE2eTest::withoutTheFileTheDefaultsStand()
{
    const QString absent = m_dir.filePath(QStringLiteral("absent.conf"));
    PeriphdProcess periphd({QStringLiteral("--config"), absent});
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    QVERIFY(answers(periphd.url(), kAllowed));
    QVERIFY(answers(periphd.url(), kOther));
    QCOMPARE(handshakeStatus(periphd.port(), "counter-pc.example"), QByteArray("HTTP/1.1 403 Forbidden"));
    QVERIFY(!periphd.standardError().contains(absent.toUtf8()));
}

void StartupE2eTest::userFolderHoldsTheLog()
{
    QTemporaryDir home, elsewhere;
    PeriphdProcess periphd({QStringLiteral("--user-folder"), QStringLiteral("--log-file")});
    QProcessEnvironment env = periphd.process().processEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_STATE_HOME"));
    periphd.process().setProcessEnvironment(env);
    periphd.setWorkingDirectory(elsewhere.path());
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    QVERIFY(answers(periphd.url(), kOther));

    const QString folder = home.path() + "/.local/state/periphd";
    QFile log(folder + "/log.txt");
    QTRY_VERIFY(log.size() > 0);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("Warning: ZCSetPenWidth\n"));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), 0700);
    QVERIFY(!QFileInfo::exists(elsewhere.filePath(QStringLiteral("log.txt"))));
    QVERIFY(periphd.waitForStandardError(("working folder " + folder).toUtf8()));
}

void StartupE2eTest::unusableUserFolderStopsTheStart()
{
    QTemporaryDir state;
    QFile blocker(state.filePath(QStringLiteral("periphd")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PeriphdProcess periphd({QStringLiteral("--user-folder")});
    QProcessEnvironment env = periphd.process().processEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
    periphd.process().setProcessEnvironment(env);
    QVERIFY(periphd.launch());
    QVERIFY(periphd.process().waitForFinished(15000));
    QCOMPARE(periphd.process().exitCode(), 1);
    QVERIFY2(periphd.standardError().contains(("cannot use the folder " + blocker.fileName()).toUtf8()),
             periphd.standardError().constData());
}

void StartupE2eTest::helpAndVersionNeedNoDisplay()
{
    // As from a console or a package's post-install script: no display, no
    // windowing system chosen.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    const struct {
        const char* option;
        QByteArray expected;
    } cases[] = {
        {"--version", "periphd " PERIPHD_VERSION "\n"},
        {"-v", "periphd " PERIPHD_VERSION "\n"},
        {"--help", "--simulate"},
    };
    for (const auto& c : cases) {
        QProcess periphd;
        periphd.setProcessEnvironment(env);
        periphd.start(PeriphdProcess::binaryPath(), {QString::fromLatin1(c.option)});
        QVERIFY(periphd.waitForFinished(15000));
        const QByteArray error = periphd.readAllStandardError();
        QVERIFY2(periphd.exitStatus() == QProcess::NormalExit && periphd.exitCode() == 0,
                 qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(c.option), QString::fromUtf8(error))));
        QVERIFY2(periphd.readAllStandardOutput().contains(c.expected), c.option);
    }
}

void StartupE2eTest::chromiumPolicyHoldsExactlyTheConfiguredOrigins()
{
    const QStringList origins{"https://counter.example.com", "https://intranet.example:8443", "http://localhost:8080"};
    const QString config = writeConfig("[server]\nport=4000\nallowed-origins = " + origins.join(", ").toUtf8() + "\n");
    const QString output = m_dir.filePath(QStringLiteral("policies/managed/periphd.json"));
    QProcess tool;
    tool.start(QStringLiteral(CHROMIUM_POLICY_BINARY),
               {"--config", config, "--template", CHROMIUM_POLICY_TEMPLATE, "--output", output});
    QVERIFY(tool.waitForFinished(10000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());

    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject expected{{"LocalNetworkAccessAllowedForUrls", QJsonArray::fromStringList(origins)}};
    QCOMPARE(QJsonDocument::fromJson(file.readAll()).object(), expected);
    // Chromium reads it as whichever user runs the browser.
    QCOMPARE(int(file.permissions() & 0x7777), int(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                  QFileDevice::ReadGroup | QFileDevice::ReadOther));

    QProcess print;
    print.start(QStringLiteral(CHROMIUM_POLICY_BINARY),
                {"--config", config, "--template", CHROMIUM_POLICY_TEMPLATE, "--output", "-"});
    QVERIFY(print.waitForFinished(10000));
    QCOMPARE(QJsonDocument::fromJson(print.readAllStandardOutput()).object(), expected);
}

void StartupE2eTest::chromiumPolicyRefusesWhatItCannotName()
{
    const struct {
        QByteArray config;
        QByteArray complaint;
    } cases[] = {
        {"[server]\nport=4000\n", "sets no allowed-origins"},
        {"[server]\nallowed-origins=https://a.example, https://B.example\n", "'https://B.example' will never match"},
    };
    for (const auto& c : cases) {
        const QString output = m_dir.filePath(QStringLiteral("refused.json"));
        QProcess tool;
        tool.start(QStringLiteral(CHROMIUM_POLICY_BINARY), {"--config", writeConfig(c.config), "--template",
                                                             CHROMIUM_POLICY_TEMPLATE, "--output", output});
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitCode(), 1);
        const QByteArray error = tool.readAllStandardError();
        QVERIFY2(error.contains(c.complaint), error.constData());
        QVERIFY(!QFileInfo::exists(output));
    }
}

QTEST_GUILESS_MAIN(StartupE2eTest)
#include "test_startup_e2e.moc"
