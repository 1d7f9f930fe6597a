#include "MouseAsPen.h"

#include "MainWindow.h"
#include "SignData.h"
#include "SignScreen.h"

#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int kPadRangeX = 21692;
constexpr int kPadRangeY = 13564;
constexpr int kReportMax = 0xFFFF; // reports carry unsigned 16-bit values
} // namespace

int convertLogicalToPhysicalValue(int logical, int physicalRange, int logicalRange)
{
    if (logicalRange == 0 || physicalRange == 0)
        return 0;
    long long v = std::llround(std::ceil(double(logical) * physicalRange / logicalRange));
    v = std::clamp<long long>(v, 0, kReportMax);
    // Floating point may land one off either way; settle on the smallest
    // value that maps to the wanted pixel.
    while (v > 0 && convertPhysicalTologicalValue(int(v - 1), physicalRange, logicalRange) >= logical)
        --v;
    while (v < kReportMax && convertPhysicalTologicalValue(int(v), physicalRange, logicalRange) < logical)
        ++v;
    return int(v);
}

MouseAsPen::MouseAsPen(QWidget* signWindow, Sink sink)
    : QObject(signWindow)
    , m_area(signWindow->findChild<QWidget*>(QStringLiteral("wgtHandwriting")))
    , m_sink(std::move(sink))
{
    if (m_area)
        m_area->installEventFilter(this);
}

QPoint MouseAsPen::padPointForWindow(const QPoint& windowPos)
{
    // The window maps pad → sign screen → minus the configured corner.
    // Summed wide: the settings hold whatever a page stored.
    const auto wide = [](qint64 v) {
        return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    const int sx = wide(qint64(windowPos.x()) + g_SignData.winX);
    const int sy = wide(qint64(windowPos.y()) + g_SignData.winY);
    const SignScreen screen = signScreen();
    return {convertLogicalToPhysicalValue(sx, kPadRangeX, screen.width),
            convertLogicalToPhysicalValue(sy, kPadRangeY, screen.height)};
}

QPoint MouseAsPen::padPointForArea(const QWidget* writingArea, const QPoint& areaPos)
{
    return padPointForWindow(areaPos + writingArea->pos());
}

bool MouseAsPen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_area)
        return false;
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
        m_down = true;
    else if (type == QEvent::MouseMove && !(m_down && (mouse->buttons() & Qt::LeftButton)))
        return false; // hovering writes nothing
    else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton && m_down)
        m_down = false;
    else if (type != QEvent::MouseMove)
        return false;

    const QPoint pad = padPointForArea(m_area, mouse->pos());
    m_sink(pad.x(), pad.y(), m_down ? kPressure : 0);
    return true;
}
