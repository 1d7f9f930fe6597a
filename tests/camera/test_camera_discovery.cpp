// Camera discovery through the real libudev, run under umockdev-wrapper
// against a testbed of video4linux devices: the role table, its fallbacks,
// cameras with several nodes, devices without ids, and the console lines.
// GLib first: its headers use names that Qt defines as macros (signals).
#include <umockdev.h>

#include "CameraDiscovery.h"
#include "CameraUser.h"
#include "OutputCapture.h"
#include "ScriptedCamera.h"
#include "ui_CameraUser.h"

#include <QComboBox>
#include <QFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

struct Node {
    const char* name; // kernel name, e.g. "video0"
    const char* vendor; // null: no "ID_VENDOR_ID" / "ID_MODEL_ID" properties
    const char* model;
};

} // namespace

class CameraDiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void documentWithMetadataNodeAndPortrait();
    void bothFallbacks();
    void firstChoiceWinsOverFallback();
    void twoDigitDeviceNumber();
    void upperCaseIdsNeverMatch();
    void noCamera();

private:
    void addNodes(std::initializer_list<Node> nodes);
    // A window built on the testbed, with what initCamera printed.
    std::unique_ptr<CameraUser> buildWindow(QByteArray& printed);

    UMockdevTestbed* m_testbed = nullptr;
    CameraScript m_script;
};

void CameraDiscoveryTest::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("umockdev")),
             "run this suite under umockdev-wrapper");
    camera::setDiscovery(camera::udevDiscovery());
    camera::setFrameSourceFactory([this] { return std::make_unique<ScriptedFrameSource>(m_script); });
}

void CameraDiscoveryTest::init()
{
    m_testbed = umockdev_testbed_new();
    m_script = CameraScript();
}

void CameraDiscoveryTest::cleanup()
{
    g_object_unref(m_testbed);
    m_testbed = nullptr;
}

void CameraDiscoveryTest::addNodes(std::initializer_list<Node> nodes)
{
    for (const Node& node : nodes) {
        gchar* syspath = node.vendor
            ? umockdev_testbed_add_device(m_testbed, "video4linux", node.name, nullptr, "name", "USB Camera", nullptr,
                                          "ID_VENDOR_ID", node.vendor, "ID_MODEL_ID", node.model, nullptr)
            : umockdev_testbed_add_device(m_testbed, "video4linux", node.name, nullptr, "name", "Dummy video device",
                                          nullptr, nullptr);
        QVERIFY2(syspath, node.name);
        g_free(syspath);
    }
}

std::unique_ptr<CameraUser> CameraDiscoveryTest::buildWindow(QByteArray& printed)
{
    // QtTest prints log lines on standard output too; the log capture keeps
    // them out of what the window printed.
    LogCapture log;
    StreamCapture output(STDOUT_FILENO);
    auto window = std::make_unique<CameraUser>();
    printed = output.text();
    return window;
}

static QStringList chooser(CameraUser& window)
{
    QStringList entries;
    for (int i = 0; i < window.ui->comboBox_2->count(); ++i)
        entries << window.ui->comboBox_2->itemText(i);
    return entries;
}

void CameraDiscoveryTest::documentWithMetadataNodeAndPortrait()
{
    addNodes({{"video0", "0c45", "6366"}, {"video1", "0c45", "6366"}, {"video2", "1b17", "6685"}});
    QByteArray printed;
    auto window = buildWindow(printed);
    QCOMPARE(window->m_documentIndex, 0);
    QCOMPARE(window->m_portraitIndex, 2);
    QCOMPARE(chooser(*window), (QStringList{"文稿摄像头", "人像摄像头"}));
    QCOMPARE(printed, QByteArray("t_nFlag1 = 1 ,MSG = /dev/video0\n"
                                 "t_nFlag2 = 1 ,MSG = /dev/video2\n"
                                 "t_nFlag1 == 1t_nFlag1 == 2"));
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{0, 640, 480}}));

    // One lookup on its own: the first matching node, as a path.
    char path[256] = {};
    char model[] = "6366";
    char vendor[] = "0c45";
    QCOMPARE(window->findCameraVideoPath(model, vendor, path), 1);
    QCOMPARE(QByteArray(path), QByteArray("/dev/video0"));
    char otherModel[] = "6684";
    char otherVendor[] = "1b17";
    char untouched[256] = {};
    QCOMPARE(window->findCameraVideoPath(otherModel, otherVendor, untouched), 0);
    QCOMPARE(untouched[0], '\0');
}

void CameraDiscoveryTest::bothFallbacks()
{
    addNodes({{"video4", "1bcf", "8001"}, {"video5", "1b17", "6684"}});
    QByteArray printed;
    auto window = buildWindow(printed);
    QCOMPARE(window->m_documentIndex, 4);
    QCOMPARE(window->m_portraitIndex, 5);
    QCOMPARE(chooser(*window), (QStringList{"文稿摄像头", "人像摄像头"}));
    QCOMPARE(printed, QByteArray("t_nFlag1 = 1 ,MSG = /dev/video4\n"
                                 "t_nFlag2 = 1 ,MSG = /dev/video5\n"
                                 "t_nFlag1 == 1t_nFlag1 == 2"));
}

void CameraDiscoveryTest::firstChoiceWinsOverFallback()
{
    // Listed first, the fallback document camera still loses; likewise the
    // portrait camera's fallback.
    addNodes({{"video0", "1bcf", "8001"}, {"video1", "1b17", "6684"}, {"video3", "0c45", "6366"},
              {"video6", "1b17", "6685"}});
    QByteArray printed;
    auto window = buildWindow(printed);
    QCOMPARE(window->m_documentIndex, 3);
    QCOMPARE(window->m_portraitIndex, 6);
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{3, 640, 480}}));
}

void CameraDiscoveryTest::twoDigitDeviceNumber()
{
    addNodes({{"video12", "1b17", "6685"}});
    QByteArray printed;
    auto window = buildWindow(printed);
    QCOMPARE(window->m_portraitIndex, 12);
    QCOMPARE(window->m_documentIndex, -1); // never written
    QCOMPARE(chooser(*window), (QStringList{"人像摄像头"}));
    QCOMPARE(printed, QByteArray("t_nFlag1 = 0 ,MSG = \n"
                                 "t_nFlag2 = 1 ,MSG = /dev/video12\n"
                                 "t_nFlag1 == 2"));
    // No document camera: the portrait camera is opened instead.
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{12, 640, 480}}));
}

void CameraDiscoveryTest::upperCaseIdsNeverMatch()
{
    addNodes({{"video0", "0C45", "6366"}, {"video2", "1b17", "6685"}});
    QByteArray printed;
    auto window = buildWindow(printed);
    QCOMPARE(window->m_documentIndex, -1);
    QCOMPARE(chooser(*window), (QStringList{"人像摄像头"}));
    // An upper-case id asked for never matches udev's lower-case one.
    char path[256] = {};
    char model[] = "6685";
    char vendor[] = "1B17";
    QCOMPARE(window->findCameraVideoPath(model, vendor, path), 0);
}

void CameraDiscoveryTest::noCamera()
{
    addNodes({{"video7", nullptr, nullptr}, {"video8", "046d", "0825"}});
    QByteArray printed;
    auto window = buildWindow(printed);
    QCOMPARE(window->initCamera(), -1);
    QCOMPARE(window->ui->comboBox_2->count(), 0);
    QCOMPARE(window->m_documentIndex, -1);
    QCOMPARE(window->m_portraitIndex, -1);
    QCOMPARE(printed, QByteArray("t_nFlag1 = 0 ,MSG = \nt_nFlag2 = 0 ,MSG = \n"));
    QVERIFY(m_script.opens.empty());
}

QTEST_MAIN(CameraDiscoveryTest)
#include "test_camera_discovery.moc"
