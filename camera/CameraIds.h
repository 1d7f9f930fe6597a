#pragma once

#include "PeriphdDevices.h"

// The two camera roles and the USB ids that pick them, as udev reports them
// in "ID_VENDOR_ID" and "ID_MODEL_ID": four lower-case hexadecimal digits,
// compared as exact strings. The fallback is tried only when the first
// choice is absent. The ids come from the device table (devices/devices.txt),
// which also makes the udev rules that open the cameras to the user.
namespace camera {

struct UsbId {
    const char* vendor;
    const char* model;
};

struct CameraRole {
    const char* chooserText;
    UsbId firstChoice;
    UsbId fallback;
};

constexpr UsbId usbIdOf(const devices::DeviceId& device)
{
    return {device.vendorHex, device.productHex};
}

inline constexpr CameraRole kDocumentCamera{"文稿摄像头", usbIdOf(devices::kDocumentCamera),
                                            usbIdOf(devices::kDocumentCameraFallback)};
inline constexpr CameraRole kPortraitCamera{"人像摄像头", usbIdOf(devices::kPortraitCamera),
                                            usbIdOf(devices::kPortraitCameraFallback)};

} // namespace camera
