#pragma once

#include "CameraDiscovery.h"
#include "FrameSource.h"

#include <QImage>

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace simdevices {

// One simulated USB camera: its ids and video nodes as udev would list them,
// and the live picture it shows at whatever size it is opened with.
class SimulatedCamera {
public:
    enum class Scene { Document, Portrait };

    SimulatedCamera(Scene scene, std::string vendorId, std::string modelId, std::vector<int> nodes);

    Scene scene() const { return m_scene; }
    const std::string& vendorId() const { return m_vendorId; }
    const std::string& modelId() const { return m_modelId; }
    // Video device numbers, capture node first (a camera with a metadata
    // node has two, as real UVC cameras do).
    const std::vector<int>& nodes() const { return m_nodes; }

    bool present = true;

    // The frame shown `seconds` after the camera was opened, BGR, written
    // into `frame` (its buffer is reused when the size matches). `image`,
    // when not null, replaces the camera's own picture, scaled to the size.
    void compose(cv::Mat& frame, int width, int height, double seconds, const QImage& image);

private:
    void paintScene(QImage& canvas) const;
    void drawLive(cv::Mat& frame, double seconds) const;

    Scene m_scene;
    std::string m_vendorId;
    std::string m_modelId;
    std::vector<int> m_nodes;
    // The still part of the picture for the last size and image asked for.
    cv::Mat m_background;
    qint64 m_backgroundImageKey = -1;
};

// The simulated run's cameras: a document camera 0c45:6366 on video0 (with
// a metadata node video1) and a portrait camera 1b17:6685 on video2. They
// stand behind the discovery seam as udev's devices would.
class SimulatedCameras : public camera::Discovery {
public:
    SimulatedCameras();

    SimulatedCamera document;
    SimulatedCamera portrait;

    // A picture both cameras show instead of their own; null restores them.
    void setImage(const QImage& image) { m_image = image; }
    const QImage& image() const { return m_image; }

    std::vector<camera::VideoDevice> videoDevices() override;
    // The present camera owning video device `device`, or null.
    SimulatedCamera* cameraAt(int device);

private:
    QImage m_image;
};

// Frames of a simulated camera, handed over as cv::Mat the way
// cv::VideoCapture hands over a grabbed frame.
class SimulatedFrameSource : public camera::FrameSource {
public:
    explicit SimulatedFrameSource(SimulatedCameras& cameras);

    bool open(int device, int width, int height) override;
    bool isOpened() const override { return m_device >= 0; }
    bool read(cv::Mat& frame) override;
    void release() override { m_device = -1; }

private:
    SimulatedCameras& m_cameras;
    int m_device = -1;
    int m_width = 0;
    int m_height = 0;
    qint64 m_openedAtMs = 0;
};

// The process-wide simulated cameras.
SimulatedCameras& simulatedCameras();

} // namespace simdevices

namespace camera {

// Puts the simulated cameras behind both camera seams (discovery and frame
// source) for the rest of the run. Call it at start-up, with --simulate.
void useSimulatedCameras();

} // namespace camera
