#include "CameraUser.h"

#include "AtomicFileWrite.h"
#include "CameraDiscovery.h"
#include "CameraIds.h"
#include "PreviewImage.h"
#include "ui_CameraUser.h"

#include <QDebug>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <vector>

namespace {

constexpr int kFrameIntervalMs = 33;

struct Resolution {
    const char* lineEditText;
    int width;
    int height;
};

// Index by index the entries of the resolution chooser.
const Resolution kResolutions[] = {
    {"640*480", 640, 480},     {"800*600", 800, 600},     {"1024*768", 1024, 768},
    {"1280*720", 1280, 720},   {"1280*960", 1280, 960},   {"1600*1200", 1600, 1200},
    {"1920*1080", 1920, 1080}, {"2048*1536", 2048, 1536}, {"2592*1944", 2592, 1944},
};

// The number after "/dev/video" in a node path.
int videoNumber(const char* path)
{
    return std::atoi(path + std::strlen("/dev/video"));
}

} // namespace

CameraUser::CameraUser(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_CameraUser)
    , m_capture(camera::newFrameSource())
{
    qWarning().noquote() << "CameraUser()++";
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    initCamera();

    // After initCamera, so that filling the camera chooser triggers nothing.
    m_timer = new QTimer(this);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(readFrameSlot()));
    connect(ui->photoBtn, SIGNAL(clicked()), this, SLOT(takingPicturesSlot()));
    connect(ui->closeCamBtn, SIGNAL(clicked()), this, SLOT(closeCamaraSlot()));
    connect(ui->comboBox, SIGNAL(currentIndexChanged(QString)), this, SLOT(print_s()));
    connect(ui->comboBox_2, SIGNAL(currentIndexChanged(QString)), this, SLOT(print_camera()));

    m_photoBase64 = QString();
    ui->lineEdit->hide();
    openCamaraSlot();
}

CameraUser::~CameraUser()
{
    qWarning().noquote() << "~CameraUser()--";
    delete ui;
    m_capture->release();
}

const char* CameraUser::photoPath()
{
    return "/tmp/kmo_cv.jpg";
}

QString CameraUser::getBase64() const
{
    return m_photoBase64;
}

int CameraUser::findCameraVideoPath(char* model, char* vendor, char* path)
{
    for (const camera::VideoDevice& device : camera::discovery().videoDevices()) {
        if (device.vendorId.empty() || device.modelId.empty())
            continue;
        if (device.vendorId != vendor || device.modelId != model)
            continue;
        char node[128];
        std::snprintf(node, sizeof(node), "/dev/video%s", device.sysnum.c_str());
        std::strcpy(path, node);
        return 1;
    }
    return 0;
}

int CameraUser::initCamera()
{
    char document[256];
    char portrait[256];
    std::memset(document, 0, sizeof(document));
    std::memset(portrait, 0, sizeof(portrait));
    // The lookup takes writable buffers; the ids are copied out of the table.
    const auto find = [this](const camera::UsbId& id, char* path) {
        std::string model = id.model;
        std::string vendor = id.vendor;
        return findCameraVideoPath(model.data(), vendor.data(), path);
    };
    const auto findPortrait = [&] {
        int found = find(camera::kPortraitCamera.firstChoice, portrait);
        if (!found)
            found = find(camera::kPortraitCamera.fallback, portrait);
        std::printf("t_nFlag2 = %d ,MSG = %s\n", found, portrait);
        return found;
    };

    int documentFound = find(camera::kDocumentCamera.firstChoice, document);
    if (documentFound) {
        std::printf("t_nFlag1 = %d ,MSG = %s\n", 1, document);
    } else {
        documentFound = find(camera::kDocumentCamera.fallback, document);
        std::printf("t_nFlag1 = %d ,MSG = %s\n", documentFound, document);
    }
    const int portraitFound = findPortrait();

    int result = 0;
    if (!documentFound && !portraitFound) {
        result = -1;
    } else {
        if (documentFound) {
            m_documentIndex = videoNumber(document);
            std::printf("t_nFlag1 == 1");
            ui->comboBox_2->addItem(QString::fromUtf8(camera::kDocumentCamera.chooserText), m_documentIndex);
        }
        if (portraitFound) {
            m_portraitIndex = videoNumber(portrait);
            std::printf("t_nFlag1 == 2");
            ui->comboBox_2->addItem(QString::fromUtf8(camera::kPortraitCamera.chooserText), m_portraitIndex);
        }
    }
    std::fflush(stdout);
    return result;
}

bool CameraUser::reopen(int width, int height)
{
    // A frame of the camera or size being left must not become the picture
    // if "拍照" is pressed before the first new frame arrives.
    m_frame.release();
    m_capture->release();
    return m_capture->open(m_currentIndex, width, height);
}

void CameraUser::showNoCamera(const QString& text)
{
    ui->cameraPic->setAlignment(Qt::AlignCenter);
    ui->cameraPic->setText(text);
}

void CameraUser::openCamaraSlot()
{
    // The document camera by default; without one the portrait camera, and
    // without either nothing is opened.
    m_currentIndex = m_documentIndex >= 0 ? m_documentIndex : m_portraitIndex;
    if (m_currentIndex < 0) {
        showNoCamera(QStringLiteral("未找到摄像头"));
        return;
    }
    if (reopen(640, 480)) {
        m_timer->start(kFrameIntervalMs);
        return;
    }
    qDebug().noquote() << "open camera error";
    showNoCamera(QStringLiteral("摄像头打开失败"));
    close();
}

void CameraUser::readFrameSlot()
{
    if (!m_capture->read(m_frame) || m_frame.empty())
        return;
    m_preview = camera::previewImage(m_frame, ui->cameraPic->size());
    ui->cameraPic->setPixmap(QPixmap::fromImage(m_preview));
}

void CameraUser::takingPicturesSlot()
{
    if (m_frame.empty())
        return;
    m_preview = m_preview.scaled(ui->grabPic->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    ui->grabPic->setPixmap(QPixmap::fromImage(m_preview));

    // The full camera frame, not the preview.
    std::vector<uchar> jpeg;
    if (!cv::imencode(".jpg", m_frame, jpeg)) {
        qWarning().noquote() << "cannot encode the picture";
        return;
    }
    m_photoJpeg = QByteArray(reinterpret_cast<const char*>(jpeg.data()), int(jpeg.size()));
    // A customer's face or papers: for this user's eyes only.
    writeFileAtomically(QString::fromLatin1(photoPath()), m_photoJpeg, 0600);
}

void CameraUser::closeCamaraSlot()
{
    m_photoBase64 = QString::fromLatin1(m_photoJpeg.toBase64());
    m_timer->stop();
    ui->cameraPic->setPixmap(QPixmap());
    close();
}

void CameraUser::closeSlot()
{
    close();
}

void CameraUser::print_s()
{
    const int index = ui->comboBox->currentIndex();
    if (index < 0 || index >= int(std::size(kResolutions)))
        return;
    const Resolution& resolution = kResolutions[index];
    ui->lineEdit->setText(QString::fromLatin1(resolution.lineEditText));
    if (m_currentIndex < 0)
        return; // no camera: nothing to reopen
    m_timer->stop();
    ui->cameraPic->setPixmap(QPixmap());
    if (reopen(resolution.width, resolution.height)) {
        m_timer->start(kFrameIntervalMs);
        return;
    }
    qDebug().noquote() << "open camera error";
    close();
}

void CameraUser::print_camera()
{
    const int index = ui->comboBox_2->currentIndex();
    if (index != 0 && index != 1)
        return;
    m_timer->stop();
    ui->cameraPic->setPixmap(QPixmap());
    // The entry carries its camera's device number: with one camera only,
    // its entry is the first whichever role it plays.
    m_currentIndex = ui->comboBox_2->itemData(index).toInt();
    ui->lineEdit->setText(QStringLiteral("640*480"));
    if (reopen(640, 480)) {
        m_timer->start(kFrameIntervalMs);
    } else {
        qDebug().noquote() << "open camera error";
        close();
    }
    ui->comboBox->setCurrentIndex(0);
}
