#include "FrameSource.h"

namespace camera {

bool VideoCaptureSource::open(int device, int width, int height)
{
    openCapture(m_capture, device, width, height);
    return m_capture.isOpened();
}

void VideoCaptureSource::openCapture(cv::VideoCapture& capture, int device, int width, int height)
{
    capture.open(device, cv::CAP_ANY);
    capture.set(cv::CAP_PROP_FRAME_WIDTH, width);
    capture.set(cv::CAP_PROP_FRAME_HEIGHT, height);
}

bool VideoCaptureSource::isOpened() const
{
    return m_capture.isOpened();
}

bool VideoCaptureSource::read(cv::Mat& frame)
{
    if (m_capture.read(frame))
        return !frame.empty();
    frame.release();
    return false;
}

void VideoCaptureSource::release()
{
    m_capture.release();
}

namespace {

FrameSourceFactory& factory()
{
    static FrameSourceFactory current = [] { return std::make_unique<VideoCaptureSource>(); };
    return current;
}

} // namespace

std::unique_ptr<FrameSource> newFrameSource()
{
    return factory()();
}

void setFrameSourceFactory(FrameSourceFactory next)
{
    factory() = std::move(next);
}

} // namespace camera
