#pragma once

// What the signing-window tests read off and feed into a real MainWindow:
// its canvas as pixels, where the writing area sits, and pen samples handed
// to it as the sampling thread hands them.
#include "MainWindow.h"
#include "SignData.h"

#include <QImage>
#include <QLabel>
#include <QMetaObject>
#include <QTest>

namespace signprobe {

inline const struct_GLOBALSSIGNDATA kDefaults;

inline QImage canvasOf(MainWindow& window)
{
    const auto* area = window.findChild<QLabel*>(QStringLiteral("wgtHandwriting"));
    return area->pixmap()->toImage().convertToFormat(QImage::Format_RGB32);
}

inline QPoint areaOrigin(MainWindow& window)
{
    return window.findChild<QLabel*>(QStringLiteral("wgtHandwriting"))->pos();
}

inline void sample(MainWindow& window, int x, int y, int p)
{
    QVERIFY(QMetaObject::invokeMethod(&window, "on_getDataOk", Q_ARG(int, x), Q_ARG(int, y), Q_ARG(int, p)));
}

} // namespace signprobe
