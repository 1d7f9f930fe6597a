#pragma once

#include <QImage>
#include <QSize>

#include <opencv2/core.hpp>

namespace camera {

// The preview of one camera frame: `frame` (BGR, or grey or BGRA as some
// back-ends deliver) scaled to `size` without keeping the aspect ratio,
// nearest-neighbour, as RGB. Rows are read with the frame's own stride, so
// a frame that is a view into a larger buffer comes out straight. Scaling
// comes first: the colour swap then touches 500 × 400 pixels, not millions.
QImage previewImage(const cv::Mat& frame, const QSize& size);

} // namespace camera
