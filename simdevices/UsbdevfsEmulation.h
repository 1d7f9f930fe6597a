#pragma once

#include <QByteArray>

#include <atomic>
#include <list>
#include <mutex>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;
class SimulatedUsbDevice;

// Puts a device model on a umockdev testbed as a usbdevfs device
// (/dev/bus/usb/001/NNN with its sysfs entry), so that libusb itself talks
// to the model: it enumerates the device through (mocked) udev and sysfs and
// drives it with the usbdevfs ioctls, which this class answers from the
// model: interface claim and release, the kernel driver query and detach,
// and URBs submitted, reaped and discarded (libusb's timeouts) on the
// interrupt, bulk and control pipes. The program under test must run under
// umockdev-wrapper.
class UsbdevfsEmulation {
public:
    UsbdevfsEmulation(UMockdevTestbed* testbed, SimulatedUsbDevice& device,
                      const QByteArray& descriptors, int deviceNumber = 2);
    ~UsbdevfsEmulation();

    UsbdevfsEmulation(const UsbdevfsEmulation&) = delete;
    UsbdevfsEmulation& operator=(const UsbdevfsEmulation&) = delete;

    // Takes the device off the bus: a remove uevent, then the sysfs entry
    // and the node disappear. Unplug the model as well.
    void unplug();

    QByteArray devnode() const { return m_devnode; }
    int submittedUrbs() const { return m_submitted; }
    int discardedUrbs() const { return m_discarded; }
    int completedInUrbs() const { return m_completedIn; }
    int urbsInFlight();

private:
    struct Urb;
    static int onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
    bool handle(UMockdevIoctlClient* client);
    void submit(UMockdevIoctlClient* client);
    void reap(UMockdevIoctlClient* client);
    void discard(UMockdevIoctlClient* client);
    bool pollPending(Urb& urb);

    UMockdevTestbed* m_testbed;
    SimulatedUsbDevice& m_device;
    UMockdevIoctlBase* m_handler;
    QByteArray m_syspath;
    QByteArray m_devnode;
    bool m_attached = false;
    std::mutex m_mutex;
    std::list<Urb> m_urbs;
    std::atomic<int> m_submitted{0};
    std::atomic<int> m_discarded{0};
    std::atomic<int> m_completedIn{0};
};
