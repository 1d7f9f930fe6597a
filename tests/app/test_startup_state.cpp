// What exists before any command: the settings defaults and the global
// object with no signature in progress.
#include "GlobalObject.h"
#include "SignData.h"

#include <QTest>

class StartupStateTest : public QObject {
    Q_OBJECT
private slots:
    void settingsDefaults();
    void globalObjectIdle();
};

void StartupStateTest::settingsDefaults()
{
    const struct_GLOBALSSIGNDATA& d = g_SignData;
    QCOMPARE(d.winX, 440);
    QCOMPARE(d.winY, 250);
    QCOMPARE(d.winWidth, 400);
    QCOMPARE(d.winHeight, 300);
    QCOMPARE(d.screenX, 1921);
    QCOMPARE(d.screenY, 0);
    QCOMPARE(d.screenWidth, 1280);
    QCOMPARE(d.screenHeight, 800);
    QCOMPARE(d.penColor, int64_t(0x000000));
    QCOMPARE(d.backColor, int64_t(0xFFFFFF));
    QCOMPARE(d.penWidth, 5);
    QCOMPARE(d.signMode, 0);
    QCOMPARE(d.transparency, 65);
    QVERIFY(!d.cancelLocked);
    QVERIFY(!d.resignLocked);
    QCOMPARE(d.titleText, QStringLiteral("手写签字"));
    QCOMPARE(d.cancelText, QStringLiteral("取消"));
    QCOMPARE(d.resignText, QStringLiteral("重签"));
    QCOMPARE(d.okText, QStringLiteral("确定"));
    QVERIFY(d.signBase64.isEmpty());
}

void StartupStateTest::globalObjectIdle()
{
    QVERIFY(g_globalObj != nullptr);
    QVERIFY(g_globalObj->signWindow == nullptr);
}

QTEST_GUILESS_MAIN(StartupStateTest)
#include "test_startup_state.moc"
