// The camera window in process on the offscreen platform, reading a
// scripted frame source: its form, the preview, the pictures it takes and
// the file it writes, the resolution and camera switches.
#include "CameraUser.h"
#include "PreviewImage.h"
#include "ScriptedCamera.h"
#include "ui_CameraUser.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace {

const QString kPhoto = QString::fromLatin1(CameraUser::photoPath());

QImage labelImage(QLabel* label)
{
    const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
    return pixmap.isNull() ? QImage() : pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

bool nearly(QRgb pixel, QRgb want, int tolerance = 40)
{
    return std::abs(qRed(pixel) - qRed(want)) <= tolerance && std::abs(qGreen(pixel) - qGreen(want)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(want)) <= tolerance;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class CameraWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void formAsDrawn();
    void resolutionSwitchReopensAtThatSize();
    void cameraSwitchResetsTo640x480();
    void pictureAtFullSizeInTrueColours();
    void onlyThisWindowsPictureIsReturned();
    void photoFileReplacesAPlantedLink();
    void noDocumentCameraOpensThePortraitCamera();
    void noCameraAtAll();
    void cameraThatCannotBeOpenedAtStart();
    void previewReadsTheFramesStride();
    void failedReopenClosesTheWindow();

private:
    // A shown window that has painted at least one frame.
    CameraUser* showWindow();

    CameraScript m_script;
    ListedDevices m_devices;
    std::unique_ptr<CameraUser> m_window;
};

void CameraWindowTest::initTestCase()
{
    camera::setDiscovery(m_devices);
    camera::setFrameSourceFactory([this] { return std::make_unique<ScriptedFrameSource>(m_script); });
}

void CameraWindowTest::init()
{
    m_window.reset();
    m_script = CameraScript();
    // A document camera with a metadata node, and a portrait camera.
    m_devices.devices = {{"0", "0c45", "6366"}, {"1", "0c45", "6366"}, {"2", "1b17", "6685"}};
    QFile::remove(kPhoto);
}

CameraUser* CameraWindowTest::showWindow()
{
    m_window = std::make_unique<CameraUser>();
    m_window->show();
    const int before = m_script.reads;
    if (!QTest::qWaitFor([&] { return m_script.reads > before && !m_window->ui->cameraPic->pixmap(Qt::ReturnByValue).isNull(); }, 5000))
        return nullptr;
    return m_window.get();
}

void CameraWindowTest::formAsDrawn()
{
    CameraUser* window = showWindow();
    QVERIFY(window);
    Ui_CameraUser* ui = window->ui;
    QCOMPARE(window->objectName(), QStringLiteral("CameraUser"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessaly高拍"));
    QCOMPARE(window->size(), QSize(1033, 481));
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(window->windowFlags() & Qt::WindowType_Mask, Qt::Tool);

    const QList<QPair<QWidget*, QRect>> geometry = {
        {ui->grabPic, {520, 10, 500, 400}},   {ui->label_2, {20, 430, 63, 22}},
        {ui->comboBox_2, {80, 420, 180, 36}}, {ui->label_3, {290, 430, 63, 22}},
        {ui->comboBox, {360, 420, 180, 36}},  {ui->photoBtn, {600, 420, 141, 36}},
        {ui->closeCamBtn, {840, 420, 141, 36}}, {ui->cameraPic, {0, 10, 500, 400}},
        {ui->lineEdit, {740, 430, 113, 36}},
    };
    QObjectList children;
    for (QObject* child : window->children())
        if (child->isWidgetType())
            children << child;
    QCOMPARE(children.size(), geometry.size());
    for (int i = 0; i < geometry.size(); ++i) {
        QCOMPARE(children.at(i), static_cast<QObject*>(geometry.at(i).first)); // in the form's order
        QCOMPARE(geometry.at(i).first->geometry(), geometry.at(i).second);
    }
    QCOMPARE(ui->label_2->text(), QStringLiteral("摄像头"));
    QCOMPARE(ui->label_3->text(), QStringLiteral("分辨率"));
    QCOMPARE(ui->photoBtn->text(), QStringLiteral("拍照"));
    QCOMPARE(ui->closeCamBtn->text(), QStringLiteral("关闭退出"));
    QStringList resolutions;
    for (int i = 0; i < ui->comboBox->count(); ++i)
        resolutions << ui->comboBox->itemText(i);
    QCOMPARE(resolutions, (QStringList{"640 X 480", "800 X 600", "1024 X 768", "1280 X 720", "1280 X 960",
                                       "1600 X 1200", "1920 X 1080", "2048 X 1536", "2592 X 1944"}));
    QCOMPARE(ui->comboBox_2->count(), 2);
    QCOMPARE(ui->comboBox_2->itemText(0), QStringLiteral("文稿摄像头"));
    QCOMPARE(ui->comboBox_2->itemText(1), QStringLiteral("人像摄像头"));
    QVERIFY(!ui->lineEdit->isEnabled());
    QVERIFY(!ui->lineEdit->isVisible());

    // The document camera at 640 × 480, a frame every 33 ms.
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{0, 640, 480}}));
    QCOMPARE(window->m_timer->interval(), 33);
    QVERIFY(window->m_timer->isActive());
    QCOMPARE(labelImage(ui->cameraPic).size(), QSize(500, 400));
}

void CameraWindowTest::resolutionSwitchReopensAtThatSize()
{
    CameraUser* window = showWindow();
    QVERIFY(window);
    const struct {
        int index;
        const char* text;
        int width, height;
    } sizes[] = {{1, "800*600", 800, 600},     {2, "1024*768", 1024, 768},   {3, "1280*720", 1280, 720},
                 {4, "1280*960", 1280, 960},   {5, "1600*1200", 1600, 1200}, {6, "1920*1080", 1920, 1080},
                 {7, "2048*1536", 2048, 1536}, {8, "2592*1944", 2592, 1944}, {0, "640*480", 640, 480}};
    for (const auto& size : sizes) {
        window->ui->comboBox->setCurrentIndex(size.index);
        QCOMPARE(m_script.opens.back(), (OpenCall{0, size.width, size.height}));
        QCOMPARE(window->ui->lineEdit->text(), QString::fromLatin1(size.text));
        QVERIFY(window->m_timer->isActive());
        QTRY_VERIFY(window->m_frame.cols == size.width && window->m_frame.rows == size.height);
    }
}

void CameraWindowTest::cameraSwitchResetsTo640x480()
{
    CameraUser* window = showWindow();
    QVERIFY(window);
    window->ui->comboBox->setCurrentIndex(6);
    m_script.opens.clear();

    window->ui->comboBox_2->setCurrentIndex(1);
    QCOMPARE(window->m_currentIndex, 2);
    QCOMPARE(window->ui->comboBox->currentIndex(), 0);
    QCOMPARE(window->ui->lineEdit->text(), QStringLiteral("640*480"));
    // The switch opens at 640 × 480, and resetting the chooser once more.
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{2, 640, 480}, {2, 640, 480}}));

    // Back to the document camera while already at 640 × 480: one open.
    m_script.opens.clear();
    window->ui->comboBox_2->setCurrentIndex(0);
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{0, 640, 480}}));
}

void CameraWindowTest::pictureAtFullSizeInTrueColours()
{
    CameraUser* window = showWindow();
    QVERIFY(window);
    window->ui->comboBox->setCurrentIndex(8);
    // Until the first frame at the new size, "拍照" has nothing to take: the
    // last 640 × 480 frame is not passed off as the new resolution.
    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    QVERIFY(!QFile::exists(kPhoto));
    QTRY_COMPARE(window->m_frame.cols, 2592);
    QTRY_VERIFY(!labelImage(window->ui->cameraPic).isNull());

    // A red scene stays red in the preview and the picture.
    const QImage preview = labelImage(window->ui->cameraPic);
    QCOMPARE(preview.size(), QSize(500, 400));
    QCOMPARE(preview.pixel(250, 200), qRgb(255, 0, 0));

    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    const QImage shown = labelImage(window->ui->grabPic);
    QCOMPARE(shown.size(), QSize(500, 400));
    QCOMPARE(shown.pixel(10, 10), qRgb(255, 0, 0));

    QImage photo(kPhoto, "JPEG");
    QCOMPARE(photo.size(), QSize(2592, 1944));
    QVERIFY2(nearly(photo.pixel(1296, 972), qRgb(255, 0, 0), 8), qPrintable(QString::number(photo.pixel(1296, 972), 16)));
    struct stat info {};
    QCOMPARE(lstat(QFile::encodeName(kPhoto).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));

    // The close button hands over exactly that file's bytes.
    QTest::mouseClick(window->ui->closeCamBtn, Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->m_timer->isActive());
    QCOMPARE(window->getBase64().toLatin1(), readAll(kPhoto).toBase64());
}

void CameraWindowTest::onlyThisWindowsPictureIsReturned()
{
    // An earlier customer's picture is in the file.
    writeFile(kPhoto, "earlier customer");
    CameraUser* window = showWindow();
    QVERIFY(window);
    QTest::mouseClick(window->ui->closeCamBtn, Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QVERIFY(window->getBase64().isEmpty());
    QCOMPARE(readAll(kPhoto), QByteArray("earlier customer"));

    // Two pictures in one window: the last one is returned.
    window = showWindow();
    QVERIFY(window);
    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    m_script.colour = cv::Scalar(255, 0, 0); // blue
    const int before = m_script.reads;
    QTRY_VERIFY(m_script.reads > before);
    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    QTest::mouseClick(window->ui->closeCamBtn, Qt::LeftButton);
    QImage returned;
    QVERIFY(returned.loadFromData(QByteArray::fromBase64(window->getBase64().toLatin1()), "JPEG"));
    QVERIFY(nearly(returned.pixel(5, 5), qRgb(0, 0, 255), 8));
}

void CameraWindowTest::photoFileReplacesAPlantedLink()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("victim"));
    writeFile(target, "precious");
    QVERIFY(QFile::link(target, kPhoto));

    CameraUser* window = showWindow();
    QVERIFY(window);
    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    QCOMPARE(readAll(target), QByteArray("precious"));
    const QFileInfo photo(kPhoto);
    QVERIFY(!photo.isSymLink());
    QVERIFY(photo.isFile());
    QCOMPARE(QImage(kPhoto, "JPEG").size(), QSize(640, 480));
    // No temporary file is left beside it.
    const QStringList leftovers = QDir(QStringLiteral("/tmp")).entryList({QStringLiteral(".kmo_cv.jpg.*")},
                                                                          QDir::Files | QDir::Hidden);
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
}

void CameraWindowTest::noDocumentCameraOpensThePortraitCamera()
{
    m_devices.devices = {{"2", "1b17", "6685"}};
    CameraUser* window = showWindow();
    QVERIFY(window);
    QCOMPARE(m_script.opens, (std::vector<OpenCall>{{2, 640, 480}}));
    QCOMPARE(window->ui->comboBox_2->count(), 1);
    QCOMPARE(window->ui->comboBox_2->itemText(0), QStringLiteral("人像摄像头"));
    // A resolution switch reopens the portrait camera, not a document one.
    window->ui->comboBox->setCurrentIndex(3);
    QCOMPARE(m_script.opens.back(), (OpenCall{2, 1280, 720}));
}

void CameraWindowTest::noCameraAtAll()
{
    m_devices.devices = {{"5", "", ""}}; // a virtual video device without ids
    writeFile(kPhoto, "earlier customer");
    m_window = std::make_unique<CameraUser>();
    CameraUser* window = m_window.get();
    window->show();
    QCOMPARE(window->ui->cameraPic->text(), QStringLiteral("未找到摄像头"));
    QVERIFY(m_script.opens.empty());
    QVERIFY(!window->m_timer->isActive());
    QCOMPARE(window->ui->comboBox_2->count(), 0);

    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    QVERIFY(window->ui->grabPic->pixmap(Qt::ReturnByValue).isNull());
    // Switching the resolution opens nothing and keeps the window.
    window->ui->comboBox->setCurrentIndex(2);
    QVERIFY(m_script.opens.empty());
    QVERIFY(window->isVisible());

    QTest::mouseClick(window->ui->closeCamBtn, Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QVERIFY(window->getBase64().isEmpty());
    QCOMPARE(readAll(kPhoto), QByteArray("earlier customer"));
}

void CameraWindowTest::cameraThatCannotBeOpenedAtStart()
{
    // Found but not opened: the window is still shown, without a picture,
    // and says why.
    m_script.failingSizes = {{0, 640}};
    m_window = std::make_unique<CameraUser>();
    CameraUser* window = m_window.get();
    window->show();
    QVERIFY(window->isVisible());
    QCOMPARE(window->ui->cameraPic->text(), QStringLiteral("摄像头打开失败"));
    QVERIFY(!window->m_timer->isActive());
    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    QVERIFY(!QFile::exists(kPhoto));
    // The operator may still switch to the other camera.
    window->ui->comboBox_2->setCurrentIndex(1);
    QVERIFY(window->isVisible());
    QTRY_VERIFY(!labelImage(window->ui->cameraPic).isNull());
    QTest::mouseClick(window->ui->closeCamBtn, Qt::LeftButton);
    QVERIFY(window->getBase64().isEmpty());
}

void CameraWindowTest::previewReadsTheFramesStride()
{
    // The frame is a view into a wider buffer: its rows are 1000 pixels
    // apart, not 640. Left half red, right half blue, a green surround.
    cv::Mat wide(600, 1000, CV_8UC3, cv::Scalar(0, 255, 0));
    cv::Mat frame = wide(cv::Rect(100, 50, 640, 480));
    frame(cv::Rect(0, 0, 320, 480)).setTo(cv::Scalar(0, 0, 255));
    frame(cv::Rect(320, 0, 320, 480)).setTo(cv::Scalar(255, 0, 0));
    QVERIFY(!frame.isContinuous());

    const QImage preview = camera::previewImage(frame, QSize(500, 400));
    QCOMPARE(preview.size(), QSize(500, 400));
    for (int y : {0, 100, 200, 399}) {
        QCOMPARE(preview.pixel(0, y), qRgb(255, 0, 0));
        QCOMPARE(preview.pixel(248, y), qRgb(255, 0, 0));
        QCOMPARE(preview.pixel(252, y), qRgb(0, 0, 255));
        QCOMPARE(preview.pixel(499, y), qRgb(0, 0, 255));
    }

    // The same through the window, from the frame source.
    m_script.picture = [frame](int, int) { return frame; };
    CameraUser* window = showWindow();
    QVERIFY(window);
    QCOMPARE(labelImage(window->ui->cameraPic), preview.convertToFormat(QImage::Format_RGB32));
    // Grey and BGRA frames, as some back-ends deliver, keep their colours too.
    QCOMPARE(camera::previewImage(cv::Mat(48, 64, CV_8UC1, cv::Scalar(77)), QSize(20, 10)).pixel(3, 3),
             qRgb(77, 77, 77));
    QCOMPARE(camera::previewImage(cv::Mat(48, 64, CV_8UC4, cv::Scalar(10, 20, 30, 255)), QSize(20, 10)).pixel(3, 3),
             qRgb(30, 20, 10));
    QVERIFY(camera::previewImage(cv::Mat(), QSize(20, 10)).isNull());
}

void CameraWindowTest::failedReopenClosesTheWindow()
{
    CameraUser* window = showWindow();
    QVERIFY(window);
    QTest::mouseClick(window->ui->photoBtn, Qt::LeftButton);
    m_script.failingSizes = {{0, 1920}};
    window->ui->comboBox->setCurrentIndex(6);
    QVERIFY(!window->isVisible());
    QVERIFY(!window->m_timer->isActive());
    QVERIFY(window->getBase64().isEmpty());

    // A failed camera switch closes it as well.
    m_script.failingSizes = {{2, 640}};
    window = showWindow();
    QVERIFY(window);
    window->ui->comboBox_2->setCurrentIndex(1);
    QVERIFY(!window->isVisible());
}

QTEST_MAIN(CameraWindowTest)
#include "test_camera_window.moc"
