#pragma once

// The two camera roles and the USB ids that pick them, as udev reports them
// in "ID_VENDOR_ID" and "ID_MODEL_ID": four lower-case hexadecimal digits,
// compared as exact strings. The fallback is tried only when the first
// choice is absent. Keep this the one place the ids live.
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

inline constexpr CameraRole kDocumentCamera{"文稿摄像头", {"0c45", "6366"}, {"1bcf", "8001"}};
inline constexpr CameraRole kPortraitCamera{"人像摄像头", {"1b17", "6685"}, {"1b17", "6684"}};

} // namespace camera
