#pragma once

#include <cstdint>

// USB vendor and product ids of the identity card readers, shared by their
// drivers (idcard/) and their models (simdevices/), so that both always
// name the same device.
namespace usb {

struct DeviceId {
    uint16_t vendor;
    uint16_t product;
};

// The reader with a security module (SAM), driven with bulk transfers.
constexpr DeviceId kSamCardReader{0x0400, 0xC35A};
// The HID-class reader, driven with feature reports on the control pipe.
constexpr DeviceId kHidCardReader{0x072F, 0x90D5};

} // namespace usb
