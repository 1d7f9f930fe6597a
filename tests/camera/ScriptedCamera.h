#pragma once

// Test stand-ins at the camera window's two seams: a listed set of video
// devices, and a frame source that records what the window asks of it and
// delivers a scripted picture at the size asked for.
#include "CameraDiscovery.h"
#include "CameraUser.h"
#include "FrameSource.h"

#include <QApplication>
#include <QTest>

#include <functional>
#include <set>
#include <utility>
#include <vector>

struct OpenCall {
    int device, width, height;
    bool operator==(const OpenCall& o) const { return device == o.device && width == o.width && height == o.height; }
};

inline char* toString(const OpenCall& call)
{
    return QTest::toString(QStringLiteral("video%1 at %2x%3").arg(call.device).arg(call.width).arg(call.height));
}

// What the scripted cameras show and how they fail; shared by every source
// the window makes.
struct CameraScript {
    std::vector<OpenCall> opens;
    std::set<std::pair<int, int>> failingSizes; // (device, width): open fails
    cv::Scalar colour{0, 0, 255}; // BGR: red, at the size asked for ...
    std::function<cv::Mat(int width, int height)> picture; // ... unless this is set
    int reads = 0;
};

class ScriptedFrameSource : public camera::FrameSource {
public:
    explicit ScriptedFrameSource(CameraScript& script)
        : m_script(script)
    {
    }
    bool open(int device, int width, int height) override
    {
        m_script.opens.push_back({device, width, height});
        m_open = !m_script.failingSizes.count({device, width});
        m_width = width;
        m_height = height;
        return m_open;
    }
    bool isOpened() const override { return m_open; }
    bool read(cv::Mat& frame) override
    {
        if (!m_open)
            return false;
        ++m_script.reads;
        frame = m_script.picture ? m_script.picture(m_width, m_height)
                                 : cv::Mat(m_height, m_width, CV_8UC3, m_script.colour);
        return true;
    }
    void release() override { m_open = false; }

private:
    CameraScript& m_script;
    bool m_open = false;
    int m_width = 0, m_height = 0;
};

class ListedDevices : public camera::Discovery {
public:
    std::vector<camera::VideoDevice> devices;
    std::vector<camera::VideoDevice> videoDevices() override { return devices; }
};

// The camera windows open on screen (nested ones included), newest last.
inline QList<CameraUser*> openCameraWindows()
{
    QList<CameraUser*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<CameraUser*>(widget); window && window->isVisible())
            windows << window;
    return windows;
}
