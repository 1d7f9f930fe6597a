#pragma once

class MainWindow;
class QGetHandWrtingDevData;
class QHidWritingDevice;

// Ties together what a signature in progress is made of: the pad driver, the
// sampling thread that reads it, and the open signing window. A non-null
// signWindow means a signature is in progress.
class CGlobalObject {
public:
    CGlobalObject();

    // Ends the sampling thread and waits for it: it has no event loop, so
    // the stop flag ends it, within one read. Must precede any close or
    // reopen of the pad.
    void stopSampling();
    // At exit: stops the sampling thread, then closes the pad, which gives
    // its interface back.
    void releasePad();

    QHidWritingDevice* signDevice;
    QGetHandWrtingDevData* samplingThread;
    MainWindow* signWindow;
};

extern CGlobalObject* g_globalObj;
