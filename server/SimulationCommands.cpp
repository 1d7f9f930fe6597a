#include "TextMessageProcessor.h"

#include "GlobalObject.h"
#include "IdCardSimulation.h"
#include "MainWindow.h"
#include "MouseAsPen.h"
#include "QGetHandWrtingDevData.h"
#include "SimulatedPad.h"
#include "SignScreen.h"
#include "Simulation.h"
#include "SimulationMode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>

namespace {

bool s_simulating = false;

// Reports reach a window only through the running sampling thread; queued
// while it is stopped they would turn up in some later signature.
bool padSampling()
{
    return g_globalObj->samplingThread->isRunning();
}

struct PenPoint {
    int x, y, p;
};

// "points": [[x, y, pressure], ...]; false with a reason for anything else.
bool readPoints(const QJsonObject& request, bool windowUnits, QVector<PenPoint>& points, QString& error)
{
    const QJsonValue value = request.value(QStringLiteral("points"));
    if (!value.isArray() || value.toArray().isEmpty()) {
        error = QStringLiteral("points must be a non-empty array of [x, y, pressure]");
        return false;
    }
    for (const QJsonValue& item : value.toArray()) {
        const QJsonArray triple = item.toArray();
        if (!item.isArray() || triple.size() != 3) {
            error = QStringLiteral("every point must be [x, y, pressure]");
            return false;
        }
        int v[3];
        for (int i = 0; i < 3; ++i) {
            const double d = triple.at(i).toDouble(-1);
            if (!triple.at(i).isDouble() || d < -100000 || d > 100000 || d != int(d)) {
                error = QStringLiteral("point values must be integers");
                return false;
            }
            v[i] = int(d);
        }
        if (windowUnits) {
            const QPoint pad = MouseAsPen::padPointForWindow(QPoint(v[0], v[1]));
            v[0] = pad.x();
            v[1] = pad.y();
        }
        for (int i = 0; i < 3; ++i) {
            if (v[i] < 0 || v[i] > 0xFFFF) {
                error = QStringLiteral("pad values must lie in 0..65535");
                return false;
            }
        }
        points.append({v[0], v[1], v[2]});
    }
    return true;
}

} // namespace

void enableSimulation()
{
    usb::useSimulatedDevices();
    usb::attachSimulatedCardReaders();
    // The pad's own screen is missing too: a sign screen that lies on no
    // screen gives way to the primary one, so the window is seen.
    setSignScreenStandIn(true);
    s_simulating = true;
}

bool simulationEnabled()
{
    return s_simulating;
}

void attachSimulatedPen(MainWindow* window)
{
    if (!s_simulating)
        return;
    new MouseAsPen(window, [](int x, int y, int p) {
        if (padSampling())
            simulatedPad().pushReport(uint16_t(x), uint16_t(y), uint16_t(p));
    });
}

void CTextMessageProcessor::SimPenStroke(QString functionName, QWebSocket* client, QString message)
{
    const QJsonObject request = QJsonDocument::fromJson(message.toUtf8()).object();
    const QString unit = request.value(QStringLiteral("unit")).toString(QStringLiteral("pad"));
    QVector<PenPoint> points;
    QString error;
    if (unit != QLatin1String("pad") && unit != QLatin1String("window"))
        error = QStringLiteral("unit must be \"pad\" or \"window\"");
    else if (!padSampling())
        error = QStringLiteral("the pad is not started (ZCStartDeviceAB)");
    else
        readPoints(request, unit == QLatin1String("window"), points, error);
    if (!error.isEmpty()) {
        sendReply(client, CreateJson(functionName, 0, error, QString(), QString()));
        return;
    }
    for (const PenPoint& point : points)
        simulatedPad().pushReport(uint16_t(point.x), uint16_t(point.y), uint16_t(point.p));
    sendReply(client, CreateJson(functionName, 1, QString(), QString::number(points.size()), QString()));
}
