#pragma once

#include <string>
#include <vector>

namespace camera {

// One video4linux device as udev lists it. The ids are empty when udev has
// no such property (virtual video devices, for example).
struct VideoDevice {
    std::string sysnum; // trailing number of the kernel name: "2" for video2
    std::string vendorId;
    std::string modelId;
};

// Where the camera window learns which video devices exist.
class Discovery {
public:
    virtual ~Discovery() = default;
    // In the order udev lists them; empty when udev cannot be asked.
    virtual std::vector<VideoDevice> videoDevices() = 0;
};

// libudev's enumeration of the "video4linux" subsystem. The default.
Discovery& udevDiscovery();

// The discovery in use, and the choice of it: made once at start-up (see
// useSimulatedCameras()), before any camera window opens.
Discovery& discovery();
void setDiscovery(Discovery& discovery);

} // namespace camera
