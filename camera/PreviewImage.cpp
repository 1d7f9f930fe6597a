#include "PreviewImage.h"

#include <opencv2/imgproc.hpp>

namespace camera {

QImage previewImage(const cv::Mat& frame, const QSize& size)
{
    if (frame.empty() || frame.depth() != CV_8U || size.isEmpty())
        return QImage();
    int conversion = 0;
    switch (frame.channels()) {
    case 1:
        conversion = cv::COLOR_GRAY2RGB;
        break;
    case 3:
        conversion = cv::COLOR_BGR2RGB;
        break;
    case 4:
        conversion = cv::COLOR_BGRA2RGB;
        break;
    default:
        return QImage();
    }
    cv::Mat scaled;
    cv::resize(frame, scaled, cv::Size(size.width(), size.height()), 0, 0, cv::INTER_NEAREST);
    QImage preview(size, QImage::Format_RGB888);
    // Written in place: the image's rows are padded to 4 bytes, so the view
    // carries the image's own stride.
    cv::Mat target(size.height(), size.width(), CV_8UC3, preview.bits(), size_t(preview.bytesPerLine()));
    cv::cvtColor(scaled, target, conversion);
    return preview;
}

} // namespace camera
