#include "UsbdevfsEmulation.h"

#include "SimulatedUsbDevice.h"

#include <libusb.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>

struct UsbdevfsEmulation::Urb {
    UMockdevIoctlData* urb;    // the client's struct usbdevfs_urb
    UMockdevIoctlData* buffer; // its data buffer (may be null)
    bool done;
};

namespace {

int toErrno(int libusbCode, int notFound)
{
    switch (libusbCode) {
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND: return notFound;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_INVALID_PARAM: return EINVAL;
    default: return EIO;
    }
}

void completeWith(UMockdevIoctlClient* client, int libusbCode, int notFound)
{
    if (libusbCode >= 0)
        umockdev_ioctl_client_complete(client, 0, 0);
    else
        umockdev_ioctl_client_complete(client, -1, toErrno(libusbCode, notFound));
}

// The ioctl's argument as a struct in the client's memory.
UMockdevIoctlData* argument(UMockdevIoctlClient* client, size_t size)
{
    GError* error = nullptr;
    UMockdevIoctlData* data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
    if (error) {
        fprintf(stderr, "usbdevfs emulation: %s\n", error->message);
        g_error_free(error);
    }
    return data;
}

usbdevfs_urb* urbOf(UMockdevIoctlData* data)
{
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

} // namespace

UsbdevfsEmulation::UsbdevfsEmulation(UMockdevTestbed* testbed, SimulatedUsbDevice& device,
                                     const QByteArray& descriptors, int deviceNumber)
    : m_testbed(testbed)
    , m_device(device)
    , m_handler(umockdev_ioctl_base_new())
{
    char number[4];
    std::snprintf(number, sizeof number, "%03d", deviceNumber);
    const QByteArray deviceNumberText(number);
    m_devnode = QByteArray("/dev/bus/usb/001/") + deviceNumberText;
    char ids[48];
    std::snprintf(ids, sizeof ids, "%x/%x/100", device.vendorId(), device.productId());
    char vendorHex[8];
    char productHex[8];
    std::snprintf(vendorHex, sizeof vendorHex, "%04x", device.vendorId());
    std::snprintf(productHex, sizeof productHex, "%04x", device.productId());
    const QByteArray sysName = "1-" + QByteArray::number(deviceNumber);

    const QByteArray record =
        "P: /devices/pci0000:00/0000:00:14.0/usb1/" + sysName + "\n"
        "N: bus/usb/001/" + deviceNumberText + "\n"
        "E: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_device\n"
        "E: DRIVER=usb\n"
        "E: BUSNUM=001\n"
        "E: DEVNUM=" + deviceNumberText + "\n"
        "E: DEVNAME=" + m_devnode + "\n"
        "E: PRODUCT=" + QByteArray(ids) + "\n"
        "A: busnum=1\\n\n"
        "A: devnum=" + QByteArray::number(deviceNumber) + "\\n\n"
        "A: speed=12\\n\n"
        "A: bConfigurationValue=1\\n\n"
        "A: idVendor=" + QByteArray(vendorHex) + "\\n\n"
        "A: idProduct=" + QByteArray(productHex) + "\\n\n"
        "H: descriptors=" + descriptors.toHex().toUpper() + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, record.constData(), &error)) {
        fprintf(stderr, "usbdevfs emulation: %s\n", error ? error->message : "cannot add device");
        g_clear_error(&error);
        return;
    }
    m_syspath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + sysName;
    g_signal_connect_after(m_handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    if (!umockdev_testbed_attach_ioctl(m_testbed, m_devnode.constData(), m_handler, &error)) {
        fprintf(stderr, "usbdevfs emulation: %s\n", error ? error->message : "cannot attach");
        g_clear_error(&error);
        return;
    }
    m_attached = true;
}

UsbdevfsEmulation::~UsbdevfsEmulation()
{
    if (m_attached)
        umockdev_testbed_detach_ioctl(m_testbed, m_devnode.constData(), nullptr);
    g_signal_handlers_disconnect_by_data(m_handler, this);
    g_object_unref(m_handler);
    for (Urb& urb : m_urbs) {
        if (urb.buffer)
            g_object_unref(urb.buffer);
        g_object_unref(urb.urb);
    }
}

void UsbdevfsEmulation::unplug()
{
    if (m_syspath.isEmpty())
        return;
    umockdev_testbed_uevent(m_testbed, m_syspath.constData(), "remove");
    umockdev_testbed_remove_device(m_testbed, m_syspath.constData());
    m_syspath.clear();
}

int UsbdevfsEmulation::urbsInFlight()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int count = 0;
    for (const Urb& entry : m_urbs)
        count += entry.done ? 0 : 1;
    return count;
}

int UsbdevfsEmulation::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    return static_cast<UsbdevfsEmulation*>(self)->handle(client) ? TRUE : FALSE;
}

bool UsbdevfsEmulation::handle(UMockdevIoctlClient* client)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    const bool present = m_device.attachment() != 0;

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = argument(client, sizeof(uint32_t));
        if (!caps)
            return false;
        const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(caps);
        return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
        UMockdevIoctlData* number = argument(client, sizeof(unsigned int));
        if (!number)
            return false;
        unsigned int interfaceNumber = 0;
        std::memcpy(&interfaceNumber, number->data, sizeof interfaceNumber);
        if (request == USBDEVFS_CLAIMINTERFACE)
            completeWith(client, m_device.claimInterface(int(interfaceNumber)), ENOENT);
        else
            completeWith(client, m_device.releaseInterface(int(interfaceNumber)), EINVAL);
        g_object_unref(number);
        return true;
    }
    case USBDEVFS_GETDRIVER: {
        UMockdevIoctlData* query = argument(client, sizeof(usbdevfs_getdriver));
        if (!query)
            return false;
        auto* driver = reinterpret_cast<usbdevfs_getdriver*>(query->data);
        if (!present) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
        } else if (m_device.kernelDriverActive(int(driver->interface))) {
            std::snprintf(driver->driver, sizeof driver->driver, "usbhid");
            umockdev_ioctl_client_complete(client, 0, 0);
        } else {
            umockdev_ioctl_client_complete(client, -1, ENODATA);
        }
        g_object_unref(query);
        return true;
    }
    case USBDEVFS_IOCTL: {
        UMockdevIoctlData* command = argument(client, sizeof(usbdevfs_ioctl));
        if (!command)
            return false;
        auto* nested = reinterpret_cast<usbdevfs_ioctl*>(command->data);
        if (nested->ioctl_code == int(USBDEVFS_DISCONNECT))
            completeWith(client, m_device.detachKernelDriver(nested->ifno), ENODATA);
        else
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
        g_object_unref(command);
        return true;
    }
    case USBDEVFS_SUBMITURB:
        if (!present) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return true;
        }
        submit(client);
        return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(client);
        return true;
    case USBDEVFS_DISCARDURB:
        discard(client);
        return true;
    default:
        return false;
    }
}

void UsbdevfsEmulation::submit(UMockdevIoctlClient* client)
{
    UMockdevIoctlData* urbData = argument(client, sizeof(usbdevfs_urb));
    if (!urbData) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    usbdevfs_urb* urb = urbOf(urbData);
    UMockdevIoctlData* buffer = nullptr;
    if (urb->buffer_length > 0) {
        GError* error = nullptr;
        buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                             size_t(urb->buffer_length), &error);
        g_clear_error(&error);
        if (!buffer) {
            g_object_unref(urbData);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
    }
    ++m_submitted;
    Urb entry{urbData, buffer, false};
    urb->status = 0;
    urb->actual_length = 0;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        // Setup packet first, then the data stage.
        if (!buffer || urb->buffer_length < 8) {
            urb->status = -EINVAL;
        } else {
            const unsigned char* setup = buffer->data;
            const uint16_t value = uint16_t(setup[2] | (setup[3] << 8));
            const uint16_t index = uint16_t(setup[4] | (setup[5] << 8));
            const uint16_t length = uint16_t(setup[6] | (setup[7] << 8));
            const int result = m_device.controlTransfer(setup[0], setup[1], value, index,
                                                        buffer->data + 8, length);
            if (result >= 0)
                urb->actual_length = result;
            else
                urb->status = -toErrno(result, EPIPE);
        }
        entry.done = true;
    } else if (!(urb->endpoint & LIBUSB_ENDPOINT_IN)) {
        int sent = 0;
        const int result = m_device.transfer(urb->endpoint, buffer ? buffer->data : nullptr,
                                             urb->buffer_length, &sent, 0);
        urb->actual_length = sent;
        if (result < 0)
            urb->status = -toErrno(result, EPIPE);
        entry.done = true;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_urbs.push_back(entry);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

bool UsbdevfsEmulation::pollPending(Urb& entry)
{
    if (entry.done)
        return true;
    usbdevfs_urb* urb = urbOf(entry.urb);
    if (m_device.attachment() == 0) {
        urb->status = -ESHUTDOWN; // what the host controller reports on disconnect
        entry.done = true;
        return true;
    }
    int got = 0;
    const int result = m_device.transfer(urb->endpoint, entry.buffer ? entry.buffer->data : nullptr,
                                         urb->buffer_length, &got, 0);
    if (result == LIBUSB_ERROR_TIMEOUT)
        return false; // the device has nothing yet: the URB stays in flight
    urb->actual_length = got;
    urb->status = result < 0 ? -toErrno(result, EPIPE) : 0;
    entry.done = true;
    ++m_completedIn;
    return true;
}

void UsbdevfsEmulation::reap(UMockdevIoctlClient* client)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (auto it = m_urbs.begin(); it != m_urbs.end(); ++it) {
        if (!pollPending(*it))
            continue;
        Urb entry = *it;
        m_urbs.erase(it);
        lock.unlock();
        UMockdevIoctlData* target = argument(client, sizeof(void*));
        if (!target) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
        } else {
            umockdev_ioctl_data_set_ptr(target, 0, entry.urb);
            umockdev_ioctl_client_complete(client, 0, 0);
            g_object_unref(target);
        }
        if (entry.buffer)
            g_object_unref(entry.buffer);
        g_object_unref(entry.urb);
        return;
    }
    const bool present = m_device.attachment() != 0;
    lock.unlock();
    umockdev_ioctl_client_complete(client, -1, present ? EAGAIN : ENODEV);
}

void UsbdevfsEmulation::discard(UMockdevIoctlClient* client)
{
    // The argument is the URB's address itself.
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    unsigned long address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Urb& entry : m_urbs) {
        if (entry.urb->client_addr == address && !entry.done) {
            urbOf(entry.urb)->status = -ENOENT;
            urbOf(entry.urb)->actual_length = 0;
            entry.done = true;
            ++m_discarded;
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
}
