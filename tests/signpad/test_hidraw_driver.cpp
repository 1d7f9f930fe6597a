// The hidraw pad driver against hidraw nodes on a umockdev testbed whose
// ioctls and reads are answered by the pad model. Runs under
// umockdev-wrapper.
// glib before Qt: glib uses "signals" as a name.
#include <umockdev.h>

#include "DriverTestSupport.h"
#include "HidrawEmulation.h"
#include "QGetHandWrtingDevData.h"
#include "QLinuxHidRawDev.h"
#include "SimulatedPad.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <thread>
#include <memory>
#include <vector>

class HidrawDriverTest : public QObject {
    Q_OBJECT

    UMockdevTestbed* m_testbed = nullptr;
    std::vector<std::unique_ptr<HidrawEmulation>> m_nodes;
    std::vector<std::unique_ptr<SimulatedPad>> m_sources; // one per node
    SimulatedPad m_pad;

    HidrawEmulation& addNode(const QByteArray& name, uint16_t vendor, uint16_t product,
                             const QByteArray& descriptor, SimulatedPad* reports = nullptr,
                             bool failDescriptorRead = false)
    {
        HidrawEmulation::Node node;
        node.name = name;
        node.vendor = vendor;
        node.product = product;
        node.reportDescriptor = descriptor;
        if (!reports) {
            m_sources.push_back(std::make_unique<SimulatedPad>());
            reports = m_sources.back().get();
        }
        node.reports = reports;
        node.failDescriptorRead = failDescriptorRead;
        m_nodes.push_back(std::make_unique<HidrawEmulation>(m_testbed, node));
        return *m_nodes.back();
    }
    HidrawEmulation& addPad(const QByteArray& name)
    {
        return addNode(name, SimulatedPad::kVendorId, SimulatedPad::kProductId,
                       SimulatedPad::reportDescriptor(), &m_pad);
    }
    QByteArray devDir() const
    {
        gchar* root = umockdev_testbed_get_root_dir(m_testbed);
        const QByteArray dir = QByteArray(root) + "/dev";
        g_free(root);
        return dir;
    }
    // Opens the driver's choice and tells which node it is: every node's
    // source gets a report carrying the node's index.
    int chosenNode(QLinuxHidRawDev& driver)
    {
        if (driver.openDevice() != 1)
            return -1;
        for (size_t i = 0; i < m_nodes.size(); ++i)
            m_nodes[i]->reportSource()->pushReport(uint16_t(i), 0, 0);
        int x = -1, y = 0, p = 0;
        const int result = driver.readData(x, y, p);
        return result == 0 ? x : -1;
    }
    // Descriptors of this process open on a node (the node is a pty
    // underneath; the emulation itself holds one of them).
    int descriptorsOn(const HidrawEmulation& node) const
    {
        const int master = umockdev_testbed_get_dev_fd(m_testbed, node.devnode().constData());
        const char* pts = master >= 0 ? ptsname(master) : nullptr;
        if (!pts)
            return -1;
        const QByteArray target(pts);
        int count = 0;
        if (DIR* dir = opendir("/proc/self/fd")) {
            while (dirent* entry = readdir(dir)) {
                char link[256];
                const QByteArray path = QByteArray("/proc/self/fd/") + QByteArray(entry->d_name);
                const ssize_t n = readlink(path.constData(), link, sizeof link - 1);
                if (n > 0 && QByteArray(link, int(n)) == target)
                    ++count;
            }
            closedir(dir);
        }
        return count;
    }
    // The entries of /dev in the order the directory lists them.
    static QList<QByteArray> listing()
    {
        QList<QByteArray> names;
        if (DIR* dir = opendir("/dev")) {
            while (dirent* entry = readdir(dir))
                names << entry->d_name;
            closedir(dir);
        }
        return names;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("libumockdev-preload"),
                 "run this suite under umockdev-wrapper");
    }
    void init()
    {
        m_testbed = umockdev_testbed_new();
        // Some node that is not hidraw, so the mocked /dev exists.
        QVERIFY(umockdev_testbed_add_from_string(
            m_testbed, "P: /devices/virtual/tty/ttyS9\nN: ttyS9\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyS9\n",
            nullptr));
    }
    void cleanup()
    {
        m_nodes.clear();
        m_sources.clear();
        g_object_unref(m_testbed);
        QByteArray report;
        while (m_pad.takeReport(report)) {
        }
    }

    void noHidrawNodeFindsNothing()
    {
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 0);
        QCOMPARE(driver.openDevice(), -1);
    }

    void nodeOfAnotherVendorIsTaken()
    {
        // The pad's own node is rejected (wrong descriptor), so the choice
        // does not depend on the listing order.
        addNode("hidraw0", 0x046D, 0xC31C, QByteArray::fromHex("05010906a101"));
        addNode("hidraw1", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                QByteArray::fromHex("05010902a101"));
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(chosenNode(driver), 0);
    }

    void firstListedAcceptableNodeWins()
    {
        addNode("hidraw0", 0x046D, 0xC31C, QByteArray::fromHex("05010906a101"));
        addPad("hidraw1");
        QByteArray first;
        for (const QByteArray& name : listing())
            if (name.contains("hidraw")) {
                first = name;
                break;
            }
        QVERIFY(!first.isEmpty());
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(chosenNode(driver), first == "hidraw0" ? 0 : 1);
    }

    void padNodeWithVendorPageIsChosenOverOtherPadNodes()
    {
        addNode("hidraw0", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                QByteArray::fromHex("05010902a101"));
        addNode("hidraw2", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                QByteArray::fromHex("0602")); // too short to tell
        addPad("hidraw1");
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(chosenNode(driver), 2);
    }

    void rejectedPadNodesAloneFindNothing()
    {
        addNode("hidraw0", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                QByteArray::fromHex("0602"));
        addNode("hidraw1", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                QByteArray::fromHex("0601ff0901"));
        QLinuxHidRawDev driver;
        const int before0 = descriptorsOn(*m_nodes[0]);
        const int before1 = descriptorsOn(*m_nodes[1]);
        QVERIFY(before0 >= 0 && before1 >= 0);
        QCOMPARE(driver.findDevice(), 0);
        // Every probe closed its node again.
        QCOMPARE(descriptorsOn(*m_nodes[0]), before0);
        QCOMPARE(descriptorsOn(*m_nodes[1]), before1);
        QCOMPARE(driver.openDevice(), -1);
    }

    void unreadableDescriptorCountsAsThePad()
    {
        addNode("hidraw0", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                SimulatedPad::reportDescriptor(), nullptr, true);
        QLinuxHidRawDev driver;
        StreamCapture err(2);
        QCOMPARE(driver.findDevice(), 1);
        const QByteArray text = err.text();
        QVERIFY2(text.startsWith("HIDIOCGRDESC: "), text.constData());
    }

    void namesContainingHidrawAreExaminedFilesAndLinksAreNot()
    {
        addNode("padnode", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                SimulatedPad::reportDescriptor(), &m_pad);
        const QByteArray dir = devDir();
        QFile regular(QString::fromLocal8Bit(dir + "/hidraw0"));
        QVERIFY(regular.open(QIODevice::WriteOnly));
        regular.write(QByteArray(16, 'x'));
        regular.close();
        QVERIFY(m_nodes[0]->addLink("hidraw1"));
        // The link does lead to the pad, as it would on a real system.
        QCOMPARE(isMyHidraw(const_cast<char*>("/dev/hidraw1")), 1);
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 0);

        addNode("myhidraw7", SimulatedPad::kVendorId, SimulatedPad::kProductId,
                SimulatedPad::reportDescriptor());
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(chosenNode(driver), 1);
    }

    void reportsAreDecodedShortOnesRejected()
    {
        addPad("hidraw0");
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(driver.openDevice(), 1);
        int x = -1, y = -1, p = -1;
        m_pad.pushRawReport(QByteArray::fromHex("000034122b1a0004") + QByteArray(8, '\0'));
        QCOMPARE(driver.readData(x, y, p), 0);
        QCOMPARE(x, 4660);
        QCOMPARE(y, 6699);
        QCOMPARE(p, 1024);

        m_pad.pushRawReport(QByteArray::fromHex("0000ffff2b1a0004"));
        QCOMPARE(driver.readData(x, y, p), -1);
        QCOMPARE(x, 4660);

        m_pad.pushReport(1, 2, 0);
        QCOMPARE(driver.readData(x, y, p), 0);
        QCOMPARE(p, 0);
    }

    void closeTwiceClosesOnceOpenWithoutFindFails()
    {
        addPad("hidraw0");
        QLinuxHidRawDev driver;
        const HidrawEmulation& node = *m_nodes[0];
        const int idle = descriptorsOn(node);
        QVERIFY(idle >= 0);
        QCOMPARE(driver.openDevice(), -1);
        QCOMPARE(descriptorsOn(node), idle);
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(descriptorsOn(node), idle);
        QCOMPARE(driver.openDevice(), 1);
        QCOMPARE(descriptorsOn(node), idle + 1);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(descriptorsOn(node), idle);
        // The freed number is reused by the next open; a second close must
        // not take that descriptor away from its new owner.
        const int other = ::open("/proc/self/stat", O_RDONLY);
        QVERIFY(other >= 0);
        QCOMPARE(driver.closeDevice(), 1);
        QVERIFY2(fcntl(other, F_GETFD) != -1, "a second close closed someone else's descriptor");
        ::close(other);
        // Reopening closes the earlier descriptor first.
        QCOMPARE(driver.openDevice(), 1);
        QCOMPARE(driver.openDevice(), 1);
        QCOMPARE(descriptorsOn(node), idle + 1);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(descriptorsOn(node), idle);
    }

    void readOverIdlePadReturnsInsteadOfBlocking()
    {
        addPad("hidraw0");
        QLinuxHidRawDev driver;
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(driver.openDevice(), 1);
        // Read on a detached thread, so a read that never returns fails the
        // test instead of hanging it.
        auto result = std::make_shared<std::promise<int>>();
        std::future<int> read = result->get_future();
        std::thread([&driver, result] {
            int x = 0, y = 0, p = 0;
            result->set_value(driver.readData(x, y, p));
        }).detach();
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            qFatal("readData blocked over an idle pad");
        QCOMPARE(read.get(), -1);
    }

    void samplerOverIdlePadCanBeStopped()
    {
        addPad("hidraw0");
        QLinuxHidRawDev pad;
        QHidWritingDevice* driver = &pad;
        QCOMPARE(driver->findDevice(), 1);
        QCOMPARE(driver->openDevice(), 1);
        QGetHandWrtingDevData sampler(&driver);
        SamplerSignals relay(sampler);
        QSignalSpy failures(&relay, &SamplerSignals::readDataErro);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        sampler.start();
        m_pad.pushReport(3, 4, 5);
        QTRY_COMPARE_WITH_TIMEOUT(samples.count(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(failures.count() >= 2, 5000);
        sampler.m_stop = true;
        sampler.quit();
        QVERIFY2(sampler.wait(10000), "the sampler did not stop over an idle pad");
        SamplerSignals::flush();
        QCOMPARE(samples.at(0), (QList<QVariant>{3, 4, 5}));
    }
};

QTEST_GUILESS_MAIN(HidrawDriverTest)
#include "test_hidraw_driver.moc"
