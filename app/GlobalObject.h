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

    QHidWritingDevice* signDevice;
    QGetHandWrtingDevData* samplingThread;
    MainWindow* signWindow;
};

extern CGlobalObject* g_globalObj;
