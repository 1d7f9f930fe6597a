// Where the signing window opens and how the pen maps when the sign screen
// a page set lies on no screen of the desktop: kept as set (with a warning)
// normally, replaced by the primary screen's area when simulating. Run on
// the offscreen platform, whose desktop is one screen.
#include "MainWindow.h"
#include "SignWindowProbe.h"
#include "MouseAsPen.h"
#include "OutputCapture.h"
#include "SignData.h"
#include "SignScreen.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <limits>

namespace {

using namespace signprobe;

bool inked(const QImage& image, QPoint at)
{
    return qGray(image.pixel(at)) < 128;
}

QRect primaryArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

class SignScreenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init()
    {
        g_SignData = kDefaults;
        setSignScreenStandIn(false);
    }
    void cleanup() { init(); }

    void pageGeometryKeptAndWarnedAbout();
    void noWarningForAWindowOnScreen();
    void simulationFallsBackToThePrimaryScreen();
    void simulationKeepsASignScreenThatIsShown();
    void onAnyScreenIsComputedWide();
};

void SignScreenTest::initTestCase()
{
    QVERIFY(QGuiApplication::primaryScreen());
    // The default sign screen starts right of a 1920-pixel main screen; the
    // cases below need a desktop that does not reach that far.
    QVERIFY(!onAnyScreen(kDefaults.screenX, kDefaults.screenY, kDefaults.screenWidth, kDefaults.screenHeight));
}

void SignScreenTest::pageGeometryKeptAndWarnedAbout()
{
    LogCapture log;
    MainWindow window;
    QCOMPARE(window.pos(), QPoint(1921 + 440, 250));
    QCOMPARE(log.count(QStringLiteral("signing window 2361,250 400x300 is on no screen")), 1);
    QVERIFY(!signScreen().standIn);

    // The pen maps onto the page's 1280 x 800: pad x 10846 is sign-screen
    // x 640, so with winX 440 it lands at window x 200.
    sample(window, 10846, 6782, 0);
    sample(window, 10846, 6782, 1023);
    sample(window, 10846, 6782, 0);
    QVERIFY(inked(canvasOf(window), QPoint(200, 150) - areaOrigin(window)));
}

void SignScreenTest::noWarningForAWindowOnScreen()
{
    g_SignData.screenX = primaryArea().x();
    g_SignData.screenY = primaryArea().y();
    g_SignData.winX = 10;
    g_SignData.winY = 10;
    LogCapture log;
    MainWindow window;
    QCOMPARE(window.pos(), primaryArea().topLeft() + QPoint(10, 10));
    for (const QString& line : log.lines())
        QVERIFY2(!line.contains(QStringLiteral("no screen")), qPrintable(line));
}

void SignScreenTest::simulationFallsBackToThePrimaryScreen()
{
    setSignScreenStandIn(true);
    const QRect primary = primaryArea();
    g_SignData.winX = 100;
    g_SignData.winY = 50;
    g_SignData.winWidth = 500;
    g_SignData.winHeight = 420;
    QVERIFY(primary.width() >= 600 && primary.height() >= 470);
    LogCapture log;
    MainWindow window;
    QCOMPARE(window.pos(), primary.topLeft() + QPoint(100, 50));
    const QString standIn = QStringLiteral("sign screen 1921,0 1280x800 is on no screen; the primary screen's "
                                           "%1,%2 %3x%4 stands in")
                                .arg(primary.x())
                                .arg(primary.y())
                                .arg(primary.width())
                                .arg(primary.height());
    QCOMPARE(log.count(standIn), 1);
    for (const QString& line : log.lines())
        QVERIFY2(!line.startsWith(QStringLiteral("signing window")), qPrintable(line));
    // The page's settings are left as they were.
    QCOMPARE(g_SignData.screenX, 1921);
    QCOMPARE(g_SignData.screenWidth, 1280);

    // The pen maps onto the stand-in's pixels: a quarter of the pad's range
    // is a quarter of the primary screen, not of the page's 1280 x 800.
    const QPoint quarter(primary.width() / 4, primary.height() / 4);
    const QPoint expected = quarter - QPoint(100, 50) - areaOrigin(window);
    const QPoint pageMapping = QPoint(1280 / 4, 800 / 4) - QPoint(100, 50) - areaOrigin(window);
    sample(window, 21692 / 4, 13564 / 4, 0);
    sample(window, 21692 / 4, 13564 / 4, 1023);
    sample(window, 21692 / 4, 13564 / 4, 0);
    QImage image = canvasOf(window);
    QVERIFY(image.rect().contains(expected) && image.rect().contains(pageMapping + QPoint(1, 1)));
    QVERIFY(inked(image, expected) || inked(image, expected - QPoint(1, 1)));
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            QVERIFY(!inked(image, pageMapping + QPoint(dx, dy)));

    // The mouse's and the scripted strokes' mapping is the window's: ink
    // lands where it was aimed, and a lift over OK presses it.
    const QPoint aim(60, 70);
    const QPoint pad = MouseAsPen::padPointForWindow(aim);
    sample(window, pad.x(), pad.y(), 0);
    sample(window, pad.x(), pad.y(), 1023);
    sample(window, pad.x(), pad.y(), 0);
    image = canvasOf(window);
    QVERIFY(inked(image, aim - areaOrigin(window)));
    const QWidget* ok = window.findChild<QWidget*>(QStringLiteral("btnOK"));
    const QPoint onOk = MouseAsPen::padPointForWindow(ok->geometry().center());
    sample(window, onOk.x(), onOk.y(), 700);
    sample(window, onOk.x(), onOk.y(), 0);
    QCOMPARE(window.m_result, 0);
}

void SignScreenTest::simulationKeepsASignScreenThatIsShown()
{
    setSignScreenStandIn(true);
    const QRect primary = primaryArea();
    // Partly on the screen is enough: the page's rectangle stays.
    g_SignData.screenX = primary.right() - 10;
    g_SignData.screenY = primary.y();
    LogCapture log;
    MainWindow window;
    QCOMPARE(window.pos(), QPoint(g_SignData.screenX + 440, g_SignData.screenY + 250));
    QCOMPARE(signScreen().standIn, false);
    QCOMPARE(signScreen().width, 1280);
    for (const QString& line : log.lines())
        QVERIFY2(!line.startsWith(QStringLiteral("sign screen")), qPrintable(line));

    // An empty rectangle shows nothing: the stand-in takes its place.
    g_SignData.screenX = primary.x();
    g_SignData.screenWidth = 0;
    QVERIFY(signScreen().standIn);
    QCOMPARE(signScreen().width, primary.width());
}

void SignScreenTest::onAnyScreenIsComputedWide()
{
    const QRect primary = primaryArea();
    QVERIFY(onAnyScreen(primary.x(), primary.y(), 1, 1));
    QVERIFY(onAnyScreen(primary.right(), primary.bottom(), 1, 1));
    QVERIFY(!onAnyScreen(qint64(primary.right()) + 1, primary.y(), 100, 100));
    QVERIFY(!onAnyScreen(primary.x() - 100, primary.y(), 100, 100));
    QVERIFY(onAnyScreen(primary.x() - 100, primary.y(), 101, 100));
    QVERIFY(!onAnyScreen(primary.x(), primary.y(), -5, 100));
    // Whatever a page stored: no overflow turns a far rectangle into a near one.
    QVERIFY(!onAnyScreen(std::numeric_limits<int>::max(), 0, std::numeric_limits<int>::max(), 10));
    QVERIFY(onAnyScreen(std::numeric_limits<int>::min(), 0, qint64(std::numeric_limits<int>::max()) * 2, 10));
}

QTEST_MAIN(SignScreenTest)
#include "test_sign_screen.moc"
