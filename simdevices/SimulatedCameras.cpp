#include "SimulatedCameras.h"

#include "CameraIds.h"

#include <QDateTime>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace simdevices {

namespace {

// Both scenes are drawn for 640 × 480 and scaled to the size asked for.
constexpr double kBaseWidth = 640;
constexpr double kBaseHeight = 480;

const char* const kPageTitle = "房屋租赁合同";
const char* const kPageLines[] = {
    "出租方（甲方）：张伟        承租方（乙方）：李娜",
    "第一条  甲方将位于本市东城区和平路 18 号 3 单元",
    "        502 室的房屋出租给乙方居住使用。",
    "第二条  租赁期限自 2024 年 3 月 1 日起至",
    "        2025 年 2 月 28 日止，共计十二个月。",
    "第三条  月租金为人民币叁仟伍佰元整（¥3500），",
    "        乙方应于每月 5 日前支付当月租金。",
    "第四条  押金为一个月租金，租期届满后无息退还。",
    "第五条  租赁期间，乙方不得擅自转租或改变用途。",
    "第六条  本合同一式两份，甲乙双方各执一份。",
};

cv::Mat bgrFromImage(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                       size_t(rgb.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

void paintDocument(QPainter& p)
{
    p.fillRect(QRectF(0, 0, kBaseWidth, kBaseHeight), QColor(74, 66, 58)); // the desk
    const QRectF page(190, 22, 300, 436);
    p.fillRect(page.translated(6, 6), QColor(40, 35, 30));
    p.fillRect(page, QColor(252, 251, 246));

    QFont title(QStringLiteral("Noto Sans CJK SC"));
    title.setPixelSize(20);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(25, 25, 25));
    p.drawText(QRectF(page.left(), page.top() + 26, page.width(), 30), Qt::AlignHCenter, QString::fromUtf8(kPageTitle));

    QFont body(QStringLiteral("Noto Sans CJK SC"));
    body.setPixelSize(10);
    p.setFont(body);
    p.setPen(QColor(45, 45, 45));
    double y = page.top() + 82;
    for (const char* line : kPageLines) {
        p.drawText(QPointF(page.left() + 22, y), QString::fromUtf8(line));
        y += 24;
    }
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.drawText(QPointF(page.left() + 22, page.bottom() - 58), QString::fromUtf8("甲方签字："));
    p.drawText(QPointF(page.left() + 160, page.bottom() - 58), QString::fromUtf8("乙方签字："));
    p.drawLine(QPointF(page.left() + 75, page.bottom() - 56), QPointF(page.left() + 145, page.bottom() - 56));
    p.drawLine(QPointF(page.left() + 213, page.bottom() - 56), QPointF(page.left() + 283, page.bottom() - 56));
    // The landlord's seal.
    p.setPen(QPen(QColor(200, 30, 30), 2.5));
    p.drawEllipse(QPointF(page.left() + 95, page.bottom() - 70), 26, 26);
}

void paintPortrait(QPainter& p)
{
    p.fillRect(QRectF(0, 0, kBaseWidth, kBaseHeight), QColor(67, 142, 219)); // ID-photo blue
    p.setPen(Qt::NoPen);
    // Shoulders in a dark jacket, a white collar.
    QPainterPath shoulders;
    shoulders.moveTo(150, 480);
    shoulders.cubicTo(160, 390, 230, 370, 320, 368);
    shoulders.cubicTo(410, 370, 480, 390, 490, 480);
    shoulders.closeSubpath();
    p.setBrush(QColor(38, 42, 54));
    p.drawPath(shoulders);
    QPainterPath collar;
    collar.moveTo(285, 370);
    collar.lineTo(320, 425);
    collar.lineTo(355, 370);
    collar.closeSubpath();
    p.setBrush(QColor(245, 245, 245));
    p.drawPath(collar);
    // Neck, hair behind the face, the face, ears.
    p.setBrush(QColor(226, 180, 150));
    p.drawRect(QRectF(295, 300, 50, 78));
    p.setBrush(QColor(30, 24, 22));
    p.drawEllipse(QRectF(240, 95, 160, 170));
    p.setBrush(QColor(236, 194, 164));
    p.drawEllipse(QRectF(246, 208, 22, 40));
    p.drawEllipse(QRectF(372, 208, 22, 40));
    p.drawEllipse(QRectF(255, 130, 130, 185));
    p.setBrush(QColor(30, 24, 22));
    p.drawChord(QRectF(250, 100, 140, 110), 0, 180 * 16); // fringe
    // Brows, eyes, nose, mouth.
    p.setPen(QPen(QColor(40, 30, 25), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(280, 200), QPointF(308, 196));
    p.drawLine(QPointF(332, 196), QPointF(360, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QRectF(283, 210, 24, 12));
    p.drawEllipse(QRectF(333, 210, 24, 12));
    p.setBrush(QColor(45, 30, 20));
    p.drawEllipse(QPointF(295, 216), 5, 5);
    p.drawEllipse(QPointF(345, 216), 5, 5);
    p.setPen(QPen(QColor(190, 140, 115), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(320, 225), QPointF(314, 258));
    p.drawLine(QPointF(314, 258), QPointF(326, 260));
    p.setPen(QPen(QColor(180, 70, 70), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(300, 262, 40, 22), 200 * 16, 140 * 16);
}

} // namespace

SimulatedCamera::SimulatedCamera(Scene scene, std::string vendorId, std::string modelId, std::vector<int> nodes)
    : m_scene(scene)
    , m_vendorId(std::move(vendorId))
    , m_modelId(std::move(modelId))
    , m_nodes(std::move(nodes))
{
}

void SimulatedCamera::paintScene(QImage& canvas) const
{
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Uniformly scaled and centred: a 16:9 size shows more desk or backdrop
    // at the sides, as a real camera's wider picture would.
    const QColor surround = m_scene == Scene::Document ? QColor(74, 66, 58) : QColor(67, 142, 219);
    painter.fillRect(canvas.rect(), surround);
    const double scale = std::min(canvas.width() / kBaseWidth, canvas.height() / kBaseHeight);
    painter.translate((canvas.width() - kBaseWidth * scale) / 2, (canvas.height() - kBaseHeight * scale) / 2);
    painter.scale(scale, scale);
    if (m_scene == Scene::Document)
        paintDocument(painter);
    else
        paintPortrait(painter);
}

void SimulatedCamera::drawLive(cv::Mat& frame, double seconds) const
{
    // What shows the picture is live: a dot circling once in two seconds,
    // the size the camera was opened with and the time it has been open.
    const double unit = frame.rows / kBaseHeight;
    const double angle = seconds * M_PI;
    const cv::Point centre(int(frame.cols - 70 * unit + 40 * unit * std::cos(angle)),
                           int(70 * unit + 40 * unit * std::sin(angle)));
    cv::circle(frame, centre, std::max(2, int(11 * unit)), cv::Scalar(40, 40, 230), cv::FILLED, cv::LINE_AA);

    const std::string label = std::to_string(frame.cols) + " x " + std::to_string(frame.rows);
    char clock[32];
    std::snprintf(clock, sizeof(clock), "%.1f s", seconds);
    const double scale = 0.8 * unit;
    const int thickness = std::max(1, int(2 * unit));
    const cv::Point at(int(14 * unit), frame.rows - int(16 * unit));
    for (const auto& [text, origin] : {std::pair{label, at}, std::pair{std::string(clock), at - cv::Point(0, int(30 * unit))}}) {
        cv::putText(frame, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(0, 0, 0), thickness + 3, cv::LINE_AA);
        cv::putText(frame, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255, 255, 255), thickness, cv::LINE_AA);
    }
}

void SimulatedCamera::compose(cv::Mat& frame, int width, int height, double seconds, const QImage& image)
{
    const qint64 imageKey = image.isNull() ? 0 : image.cacheKey();
    if (m_background.cols != width || m_background.rows != height || m_backgroundImageKey != imageKey) {
        QImage canvas;
        if (image.isNull()) {
            canvas = QImage(width, height, QImage::Format_RGB888);
            paintScene(canvas);
        } else {
            canvas = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        m_background = bgrFromImage(canvas);
        m_backgroundImageKey = imageKey;
    }
    m_background.copyTo(frame);
    // A scripted picture is shown as it is, so a page or test sees exactly it.
    if (image.isNull())
        drawLive(frame, seconds);
}

SimulatedCameras::SimulatedCameras()
    // The first choice of each role, as udev would report the real ones.
    : document(SimulatedCamera::Scene::Document, camera::kDocumentCamera.firstChoice.vendor,
               camera::kDocumentCamera.firstChoice.model, {0, 1})
    , portrait(SimulatedCamera::Scene::Portrait, camera::kPortraitCamera.firstChoice.vendor,
               camera::kPortraitCamera.firstChoice.model, {2})
{
}

std::vector<camera::VideoDevice> SimulatedCameras::videoDevices()
{
    std::vector<camera::VideoDevice> devices;
    for (const SimulatedCamera* camera : {&document, &portrait}) {
        if (!camera->present)
            continue;
        for (int node : camera->nodes())
            devices.push_back({std::to_string(node), camera->vendorId(), camera->modelId()});
    }
    return devices;
}

SimulatedCamera* SimulatedCameras::cameraAt(int device)
{
    // Only the first node captures; the second of a camera is its metadata.
    for (SimulatedCamera* camera : {&document, &portrait})
        if (camera->present && !camera->nodes().empty() && camera->nodes().front() == device)
            return camera;
    return nullptr;
}

SimulatedFrameSource::SimulatedFrameSource(SimulatedCameras& cameras)
    : m_cameras(cameras)
{
}

bool SimulatedFrameSource::open(int device, int width, int height)
{
    m_device = -1;
    if (!m_cameras.cameraAt(device) || width <= 0 || height <= 0)
        return false;
    m_device = device;
    m_width = width;
    m_height = height;
    m_openedAtMs = QDateTime::currentMSecsSinceEpoch();
    return true;
}

bool SimulatedFrameSource::read(cv::Mat& frame)
{
    SimulatedCamera* camera = m_device >= 0 ? m_cameras.cameraAt(m_device) : nullptr;
    if (!camera) { // never opened, or unplugged since
        frame.release();
        return false;
    }
    const double seconds = (QDateTime::currentMSecsSinceEpoch() - m_openedAtMs) / 1000.0;
    camera->compose(frame, m_width, m_height, seconds, m_cameras.image());
    return true;
}

SimulatedCameras& simulatedCameras()
{
    static auto* cameras = new SimulatedCameras;
    return *cameras;
}

} // namespace simdevices

namespace camera {

void useSimulatedCameras()
{
    simdevices::SimulatedCameras& cameras = simdevices::simulatedCameras();
    setDiscovery(cameras);
    setFrameSourceFactory([&cameras] { return std::make_unique<simdevices::SimulatedFrameSource>(cameras); });
}

} // namespace camera
