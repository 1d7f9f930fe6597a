// Prints the device constants the code is built with, one line per device:
// constant vendor product nodes role. The table test compares them with
// devices/devices.txt.
#include "PeriphdDevices.h"

#include <cstdio>
#include <string>

int main()
{
    for (const devices::DeviceId& device : devices::kAll) {
        std::string nodes;
        for (auto [flag, name] : {std::pair{devices::UsbNode, "usb"}, std::pair{devices::HidrawNode, "hidraw"},
                                  std::pair{devices::VideoNode, "video4linux"}})
            if (device.nodes & flag)
                nodes += (nodes.empty() ? "" : ",") + std::string(name);
        // The numbers and their hex spelling are two fields: print both.
        std::printf("%s %04x %04x %s %s %s %s\n", device.name, device.vendor, device.product, device.vendorHex,
                    device.productHex, nodes.c_str(), device.role);
    }
}
