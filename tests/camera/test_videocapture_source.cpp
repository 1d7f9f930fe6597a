// The capture path through a real OpenCV back-end. V4L2 streaming cannot be
// emulated here (umockdev cannot map capture buffers), so the window reads
// cv::VideoCapture frames from GStreamer's videotestsrc through OpenCV's
// GStreamer back-end, at every size it asks for; a device number that does
// not exist goes through OpenCV's own device open and fails there.
#include "CameraUser.h"
#include "FrameSource.h"
#include "ScriptedCamera.h"
#include "ui_CameraUser.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <opencv2/videoio/registry.hpp>

namespace {

// A solid colour (ARGB) at the size the window asks for.
class TestPatternSource : public camera::VideoCaptureSource {
public:
    explicit TestPatternSource(unsigned argb)
        : m_argb(argb)
    {
    }
    std::vector<std::pair<int, int>> sizes;

protected:
    void openCapture(cv::VideoCapture& capture, int, int width, int height) override
    {
        sizes.emplace_back(width, height);
        const std::string pipeline = "videotestsrc pattern=solid-color foreground-color=" + std::to_string(m_argb) +
                                     " ! video/x-raw,width=" + std::to_string(width) +
                                     ",height=" + std::to_string(height) +
                                     ",framerate=30/1 ! videoconvert ! video/x-raw,format=BGR ! appsink";
        capture.open(pipeline, cv::CAP_GSTREAMER);
    }

private:
    unsigned m_argb;
};

QImage labelImage(QLabel* label)
{
    const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
    return pixmap.isNull() ? QImage() : pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

bool nearly(QRgb pixel, QRgb want, int tolerance)
{
    return std::abs(qRed(pixel) - qRed(want)) <= tolerance && std::abs(qGreen(pixel) - qGreen(want)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(want)) <= tolerance;
}

} // namespace

class VideoCaptureSourceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void windowReadsRealCaptureFrames();
    void missingDeviceFailsInOpenCv();

private:
    ListedDevices m_devices;
};

void VideoCaptureSourceTest::initTestCase()
{
    QVERIFY2(cv::videoio_registry::hasBackend(cv::CAP_GSTREAMER), "OpenCV is built without GStreamer");
    TestPatternSource probe(0xffff0000);
    QVERIFY2(probe.open(0, 64, 48), "GStreamer's videotestsrc is missing: install gstreamer1.0-plugins-base "
                                    "(scripts/install-deps.sh)");
    m_devices.devices = {{"0", "0c45", "6366"}};
    camera::setDiscovery(m_devices);
}

void VideoCaptureSourceTest::windowReadsRealCaptureFrames()
{
    TestPatternSource* source = nullptr;
    camera::setFrameSourceFactory([&source] {
        auto made = std::make_unique<TestPatternSource>(0xffe01010); // red
        source = made.get();
        return made;
    });
    CameraUser window;
    window.show();
    QVERIFY(source);
    QTRY_VERIFY_WITH_TIMEOUT(!labelImage(window.ui->cameraPic).isNull(), 10000);
    QCOMPARE(window.m_frame.cols, 640);
    QCOMPARE(window.m_frame.rows, 480);
    QVERIFY2(nearly(labelImage(window.ui->cameraPic).pixel(250, 200), qRgb(0xe0, 0x10, 0x10), 12),
             "the preview is not red");

    // The window asks for 1920 × 1080 and gets frames of that size.
    window.ui->comboBox->setCurrentIndex(6);
    QTRY_COMPARE_WITH_TIMEOUT(window.m_frame.cols, 1920, 10000);
    QCOMPARE(window.m_frame.rows, 1080);
    QCOMPARE(source->sizes.back(), (std::pair<int, int>{1920, 1080}));
    QTest::mouseClick(window.ui->photoBtn, Qt::LeftButton);
    QTest::mouseClick(window.ui->closeCamBtn, Qt::LeftButton);
    QImage photo;
    QVERIFY(photo.loadFromData(QByteArray::fromBase64(window.getBase64().toLatin1()), "JPEG"));
    QCOMPARE(photo.size(), QSize(1920, 1080));
    QVERIFY2(nearly(photo.pixel(960, 540), qRgb(0xe0, 0x10, 0x10), 12), "the photo is not red");
}

void VideoCaptureSourceTest::missingDeviceFailsInOpenCv()
{
    camera::VideoCaptureSource source;
    // No /dev/video4095 exists: OpenCV's device open itself says no.
    QVERIFY(!source.open(4095, 640, 480));
    QVERIFY(!source.isOpened());
    cv::Mat frame(4, 4, CV_8UC3);
    QVERIFY(!source.read(frame));
    QVERIFY(frame.empty());
}

QTEST_MAIN(VideoCaptureSourceTest)
#include "test_videocapture_source.moc"
