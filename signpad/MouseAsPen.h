#pragma once

#include <QObject>
#include <functional>

// Inverse of convertPhysicalTologicalValue: the smallest value in
// 0..65535 that maps to `logical` (or the nearest end of that range).
int convertLogicalToPhysicalValue(int logical, int physicalRange, int logicalRange);

// Lets the mouse write on a signing window as the pen does: presses, drags
// and releases on the writing area become pen reports in pad units (the
// inverse of the window's own mapping, so the ink lands under the pointer),
// handed to `sink`. The buttons keep taking ordinary mouse clicks.
class MouseAsPen : public QObject {
    Q_OBJECT
public:
    using Sink = std::function<void(int x, int y, int pressure)>;

    // Watches the window's writing area; parented to the window.
    MouseAsPen(QWidget* signWindow, Sink sink);

    // Pad coordinates of a point of the writing area, from the settings the
    // window was built with.
    static QPoint padPointForArea(const QWidget* writingArea, const QPoint& areaPos);
    // Pad coordinates of a point given relative to the window's corner.
    static QPoint padPointForWindow(const QPoint& windowPos);

    static constexpr int kPressure = 1023;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_area;
    Sink m_sink;
    bool m_down = false;
};
