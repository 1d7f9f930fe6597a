#include "QLinuxHidRawDev.h"

#include "PenReport.h"
#include "PeriphdDevices.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kPadVendor = devices::kSignaturePad.vendor;
constexpr int kPadProduct = devices::kSignaturePad.product;
// Usage Page (vendor-defined 0xFF02): the pen collection's descriptor start.
constexpr unsigned char kPadDescriptorStart[3] = {0x06, 0x02, 0xFF};

} // namespace

int isMyHidraw(char* path)
{
    const int fd = ::open(path, O_RDWR);
    if (fd < 0)
        return 0;

    hidraw_devinfo info;
    std::memset(&info, 0, sizeof info);
    if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0) {
        ::close(fd);
        return 0;
    }
    // Any other device is accepted as it is; only the pad's own nodes are
    // told apart by their report descriptor.
    if ((info.vendor & 0xFFFF) != kPadVendor || (info.product & 0xFFFF) != kPadProduct) {
        ::close(fd);
        return 1;
    }

    int descriptorSize = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0) {
        ::close(fd);
        return 0;
    }
    hidraw_report_descriptor descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.size = descriptorSize;
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) {
        perror("HIDIOCGRDESC");
        ::close(fd);
        return 1;
    }
    ::close(fd);
    if (descriptor.size < 3)
        return 0;
    return std::memcmp(descriptor.value, kPadDescriptorStart, 3) == 0 ? 1 : 0;
}

QLinuxHidRawDev::QLinuxHidRawDev(QObject* parent)
    : QObject(parent)
    , m_fd(-1)
{
}

int QLinuxHidRawDev::findDevice()
{
    DIR* dir = ::opendir("/dev");
    if (!dir)
        return 0;
    while (dirent* entry = ::readdir(dir)) {
        if (!std::strstr(entry->d_name, "hidraw"))
            continue;
        const QByteArray path = QByteArray("/dev/").append(entry->d_name);
        struct stat status;
        if (::lstat(path.constData(), &status) < 0 || !S_ISCHR(status.st_mode))
            continue;
        if (isMyHidraw(const_cast<char*>(path.constData()))) {
            m_devicePath = path;
            ::closedir(dir);
            return 1;
        }
    }
    ::closedir(dir);
    return 0;
}

int QLinuxHidRawDev::openDevice()
{
    static_cast<QHidWritingDevice*>(this)->closeDevice();
    if (m_devicePath.isEmpty())
        return -1;
    m_fd = ::open(m_devicePath.constData(), O_RDWR);
    return m_fd < 0 ? -1 : 1;
}

int QLinuxHidRawDev::readData(int& x, int& y, int& pressure)
{
    if (m_fd < 0)
        return -1;
    pollfd waitFor{m_fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&waitFor, 1, kReadTimeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || !(waitFor.revents & POLLIN))
        return -1;

    unsigned char report[penreport::kSize];
    std::memset(report, 0, sizeof report);
    const ssize_t got = ::read(m_fd, report, sizeof report);
    if (got < penreport::kSize)
        return -1;
    penreport::decode(report, x, y, pressure);
    return 0;
}

int QLinuxHidRawDev::closeDevice()
{
    if (m_fd != -1) {
        ::close(m_fd);
        m_fd = -1;
    }
    return 1;
}
