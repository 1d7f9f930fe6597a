#include "MainWindow.h"

#include "SignData.h"
#include "SignScreen.h"
#include "ui_MainWindow.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QDebug>
#include <QPainter>
#include <QPixmap>
#include <QRectF>

#include <cmath>
#include <limits>

namespace {

// The pad's coordinate range across its whole surface.
constexpr int kPadRangeX = 21692;
constexpr int kPadRangeY = 13564;

struct SampleRecord {
    int x = 0;
    int y = 0;
    int p = 0;
};

// Truncates toward zero; the settings are whatever a page stored, so a
// result beyond int is held at its end instead of overflowing.
int toInt(double value)
{
    if (!(value == value))
        return 0;
    return int(qBound(double(std::numeric_limits<int>::min()), std::trunc(value),
                      double(std::numeric_limits<int>::max())));
}

QColor opaque(qint64 rgb)
{
    return QColor(QRgb(0xFF000000u | (quint32(rgb) & 0xFFFFFFu)));
}

} // namespace

int convertPhysicalTologicalValue(int value, int physicalRange, int logicalRange)
{
    return toInt(double(logicalRange) / double(physicalRange) * double(value));
}

MainWindow::MainWindow(QWidget* parent)
    : QDialog(parent)
    , m_result(-1)
    , m_endedByCommand(false)
    , m_closeAllowed(false)
    , ui(new Ui_MainWindow)
    , m_canvas(nullptr)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    const SignScreen screen = signScreen();
    if (screen.standIn)
        qWarning().noquote() << QStringLiteral("sign screen %1,%2 %3x%4 is on no screen; "
                                               "the primary screen's %5 stands in")
                                    .arg(g_SignData.screenX)
                                    .arg(g_SignData.screenY)
                                    .arg(g_SignData.screenWidth)
                                    .arg(g_SignData.screenHeight)
                                    .arg(screen.describe());
    const qint64 left = qint64(screen.x) + g_SignData.winX;
    const qint64 top = qint64(screen.y) + g_SignData.winY;
    if (!onAnyScreen(left, top, g_SignData.winWidth, g_SignData.winHeight))
        qWarning().noquote() << QStringLiteral("signing window %1,%2 %3x%4 is on no screen")
                                    .arg(left)
                                    .arg(top)
                                    .arg(g_SignData.winWidth)
                                    .arg(g_SignData.winHeight);
    move(screen.x + g_SignData.winX, screen.y + g_SignData.winY);
    setFixedSize(g_SignData.winWidth, g_SignData.winHeight);
    setWindowOpacity(g_SignData.transparency * 0.01);

    // Lets the layouts give the writing area its final size before the
    // canvas is made to match it.
    show();
    hide();

    ui->labelTitle->setText(g_SignData.titleText);
    ui->btnCancel->setText(g_SignData.cancelText);
    ui->btnResign->setText(g_SignData.resignText);
    ui->btnOK->setText(g_SignData.okText);

    m_canvas = new QPixmap(ui->wgtHandwriting->width(), ui->wgtHandwriting->height());
    m_canvas->fill(opaque(g_SignData.backColor));
    ui->wgtHandwriting->setPixmap(*m_canvas);
}

MainWindow::~MainWindow()
{
    delete m_canvas;
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Only the window's own outcomes may close it; the window manager may not.
    if (m_closeAllowed)
        event->accept();
    else
        event->ignore();
}

void MainWindow::on_btnOK_clicked()
{
    m_closeAllowed = true;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (m_canvas->save(&buffer, "PNG", 20)) {
        m_base64 = png.toBase64();
        m_result = 0;
    }
    close();
}

void MainWindow::on_btnCancel_clicked()
{
    if (g_SignData.cancelLocked)
        return;
    m_closeAllowed = true;
    m_result = -1;
    close();
}

void MainWindow::on_btnResign_clicked()
{
    btnResign_clicked();
}

void MainWindow::btnResign_clicked()
{
    if (g_SignData.resignLocked)
        return;
    m_canvas->fill(Qt::white);
    ui->wgtHandwriting->setPixmap(*m_canvas);
}

void MainWindow::on_findDeviceErro()
{
    m_closeAllowed = true;
    m_result = -2;
    close();
}

void MainWindow::on_openDeviceErro()
{
    m_closeAllowed = true;
    m_result = -3;
    close();
}

void MainWindow::on_readDataErro()
{
}

void MainWindow::onsEndSign()
{
    m_result = -88;
    m_endedByCommand = true;
    m_closeAllowed = true;
    close();
}

void MainWindow::on_getDataOk(int x, int y, int p)
{
    // The last raw sample, kept across windows: a lift is a pressed sample
    // followed by a pen-up one.
    static SampleRecord s_info_Last;

    const SignScreen screen = signScreen();
    const int sx = convertPhysicalTologicalValue(x, kPadRangeX, screen.width);
    const int sy = convertPhysicalTologicalValue(y, kPadRangeY, screen.height);
    const QPointF currentTuchPt(double(screen.x) + sx, double(screen.y) + sy);

    // The configured corner, not the window's actual position, anchors the
    // mapping: the pad's screen is where the page said the window is.
    const QPoint area = ui->wgtHandwriting->pos();
    DrawWgtHandWriting(toInt(double(sx) - g_SignData.winX - area.x()), toInt(double(sy) - g_SignData.winY - area.y()),
                       p);

    if (p == 0 && s_info_Last.p != 0) {
        const double cornerX = double(screen.x) + g_SignData.winX;
        const double cornerY = double(screen.y) + g_SignData.winY;
        const auto globalRect = [&](const QWidget* button) {
            return QRectF(cornerX + button->x(), cornerY + button->y(), button->width(), button->height());
        };

        const QRectF btnCancel_GloablRct = globalRect(ui->btnCancel);
        // The corner may lie far outside int when a page stored extreme
        // settings: clamped, as the drawing does.
        qDebug("btnCancel_GloablRct x:%d,y:%d, w:%d,h:%d\r\n", toInt(btnCancel_GloablRct.x()),
               toInt(btnCancel_GloablRct.y()), toInt(btnCancel_GloablRct.width()), toInt(btnCancel_GloablRct.height()));
        qDebug("currentTuchPt x:%f,y:%f\r\n", currentTuchPt.x(), currentTuchPt.y());
        if (btnCancel_GloablRct.contains(currentTuchPt)) {
            qDebug("btnCancel_GloablRct.contains(currentTuchPt) \r\n");
            ui->btnCancel->click();
        }
        if (globalRect(ui->btnResign).contains(currentTuchPt))
            ui->btnResign->click();
        if (globalRect(ui->btnOK).contains(currentTuchPt))
            ui->btnOK->click();
    }
    s_info_Last = {x, y, p};
}

void MainWindow::DrawWgtHandWriting(int x, int y, int p)
{
    // The last point drawn, in canvas coordinates, kept across windows.
    static SampleRecord s_info_Last;

    if (p == 0) {
        s_info_Last = {x, y, 0};
        return;
    }
    // A page may store a negative pen width. Qt does not support negative
    // widths (it draws nothing with them), which would let the customer sign
    // without seeing ink and send a blank signature; such a width is drawn
    // with the thinnest pen instead, as a width of 0 is.
    const int width =
        qMax(0, toInt(((double(s_info_Last.p) + p) * 0.5 + 1.0) * (1.0 / 1024) * g_SignData.penWidth));

    QPainter painter(m_canvas);
    painter.setPen(QPen(opaque(g_SignData.penColor), width, Qt::SolidLine, Qt::RoundCap));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (s_info_Last.p != 0)
        painter.drawLine(QPoint(s_info_Last.x, s_info_Last.y), QPoint(x, y));
    else
        painter.drawPoint(QPoint(x, y));
    painter.end();

    ui->wgtHandwriting->setPixmap(*m_canvas);
    s_info_Last = {x, y, p};
}
