#include "SimulatedUsbBus.h"

#include "SimulatedUsbDevice.h"

#include <algorithm>

struct SimulatedUsbBus::Handle {
    SimulatedUsbDevice* device;
    uint64_t attachment;
    unsigned claimedInterfaces = 0; // bit per interface, released on close
};

namespace {

int g_contextToken;

libusb_device_handle* asLibusb(void* handle)
{
    return static_cast<libusb_device_handle*>(handle);
}

// Interface numbers the claim bookkeeping can hold.
bool trackable(int interfaceNumber)
{
    return interfaceNumber >= 0 && interfaceNumber < 32;
}

} // namespace

void SimulatedUsbBus::attach(SimulatedUsbDevice& device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_devices.begin(), m_devices.end(), &device) == m_devices.end())
        m_devices.push_back(&device);
}

void SimulatedUsbBus::detach(SimulatedUsbDevice& device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.erase(std::remove(m_devices.begin(), m_devices.end(), &device), m_devices.end());
}

int SimulatedUsbBus::openHandles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_handles.size());
}

int SimulatedUsbBus::deviceListsOut() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deviceListsOut;
}

int SimulatedUsbBus::ownContexts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ownContexts;
}

int SimulatedUsbBus::defaultContextUsers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_defaultContextUsers;
}

int SimulatedUsbBus::init(libusb_context** ctx)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (ctx) {
        *ctx = reinterpret_cast<libusb_context*>(&g_contextToken);
        ++m_ownContexts;
    } else {
        ++m_defaultContextUsers; // the default context needs no token
    }
    return LIBUSB_SUCCESS;
}

void SimulatedUsbBus::exit(libusb_context* ctx)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (ctx)
        --m_ownContexts;
    else
        --m_defaultContextUsers;
}

void SimulatedUsbBus::setDebugLevel(libusb_context*, int)
{
}

ssize_t SimulatedUsbBus::getDeviceList(libusb_context*, libusb_device*** list)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // NULL-terminated like libusb's; the entries are the plugged-in models.
    std::vector<libusb_device*> entries;
    for (SimulatedUsbDevice* device : m_devices) {
        if (device->attachment())
            entries.push_back(reinterpret_cast<libusb_device*>(device));
    }
    const ssize_t count = ssize_t(entries.size());
    entries.push_back(nullptr);
    *list = new libusb_device*[entries.size()];
    std::copy(entries.begin(), entries.end(), *list);
    ++m_deviceListsOut;
    return count;
}

void SimulatedUsbBus::freeDeviceList(libusb_device** list, int)
{
    if (!list)
        return;
    delete[] list;
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_deviceListsOut;
}

libusb_device_handle* SimulatedUsbBus::openDeviceWithVidPid(libusb_context*, uint16_t vendorId,
                                                            uint16_t productId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (SimulatedUsbDevice* device : m_devices) {
        const uint64_t attachment = device->attachment();
        if (attachment && device->vendorId() == vendorId && device->productId() == productId) {
            auto* handle = new Handle{device, attachment};
            m_handles.push_back(handle);
            return asLibusb(handle);
        }
    }
    return nullptr;
}

SimulatedUsbBus::Handle* SimulatedUsbBus::live(libusb_device_handle* handle) const
{
    auto* h = reinterpret_cast<Handle*>(handle);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_handles.begin(), m_handles.end(), h) == m_handles.end())
        return nullptr;
    return h;
}

void SimulatedUsbBus::close(libusb_device_handle* handle)
{
    Handle* h = live(handle);
    if (!h)
        return;
    // Closing the device file gives back every interface it claimed.
    if (h->device->attachment() == h->attachment) {
        for (int i = 0; i < 32; ++i) {
            if (h->claimedInterfaces & (1u << i))
                h->device->releaseInterface(i);
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), h), m_handles.end());
    }
    delete h;
}

int SimulatedUsbBus::claimInterface(libusb_device_handle* handle, int interfaceNumber)
{
    Handle* h = live(handle);
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (h->device->attachment() != h->attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!trackable(interfaceNumber))
        return LIBUSB_ERROR_INVALID_PARAM;
    const int result = h->device->claimInterface(interfaceNumber);
    if (result == LIBUSB_SUCCESS)
        h->claimedInterfaces |= 1u << interfaceNumber;
    return result;
}

int SimulatedUsbBus::releaseInterface(libusb_device_handle* handle, int interfaceNumber)
{
    Handle* h = live(handle);
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (h->device->attachment() != h->attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!trackable(interfaceNumber) || !(h->claimedInterfaces & (1u << interfaceNumber)))
        return LIBUSB_ERROR_NOT_FOUND;
    h->claimedInterfaces &= ~(1u << interfaceNumber);
    return h->device->releaseInterface(interfaceNumber);
}

int SimulatedUsbBus::kernelDriverActive(libusb_device_handle* handle, int interfaceNumber)
{
    Handle* h = live(handle);
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (h->device->attachment() != h->attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    return h->device->kernelDriverActive(interfaceNumber) ? 1 : 0;
}

int SimulatedUsbBus::detachKernelDriver(libusb_device_handle* handle, int interfaceNumber)
{
    Handle* h = live(handle);
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (h->device->attachment() != h->attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    return h->device->detachKernelDriver(interfaceNumber);
}

int SimulatedUsbBus::interruptTransfer(libusb_device_handle* handle, unsigned char endpoint,
                                       unsigned char* data, int length, int* transferred,
                                       unsigned int timeoutMs)
{
    return bulkTransfer(handle, endpoint, data, length, transferred, timeoutMs);
}

int SimulatedUsbBus::bulkTransfer(libusb_device_handle* handle, unsigned char endpoint,
                                  unsigned char* data, int length, int* transferred,
                                  unsigned int timeoutMs)
{
    if (transferred)
        *transferred = 0;
    Handle* h = live(handle);
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (h->device->attachment() != h->attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    // libusb's timeout 0 means no limit.
    const int waitMs = timeoutMs == 0 ? -1 : int(timeoutMs);
    return h->device->transfer(endpoint, data, length, transferred, waitMs);
}

int SimulatedUsbBus::controlTransfer(libusb_device_handle* handle, uint8_t requestType,
                                     uint8_t request, uint16_t value, uint16_t index,
                                     unsigned char* data, uint16_t length, unsigned int)
{
    Handle* h = live(handle);
    if (!h)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (h->device->attachment() != h->attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    return h->device->controlTransfer(requestType, request, value, index, data, length);
}
