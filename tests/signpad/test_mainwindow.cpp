// The signing window, built and driven for real on the offscreen platform.
#include "MainWindow.h"
#include "SignWindowProbe.h"
#include "MouseAsPen.h"
#include "SignData.h"

#include <QApplication>
#include <QBuffer>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>
#include <memory>
#include <optional>

namespace {

using namespace signprobe;

// Amount of ink crossing a column: the sum of darkness, in pixels. A line
// of width w laid across the column gives about w, antialiasing included.
double inkAcross(const QImage& image, int column, int fromRow, int toRow)
{
    double ink = 0;
    for (int row = fromRow; row <= toRow; ++row)
        ink += (255 - qGray(image.pixel(column, row))) / 255.0;
    return ink;
}

double inkAlongRow(const QImage& image, int row, int fromColumn, int toColumn)
{
    double ink = 0;
    for (int column = fromColumn; column <= toColumn; ++column)
        ink += (255 - qGray(image.pixel(column, row))) / 255.0;
    return ink;
}

// A pen sample whose ink lands at `windowPos` (window coordinates).
void sampleAtWindow(MainWindow& window, QPoint windowPos, int p)
{
    const QPoint pad = MouseAsPen::padPointForWindow(windowPos);
    sample(window, pad.x(), pad.y(), p);
}

QPushButton* button(MainWindow& window, const char* name)
{
    return window.findChild<QPushButton*>(QLatin1String(name));
}

// exec() for a window that a step queued beforehand is to close. Should the
// slot under test not close it, the window is hidden after a generous bound
// and the caller fails there, instead of waiting for CTest's time-out.
std::optional<int> execBounded(MainWindow& window)
{
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &window, [&] {
        stuck = true;
        window.done(QDialog::Rejected);
    });
    guard.start(10000);
    const int code = window.exec();
    return stuck ? std::nullopt : std::optional<int>(code);
}

void mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { g_SignData = kDefaults; }
    void cleanup() { g_SignData = kDefaults; }

    void widgetTreeAndTexts();
    void geometryAndOpacityFromSettings();
    void padToScreenMapping();
    void penWidthFollowsPressure();
    void strokesLandWhereThePenIs();
    void penLiftPressesButtons();
    void hoveringPressesNothingTwice();
    void okEncodesThePng();
    void escapeAndCloseRequests();
    void resignClearsToWhite();
    void lastSampleCarriesOverToTheNextWindow();
    void mouseWritesAsThePen();
    void extremeSettingsDoNotBreakDrawing();
};

void MainWindowTest::widgetTreeAndTexts()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("HandWriting"));
    QCOMPARE(window.styleSheet(), QStringLiteral("background-color: rgb(255, 255, 255);"));
    QVERIFY(window.windowFlags() & Qt::Tool);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!window.isVisible());

    auto* outer = qobject_cast<QHBoxLayout*>(window.layout());
    QVERIFY(outer);
    QCOMPARE(outer->objectName(), QStringLiteral("horizontalLayout_4"));
    QCOMPARE(outer->spacing(), 0);
    QCOMPARE(outer->contentsMargins(), QMargins(0, 0, 0, 0));
    auto* column = qobject_cast<QVBoxLayout*>(outer->itemAt(0)->layout());
    QVERIFY(column);
    QCOMPARE(column->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(column->spacing(), 0);
    QCOMPARE(column->contentsMargins(), QMargins(0, 0, 0, 2));
    QCOMPARE(column->count(), 3);
    const QStringList rows{QStringLiteral("horizontalLayout"), QStringLiteral("horizontalLayout_2"),
                           QStringLiteral("horizontalLayout_3")};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(column->itemAt(i)->layout()->objectName(), rows[i]);
    auto* buttons = qobject_cast<QHBoxLayout*>(column->itemAt(2)->layout());
    QCOMPARE(buttons->spacing(), 10);
    QCOMPARE(buttons->contentsMargins().right(), 2);
    QCOMPARE(buttons->itemAt(0)->widget()->objectName(), QStringLiteral("btnCancel"));
    QCOMPARE(buttons->itemAt(1)->widget()->objectName(), QStringLiteral("btnResign"));
    QCOMPARE(buttons->itemAt(2)->widget()->objectName(), QStringLiteral("btnOK"));

    auto* title = window.findChild<QLabel*>(QStringLiteral("labelTitle"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("手写签字"));
    QCOMPARE(title->alignment(), Qt::AlignCenter);
    QCOMPARE(title->minimumHeight(), 20);
    QCOMPARE(title->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(title->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(title->styleSheet(),
             QStringLiteral("background-color: qlineargradient(spread:pad, x1:0.011, y1:0, x2:1, y2:0, "
                            "stop:0 rgba(0, 170, 255, 255), stop:1 rgba(255, 255, 255, 255));\n"
                            "color: rgb(255, 255, 255);\n"
                            "font: 14pt \"宋体\";"));

    auto* area = window.findChild<QLabel*>(QStringLiteral("wgtHandwriting"));
    QVERIFY(area);
    QVERIFY(area->text().isEmpty());
    QCOMPARE(area->contextMenuPolicy(), Qt::PreventContextMenu);
    QCOMPARE(area->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(area->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QVERIFY(!area->autoFillBackground());
    QVERIFY(area->pixmap());
    // The canvas matches the writing area the layouts gave it.
    QCOMPARE(area->pixmap()->size(), area->size());
    QVERIFY(area->width() > 300 && area->height() > 100);

    QCOMPARE(button(window, "btnCancel")->text(), QStringLiteral("取消"));
    QCOMPARE(button(window, "btnResign")->text(), QStringLiteral("重签"));
    QCOMPARE(button(window, "btnOK")->text(), QStringLiteral("确定"));
    QCOMPARE(button(window, "btnResign")->contextMenuPolicy(), Qt::NoContextMenu);
    for (const char* name : {"btnCancel", "btnResign", "btnOK"})
        QCOMPARE(button(window, name)->minimumHeight(), 60);

    // The texts come from the settings record when the window is built.
    g_SignData.titleText = QStringLiteral("请签名");
    g_SignData.okText = QStringLiteral("好");
    MainWindow second;
    QCOMPARE(second.findChild<QLabel*>(QStringLiteral("labelTitle"))->text(), QStringLiteral("请签名"));
    QCOMPARE(button(second, "btnOK")->text(), QStringLiteral("好"));
}

void MainWindowTest::geometryAndOpacityFromSettings()
{
    {
        MainWindow window;
        QCOMPARE(window.pos(), QPoint(2361, 250));
        QCOMPARE(window.size(), QSize(400, 300));
        QCOMPARE(window.minimumSize(), window.maximumSize()); // fixed size
        QVERIFY(qAbs(window.windowOpacity() - 0.65) < 1.0 / 255); // kept in 8 bits
    }
    g_SignData.winX = 0;
    g_SignData.winY = 0;
    g_SignData.winWidth = 640;
    g_SignData.winHeight = 360;
    g_SignData.screenX = 100;
    g_SignData.screenY = 30;
    g_SignData.transparency = 100;
    MainWindow window;
    QCOMPARE(window.pos(), QPoint(100, 30));
    QCOMPARE(window.size(), QSize(640, 360));
    QCOMPARE(window.windowOpacity(), 1.0);
}

void MainWindowTest::padToScreenMapping()
{
    QCOMPARE(convertPhysicalTologicalValue(10846, 21692, 1280), 640);
    QCOMPARE(convertPhysicalTologicalValue(6782, 13564, 800), 400);
    QCOMPARE(convertPhysicalTologicalValue(21692, 21692, 1280), 1280);
    QCOMPARE(convertPhysicalTologicalValue(0, 21692, 1280), 0);
    QCOMPARE(convertPhysicalTologicalValue(21691, 21692, 1280), 1279); // truncated, not rounded

    // The mouse pen's inverse lands on every pixel, with the smallest value.
    for (const auto& [physical, logical] : {std::pair{21692, 1280}, std::pair{13564, 800}, std::pair{21692, 1920},
                                             std::pair{13564, 37}}) {
        for (int pixel = 0; pixel < logical; ++pixel) {
            const int value = convertLogicalToPhysicalValue(pixel, physical, logical);
            QCOMPARE(convertPhysicalTologicalValue(value, physical, logical), pixel);
            if (value > 0)
                QVERIFY(convertPhysicalTologicalValue(value - 1, physical, logical) < pixel);
        }
    }
    QCOMPARE(convertLogicalToPhysicalValue(-5, 21692, 1280), 0);
    QCOMPARE(convertLogicalToPhysicalValue(100000, 21692, 1280), 0xFFFF);
    QCOMPARE(convertLogicalToPhysicalValue(10, 21692, 0), 0);
}

void MainWindowTest::penWidthFollowsPressure()
{
    MainWindow window;
    const QImage blank = canvasOf(window);
    QCOMPARE(blank.pixel(10, 10), qRgb(255, 255, 255));

    // Both pressures 1023: the full pen width (5).
    window.DrawWgtHandWriting(20, 30, 0);
    window.DrawWgtHandWriting(20, 30, 1023);
    window.DrawWgtHandWriting(120, 30, 1023);
    // Both 512: 2.
    window.DrawWgtHandWriting(20, 60, 0);
    window.DrawWgtHandWriting(20, 60, 512);
    window.DrawWgtHandWriting(120, 60, 512);
    // Touch-down with 1023 after a pen-up: a dot of width 2.
    window.DrawWgtHandWriting(200, 90, 0);
    window.DrawWgtHandWriting(200, 90, 1023);
    // Touch-down with 100: width 0, the one-pixel pen.
    window.DrawWgtHandWriting(250, 90, 0);
    window.DrawWgtHandWriting(250, 90, 100);
    window.DrawWgtHandWriting(250, 95, 0);

    const QImage image = canvasOf(window);
    QVERIFY(qAbs(inkAcross(image, 70, 20, 40) - 5.0) < 0.4);
    QVERIFY(qAbs(inkAcross(image, 70, 50, 70) - 2.0) < 0.4);
    QVERIFY(qAbs(inkAcross(image, 200, 80, 100) - 2.0) < 0.6);
    QVERIFY(qAbs(inkAlongRow(image, 90, 190, 210) - 2.0) < 0.6);
    QVERIFY(qAbs(inkAcross(image, 250, 80, 100) - 1.0) < 0.4);
    QVERIFY(qAbs(inkAlongRow(image, 90, 240, 260) - 1.0) < 0.4);
    // Nothing but the strokes.
    QVERIFY(inkAcross(image, 160, 0, image.height() - 1) < 0.01);

    // The pen colour comes from the settings record.
    g_SignData.penColor = 0xFF0000;
    window.DrawWgtHandWriting(300, 30, 1023);
    window.DrawWgtHandWriting(340, 30, 1023);
    window.DrawWgtHandWriting(340, 30, 0);
    QCOMPARE(canvasOf(window).pixel(320, 30), qRgb(255, 0, 0));
}

void MainWindowTest::strokesLandWhereThePenIs()
{
    MainWindow window;
    const QPoint origin = areaOrigin(window);
    // Pad units mapped through the sign screen onto the canvas: the window
    // corner is (440, 250) on a 1280 × 800 screen.
    const int padX = 10846; // sign screen x 640 → window x 200
    const int padY = 6782;  // sign screen y 400 → window y 150
    sample(window, padX, padY, 0);
    sample(window, padX, padY, 1023);
    sample(window, padX, padY, 0);
    const QImage image = canvasOf(window);
    const QPoint dot = QPoint(200, 150) - origin;
    QVERIFY(qGray(image.pixel(dot)) < 128);
    QCOMPARE(image.pixel(dot + QPoint(8, 0)), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(dot - QPoint(0, 8)), qRgb(255, 255, 255));

    // A stroke through window points lands on them.
    sampleAtWindow(window, QPoint(50, 60), 0);
    sampleAtWindow(window, QPoint(50, 60), 1023);
    sampleAtWindow(window, QPoint(150, 60), 1023);
    sampleAtWindow(window, QPoint(150, 60), 0);
    const QImage stroked = canvasOf(window);
    for (int x = 55; x <= 145; x += 10)
        QVERIFY(qGray(stroked.pixel(QPoint(x, 60) - origin)) < 64);
    QCOMPARE(window.m_result, -1);
}

void MainWindowTest::penLiftPressesButtons()
{
    MainWindow window;
    QPushButton* resign = button(window, "btnResign");
    QSignalSpy resignClicks(resign, &QPushButton::clicked);
    // Ink first, then a touch and lift on Re-sign: cleared, still open.
    sampleAtWindow(window, QPoint(60, 60), 0);
    sampleAtWindow(window, QPoint(60, 60), 1023);
    sampleAtWindow(window, QPoint(160, 60), 1023);
    sampleAtWindow(window, QPoint(160, 60), 0);
    QVERIFY(inkAlongRow(canvasOf(window), 60 - areaOrigin(window).y(), 0, 390) > 50);
    window.show();
    sampleAtWindow(window, resign->geometry().center(), 800);
    sampleAtWindow(window, resign->geometry().center(), 0);
    QCOMPARE(resignClicks.count(), 1);
    QVERIFY(window.isVisible());
    QVERIFY(inkAlongRow(canvasOf(window), 60 - areaOrigin(window).y(), 0, 390) < 0.01);

    // Lifting on Cancel cancels and closes.
    QPushButton* cancel = button(window, "btnCancel");
    sampleAtWindow(window, cancel->geometry().topLeft(), 500); // edges count
    sampleAtWindow(window, cancel->geometry().topLeft(), 0);
    QCOMPARE(window.m_result, -1);
    QVERIFY(!window.isVisible());

    // Lifting on OK accepts.
    MainWindow second;
    second.show();
    QPushButton* ok = button(second, "btnOK");
    sampleAtWindow(second, ok->geometry().bottomRight(), 500);
    sampleAtWindow(second, ok->geometry().bottomRight(), 0);
    QCOMPARE(second.m_result, 0);
    QVERIFY(!second.isVisible());
    QVERIFY(!second.m_base64.isEmpty());

    // With Cancel locked, a lift over it does nothing.
    g_SignData.cancelLocked = true;
    MainWindow third;
    third.show();
    sampleAtWindow(third, button(third, "btnCancel")->geometry().center(), 500);
    sampleAtWindow(third, button(third, "btnCancel")->geometry().center(), 0);
    QVERIFY(third.isVisible());
}

void MainWindowTest::hoveringPressesNothingTwice()
{
    MainWindow window;
    window.show();
    QPushButton* resign = button(window, "btnResign");
    QSignalSpy clicks(resign, &QPushButton::clicked);
    const QPoint over = resign->geometry().center();
    sampleAtWindow(window, over, 0);
    sampleAtWindow(window, over, 0); // hovering: no lift
    QCOMPARE(clicks.count(), 0);
    sampleAtWindow(window, over, 300);
    sampleAtWindow(window, over, 0);
    sampleAtWindow(window, over, 0);
    sampleAtWindow(window, over + QPoint(1, 0), 0);
    QCOMPARE(clicks.count(), 1);
    // A lift outside every button clicks nothing.
    QSignalSpy okClicks(button(window, "btnOK"), &QPushButton::clicked);
    sampleAtWindow(window, QPoint(200, 100), 300);
    sampleAtWindow(window, QPoint(200, 100), 0);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(okClicks.count(), 0);
    QVERIFY(window.isVisible());
}

void MainWindowTest::okEncodesThePng()
{
    MainWindow window;
    window.DrawWgtHandWriting(30, 40, 0);
    window.DrawWgtHandWriting(30, 40, 1023);
    window.DrawWgtHandWriting(90, 80, 1023);
    window.DrawWgtHandWriting(90, 80, 0);
    const QImage drawn = canvasOf(window);
    QTimer::singleShot(0, button(window, "btnOK"), &QPushButton::click);
    const std::optional<int> code = execBounded(window);
    QVERIFY2(code, "OK did not close the window");
    QCOMPARE(*code, int(QDialog::Rejected)); // closed, not accepted
    QCOMPARE(window.m_result, 0);
    const QByteArray png = QByteArray::fromBase64(window.m_base64, QByteArray::AbortOnBase64DecodingErrors);
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY(!window.m_base64.contains('\n'));
    QImage decoded;
    QVERIFY(decoded.loadFromData(png, "PNG"));
    QCOMPARE(decoded.convertToFormat(QImage::Format_RGB32), drawn);
    QVERIFY(!window.m_endedByCommand);
}

void MainWindowTest::escapeAndCloseRequests()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Neither the window manager nor anyone else may close it.
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());

    // Escape is the dialog's own: hidden without a close event, result -1.
    QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_Escape); });
    QVERIFY2(execBounded(window), "Escape did not close the window");
    QVERIFY(!window.isVisible());
    QCOMPARE(window.m_result, -1);
    QVERIFY(window.m_base64.isEmpty());

    // The end command closes it, with -88.
    MainWindow ended;
    QTimer::singleShot(0, &ended, [&ended] { QMetaObject::invokeMethod(&ended, "onsEndSign"); });
    QVERIFY2(execBounded(ended), "the end command did not close the window");
    QCOMPARE(ended.m_result, -88);
    QVERIFY(ended.m_endedByCommand);

    MainWindow notFound;
    QTimer::singleShot(0, &notFound, [&notFound] { QMetaObject::invokeMethod(&notFound, "on_findDeviceErro"); });
    QVERIFY2(execBounded(notFound), "on_findDeviceErro did not close the window");
    QCOMPARE(notFound.m_result, -2);
    MainWindow notOpened;
    QTimer::singleShot(0, &notOpened, [&notOpened] { QMetaObject::invokeMethod(&notOpened, "on_openDeviceErro"); });
    QVERIFY2(execBounded(notOpened), "on_openDeviceErro did not close the window");
    QCOMPARE(notOpened.m_result, -3);
}

void MainWindowTest::resignClearsToWhite()
{
    g_SignData.backColor = 0x336699;
    MainWindow window;
    QCOMPARE(canvasOf(window).pixel(5, 5), qRgb(0x33, 0x66, 0x99));
    window.DrawWgtHandWriting(40, 40, 0);
    window.DrawWgtHandWriting(40, 40, 1023);
    window.DrawWgtHandWriting(80, 40, 1023);
    window.DrawWgtHandWriting(80, 40, 0);
    QVERIFY(QMetaObject::invokeMethod(&window, "on_btnResign_clicked"));
    const QImage cleared = canvasOf(window);
    for (const QPoint& p : {QPoint(5, 5), QPoint(60, 40), QPoint(cleared.width() - 1, cleared.height() - 1)})
        QCOMPARE(cleared.pixel(p), qRgb(255, 255, 255));
    QCOMPARE(window.m_result, -1);

    // Locked: Re-sign leaves the drawing alone.
    g_SignData.resignLocked = true;
    window.DrawWgtHandWriting(40, 70, 0);
    window.DrawWgtHandWriting(40, 70, 1023);
    window.DrawWgtHandWriting(80, 70, 1023);
    window.DrawWgtHandWriting(80, 70, 0);
    window.btnResign_clicked();
    QVERIFY(qGray(canvasOf(window).pixel(60, 70)) < 64);
}

void MainWindowTest::lastSampleCarriesOverToTheNextWindow()
{
    {
        MainWindow first;
        first.show();
        sampleAtWindow(first, QPoint(40, 100), 0);
        sampleAtWindow(first, QPoint(40, 100), 1023);
        // Ended from the page while the pen is down.
        QTimer::singleShot(0, &first, [&first] { QMetaObject::invokeMethod(&first, "onsEndSign"); });
        QVERIFY2(execBounded(first), "the end command did not close the window");
        QCOMPARE(first.m_result, -88);
    }
    MainWindow next;
    next.show();
    // The first pressed sample joins the old last point.
    sampleAtWindow(next, QPoint(240, 100), 1023);
    const QImage image = canvasOf(next);
    const QPoint origin = areaOrigin(next);
    QVERIFY(qGray(image.pixel(QPoint(140, 100) - origin)) < 64);

    // And a first pen-up there counts as a lift: over OK, it accepts.
    {
        MainWindow pressed;
        pressed.show();
        sampleAtWindow(pressed, QPoint(240, 100), 1023);
        pressed.close(); // refused: the pen stays down for the next window
        QTimer::singleShot(0, &pressed, [&pressed] { QMetaObject::invokeMethod(&pressed, "onsEndSign"); });
        QVERIFY2(execBounded(pressed), "the end command did not close the window");
    }
    MainWindow lifted;
    lifted.show();
    sampleAtWindow(lifted, button(lifted, "btnOK")->geometry().center(), 0);
    QCOMPARE(lifted.m_result, 0);
}

void MainWindowTest::mouseWritesAsThePen()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    new MouseAsPen(&window, [&window](int x, int y, int p) {
        QMetaObject::invokeMethod(&window, "on_getDataOk", Q_ARG(int, x), Q_ARG(int, y), Q_ARG(int, p));
    });
    auto* area = window.findChild<QLabel*>(QStringLiteral("wgtHandwriting"));
    mouse(area, QEvent::MouseMove, QPoint(30, 30), Qt::NoButton, Qt::NoButton); // hover: no ink
    mouse(area, QEvent::MouseButtonPress, QPoint(50, 40), Qt::LeftButton, Qt::LeftButton);
    for (int x = 60; x <= 250; x += 10)
        mouse(area, QEvent::MouseMove, QPoint(x, 40 + (x - 50) / 4), Qt::NoButton, Qt::LeftButton);
    mouse(area, QEvent::MouseButtonRelease, QPoint(250, 90), Qt::LeftButton, Qt::NoButton);
    const QImage image = canvasOf(window);
    for (int x = 60; x <= 240; x += 20)
        QVERIFY2(qGray(image.pixel(x, 40 + (x - 50) / 4)) < 96, qPrintable(QString::number(x)));
    QCOMPARE(image.pixel(30, 30), qRgb(255, 255, 255));
    QVERIFY(window.isVisible());

    // The buttons still take ordinary clicks.
    QTest::mouseClick(button(window, "btnOK"), Qt::LeftButton);
    QCOMPARE(window.m_result, 0);
    QVERIFY(!window.isVisible());
}

void MainWindowTest::extremeSettingsDoNotBreakDrawing()
{
    // Pages may store any integer; drawing stays defined and bounded.
    g_SignData.screenWidth = std::numeric_limits<int>::max();
    g_SignData.screenHeight = std::numeric_limits<int>::min();
    g_SignData.winX = std::numeric_limits<int>::min();
    g_SignData.winY = std::numeric_limits<int>::max();
    g_SignData.winWidth = 300;
    g_SignData.winHeight = 200;
    g_SignData.penWidth = std::numeric_limits<int>::max();
    MainWindow window;
    window.show();
    for (int p : {0, 1023, 65535, 1023, 0}) {
        sample(window, 65535, 65535, p);
        sample(window, 0, 0, p);
    }
    QVERIFY(window.isVisible());
    QCOMPARE(convertPhysicalTologicalValue(65535, 21692, std::numeric_limits<int>::max()),
             std::numeric_limits<int>::max());
    QCOMPARE(convertPhysicalTologicalValue(65535, 21692, std::numeric_limits<int>::min()),
             std::numeric_limits<int>::min());

    // A negative pen width draws with the thinnest pen: a one-pixel line
    // along the stroke, and no ink anywhere else.
    g_SignData = kDefaults;
    g_SignData.penWidth = -50;
    MainWindow negative;
    negative.DrawWgtHandWriting(10, 10, 0);
    negative.DrawWgtHandWriting(10, 10, 1023);
    negative.DrawWgtHandWriting(60, 10, 1023);
    negative.DrawWgtHandWriting(60, 10, 0);
    const QImage image = canvasOf(negative);
    for (int column = 12; column <= 58; column += 2) {
        const double ink = inkAcross(image, column, 0, 30);
        QVERIFY2(ink > 0.6 && ink < 1.4, qPrintable(QStringLiteral("column %1: %2").arg(column).arg(ink)));
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (x < 8 || x > 62 || y < 8 || y > 12)
                QVERIFY2(image.pixel(x, y) == qRgb(255, 255, 255),
                         qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
}

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
