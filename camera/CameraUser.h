#pragma once

#include "FrameSource.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QString>

#include <memory>
#include <opencv2/core.hpp>

class QTimer;
class Ui_CameraUser;

// The camera window: a live preview of the document or portrait camera, a
// resolution chooser, "拍照" to take a picture (shown on the right, written
// to "/tmp/kmo_cv.jpg") and "关闭退出" to close with the picture. Run modally
// by the "ZCCameraPic" command; its outcome is getBase64() after exec().
class CameraUser : public QDialog {
    Q_OBJECT
public:
    explicit CameraUser(QWidget* parent = nullptr);
    ~CameraUser() override;

    // Base64 of the JPEG taken in this window, once it was closed with
    // "关闭退出"; empty otherwise.
    QString getBase64() const;

    // 1 when a video4linux device with exactly these ids exists; its node
    // path (at most 127 characters) then goes to `path`, a zeroed buffer of
    // 256 bytes. Note the order: model, then vendor.
    int findCameraVideoPath(char* model, char* vendor, char* path);
    // Finds the two camera roles, records their device numbers and lists
    // them in the camera chooser. 0 when one was found, -1 when none was.
    int initCamera();

    static const char* photoPath();

private slots:
    void openCamaraSlot();
    void readFrameSlot();
    void closeCamaraSlot();
    void takingPicturesSlot();
    void closeSlot();
    void print_s();
    void print_camera();

private:
    bool reopen(int width, int height);
    void showNoCamera(const QString& text);

public:
    Ui_CameraUser* ui = nullptr;
    QString m_photoBase64;
    cv::Mat m_frame;
    std::unique_ptr<camera::FrameSource> m_capture;
    QTimer* m_timer = nullptr;
    QImage m_preview;
    int m_currentIndex = -1;
    int m_documentIndex = -1;
    int m_portraitIndex = -1;

private:
    // The JPEG of the last picture taken in this window, as written to the
    // photo file. Only this goes back to the page: the file may hold an
    // earlier customer's picture.
    QByteArray m_photoJpeg;
};
