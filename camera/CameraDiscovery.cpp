#include "CameraDiscovery.h"

#include <libudev.h>

namespace camera {

namespace {

class UdevDiscovery : public Discovery {
public:
    std::vector<VideoDevice> videoDevices() override
    {
        std::vector<VideoDevice> devices;
        udev* context = udev_new();
        if (!context)
            return devices;
        udev_enumerate* enumerate = udev_enumerate_new(context);
        if (!enumerate) {
            udev_unref(context);
            return devices;
        }
        udev_enumerate_add_match_subsystem(enumerate, "video4linux");
        udev_enumerate_scan_devices(enumerate);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!device)
                continue;
            const auto text = [](const char* value) { return value ? std::string(value) : std::string(); };
            devices.push_back({text(udev_device_get_sysnum(device)),
                               text(udev_device_get_property_value(device, "ID_VENDOR_ID")),
                               text(udev_device_get_property_value(device, "ID_MODEL_ID"))});
            udev_device_unref(device);
        }
        udev_enumerate_unref(enumerate);
        udev_unref(context);
        return devices;
    }
};

Discovery* current = nullptr;

} // namespace

Discovery& udevDiscovery()
{
    static UdevDiscovery udevDiscovery;
    return udevDiscovery;
}

Discovery& discovery()
{
    return current ? *current : udevDiscovery();
}

void setDiscovery(Discovery& discovery)
{
    current = &discovery;
}

} // namespace camera
