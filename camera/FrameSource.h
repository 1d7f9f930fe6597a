#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <functional>
#include <memory>

namespace camera {

// What the camera window reads frames from: a device number opened at a
// requested size, then one frame per timer tick.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    // Opens (or reopens) device number `device` and asks for width × height;
    // returns whether it is open.
    virtual bool open(int device, int width, int height) = 0;
    virtual bool isOpened() const = 0;
    // The next frame (BGR, 8 bits a channel), or false and an empty frame.
    virtual bool read(cv::Mat& frame) = 0;
    virtual void release() = 0;
};

// OpenCV's video capture on /dev/videoN, through whichever back-end OpenCV
// picks for a device number (V4L2 on Linux).
class VideoCaptureSource : public FrameSource {
public:
    bool open(int device, int width, int height) override;
    bool isOpened() const override;
    bool read(cv::Mat& frame) override;
    void release() override;

protected:
    // How a device number becomes an open capture; tests open a pipeline of
    // another real back-end here, since V4L2 streaming cannot be emulated.
    virtual void openCapture(cv::VideoCapture& capture, int device, int width, int height);

private:
    cv::VideoCapture m_capture;
};

// Makes the frame source each camera window reads from; chosen once at
// start-up like the discovery. The default makes VideoCaptureSource.
using FrameSourceFactory = std::function<std::unique_ptr<FrameSource>()>;
std::unique_ptr<FrameSource> newFrameSource();
void setFrameSourceFactory(FrameSourceFactory factory);

} // namespace camera
