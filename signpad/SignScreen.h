#pragma once

#include <QString>

// The sign screen: the desktop rectangle onto which the pad's surface is
// mapped and from which the signing window's corner is measured. Normally
// it is the rectangle a page set (g_SignData's screenX … screenHeight).
//
// When simulating, the pad's own screen is not there: on a one-monitor
// desktop the default rectangle (just right of a 1920-pixel main screen)
// lies on no screen, and the window would open where nobody sees it. So,
// with the stand-in switched on, a rectangle that lies on no screen is
// replaced by the primary screen's available area. The window's position
// and every pen mapping (the window's, the mouse's, scripted strokes') go
// through signScreen(), so they agree whichever rectangle is in force.
struct SignScreen {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool standIn = false; // the primary screen's area, not the page's rectangle

    QString describe() const; // "x,y widthxheight"
};

// Switched on by --simulate; off by default.
void setSignScreenStandIn(bool enabled);

SignScreen signScreen();

// Whether any part of the rectangle is on one of the desktop's screens.
// Computed wide: the values are whatever a page stored.
bool onAnyScreen(qint64 x, qint64 y, qint64 width, qint64 height);
