#include "HidrawEmulation.h"

#include "SimulatedPad.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/hidraw.h>
#include <termios.h>
#include <unistd.h>

HidrawEmulation::HidrawEmulation(UMockdevTestbed* testbed, const Node& node)
    : m_testbed(testbed)
    , m_node(node)
    , m_handler(umockdev_ioctl_base_new())
{
    const QByteArray record = "P: /devices/virtual/hidraw/" + node.name + "\n"
                              "N: " + node.name + "\n"
                              "E: SUBSYSTEM=hidraw\n"
                              "E: DEVNAME=/dev/" + node.name + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, record.constData(), &error)) {
        fprintf(stderr, "hidraw emulation: %s\n", error ? error->message : "cannot add node");
        g_clear_error(&error);
        return;
    }
    g_signal_connect_after(m_handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    g_signal_connect_after(m_handler, "handle-read", G_CALLBACK(onRead), this);
    g_signal_connect(m_handler, "client-vanished", G_CALLBACK(onVanished), this);
    if (!umockdev_testbed_attach_ioctl(m_testbed, devnode().constData(), m_handler, &error)) {
        fprintf(stderr, "hidraw emulation: %s\n", error ? error->message : "cannot attach");
        g_clear_error(&error);
        return;
    }
    m_attached = true;

    // Reads are answered through the handler, but poll() looks at the pty
    // behind the node: one byte waits in it while a report is waiting.
    m_master = umockdev_testbed_get_dev_fd(m_testbed, devnode().constData());
    if (m_master >= 0) {
        if (const char* slaveName = ptsname(m_master))
            m_slave = ::open(slaveName, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_slave >= 0) {
            termios raw;
            if (tcgetattr(m_slave, &raw) == 0) {
                cfmakeraw(&raw);
                tcsetattr(m_slave, TCSANOW, &raw);
            }
        }
    }
    if (m_node.reports)
        m_node.reports->setChangeListener([this] {
            serveReads();
            updateReadiness();
        });
}

HidrawEmulation::~HidrawEmulation()
{
    if (m_node.reports)
        m_node.reports->setChangeListener({});
    for (const QByteArray& link : m_links)
        umockdev_testbed_detach_ioctl(m_testbed, link.constData(), nullptr);
    if (m_attached)
        umockdev_testbed_detach_ioctl(m_testbed, devnode().constData(), nullptr);
    g_signal_handlers_disconnect_by_data(m_handler, this);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (UMockdevIoctlClient* client : m_pendingReads)
            g_object_unref(client);
        m_pendingReads.clear();
    }
    g_object_unref(m_handler);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool HidrawEmulation::addLink(const QByteArray& linkName)
{
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    const QByteArray linkPath = QByteArray(root) + "/dev/" + linkName;
    g_free(root);
    if (::symlink(m_node.name.constData(), linkPath.constData()) != 0)
        return false;
    const QByteArray link = "/dev/" + linkName;
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_testbed, link.constData(), m_handler, &error)) {
        g_clear_error(&error);
        return false;
    }
    m_links.push_back(link);
    return true;
}

void HidrawEmulation::onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    auto* emulation = static_cast<HidrawEmulation*>(self);
    std::lock_guard<std::mutex> lock(emulation->m_mutex);
    auto it = std::find(emulation->m_pendingReads.begin(), emulation->m_pendingReads.end(), client);
    if (it != emulation->m_pendingReads.end()) {
        g_object_unref(*it);
        emulation->m_pendingReads.erase(it);
    }
}

int HidrawEmulation::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    return static_cast<HidrawEmulation*>(self)->ioctl(client) ? TRUE : FALSE;
}

bool HidrawEmulation::ioctl(UMockdevIoctlClient* client)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;

    if (request == HIDIOCGRAWINFO) {
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_devinfo), &error);
        g_clear_error(&error);
        if (!data)
            return false;
        hidraw_devinfo info{};
        info.bustype = 3; // BUS_USB
        info.vendor = int16_t(m_node.vendor);
        info.product = int16_t(m_node.product);
        std::memcpy(data->data, &info, sizeof info);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(data);
        return true;
    }
    if (request == HIDIOCGRDESCSIZE) {
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), &error);
        g_clear_error(&error);
        if (!data)
            return false;
        const int size = m_node.reportDescriptor.size();
        std::memcpy(data->data, &size, sizeof size);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(data);
        return true;
    }
    if (request == HIDIOCGRDESC) {
        if (m_node.failDescriptorRead) {
            umockdev_ioctl_client_complete(client, -1, EIO);
            return true;
        }
        UMockdevIoctlData* data =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), &error);
        g_clear_error(&error);
        if (!data)
            return false;
        auto* descriptor = reinterpret_cast<hidraw_report_descriptor*>(data->data);
        if (descriptor->size > HID_MAX_DESCRIPTOR_SIZE - 1) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
        } else {
            const size_t count = std::min<size_t>(descriptor->size, size_t(m_node.reportDescriptor.size()));
            std::memcpy(descriptor->value, m_node.reportDescriptor.constData(), count);
            umockdev_ioctl_client_complete(client, 0, 0);
        }
        g_object_unref(data);
        return true;
    }
    return false;
}

int HidrawEmulation::onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    auto* emulation = static_cast<HidrawEmulation*>(self);
    {
        std::lock_guard<std::mutex> lock(emulation->m_mutex);
        emulation->m_pendingReads.push_back(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
    }
    emulation->serveReads();
    emulation->updateReadiness();
    return TRUE;
}

void HidrawEmulation::serveReads()
{
    if (!m_node.reports)
        return; // a node without a source never has a report: reads block
    std::lock_guard<std::mutex> lock(m_mutex);
    while (!m_pendingReads.empty()) {
        QByteArray report;
        if (!m_node.reports->takeReport(report))
            return;
        UMockdevIoctlClient* client = m_pendingReads.front();
        m_pendingReads.pop_front();
        UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
        // A report longer than the reader's buffer is cut to it.
        const int count = std::min(buffer->data_len, int(report.size()));
        std::memcpy(buffer->data, report.constData(), size_t(count));
        umockdev_ioctl_client_complete(client, count, 0);
        g_object_unref(client);
    }
}

void HidrawEmulation::updateReadiness()
{
    if (m_master < 0 || m_slave < 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool waiting = m_node.reports && m_node.reports->queuedReports() > 0;
    if (waiting && !m_readable) {
        const char mark = '\n';
        if (::write(m_master, &mark, 1) == 1)
            m_readable = true;
    } else if (!waiting && m_readable) {
        char drain[64];
        while (::read(m_slave, drain, sizeof drain) > 0) {
        }
        m_readable = false;
    }
}
