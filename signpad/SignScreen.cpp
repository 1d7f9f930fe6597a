#include "SignScreen.h"

#include "SignData.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
bool s_standIn = false;
} // namespace

QString SignScreen::describe() const
{
    return QStringLiteral("%1,%2 %3x%4").arg(x).arg(y).arg(width).arg(height);
}

void setSignScreenStandIn(bool enabled)
{
    s_standIn = enabled;
}

bool onAnyScreen(qint64 x, qint64 y, qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        if (x < qint64(g.x()) + g.width() && x + width > g.x() && y < qint64(g.y()) + g.height() && y + height > g.y())
            return true;
    }
    return false;
}

SignScreen signScreen()
{
    SignScreen page{g_SignData.screenX, g_SignData.screenY, g_SignData.screenWidth, g_SignData.screenHeight, false};
    if (!s_standIn || onAnyScreen(page.x, page.y, page.width, page.height))
        return page;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return page;
    const QRect area = primary->availableGeometry();
    return {area.x(), area.y(), area.width(), area.height(), true};
}
