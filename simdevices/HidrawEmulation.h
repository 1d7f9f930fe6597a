#pragma once

#include <QByteArray>

#include <list>
#include <vector>
#include <mutex>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
class SimulatedPad;

// A hidraw node on a umockdev testbed (/dev/<name>), answering the hidraw
// ioctls (HIDIOCGRAWINFO, HIDIOCGRDESCSIZE, HIDIOCGRDESC) and reads like
// the kernel: a read returns one whole input report from the model and
// blocks until one is there; poll() reports the node readable exactly while
// a report is waiting. The program under test must run under
// umockdev-wrapper.
class HidrawEmulation {
public:
    struct Node {
        QByteArray name;            // e.g. "hidraw0"
        uint16_t vendor = 0;
        uint16_t product = 0;
        QByteArray reportDescriptor;
        bool failDescriptorRead = false;
        SimulatedPad* reports = nullptr; // source of input reports, if any
    };

    HidrawEmulation(UMockdevTestbed* testbed, const Node& node);
    ~HidrawEmulation();

    HidrawEmulation(const HidrawEmulation&) = delete;
    HidrawEmulation& operator=(const HidrawEmulation&) = delete;

    QByteArray devnode() const { return "/dev/" + m_node.name; }
    SimulatedPad* reportSource() const { return m_node.reports; }
    // Adds /dev/<linkName>, a symbolic link to the node that leads to it as
    // the kernel's would (umockdev emulates by path, so the link is attached
    // to the same handler).
    bool addLink(const QByteArray& linkName);

private:
    static int onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static int onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static void onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    bool ioctl(UMockdevIoctlClient* client);
    void serveReads();
    void updateReadiness();

    UMockdevTestbed* m_testbed;
    Node m_node;
    UMockdevIoctlBase* m_handler;
    bool m_attached = false;
    std::vector<QByteArray> m_links;
    int m_master = -1;   // the testbed's side of the node's pty
    int m_slave = -1;    // our own descriptor of the node's side, to drain it
    std::mutex m_mutex;
    std::list<UMockdevIoctlClient*> m_pendingReads;
    bool m_readable = false;
};
