#pragma once

#include <cstdint>

// One USB device that periphd drives, as the device table describes it.
// The constants themselves are generated into PeriphdDevices.h from
// devices/devices.txt, together with the udev rules.
namespace devices {

// The nodes of a device that the service opens.
enum Nodes : unsigned {
    UsbNode = 1u,     // /dev/bus/usb/BBB/DDD, through libusb
    HidrawNode = 2u,  // /dev/hidrawN
    VideoNode = 4u,   // /dev/videoN
};

struct DeviceId {
    const char* name;        // the table's constant name, e.g. "SignaturePad"
    uint16_t vendor;
    uint16_t product;
    const char* vendorHex;   // four lower-case hex digits, as udev reports
    const char* productHex;  // ID_VENDOR_ID and ID_MODEL_ID
    unsigned nodes;          // Nodes
    const char* role;
};

} // namespace devices
