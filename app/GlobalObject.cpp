#include "GlobalObject.h"

#include "QGetHandWrtingDevData.h"
#include "QHandWritingDevForLibUsb.h"

CGlobalObject::CGlobalObject()
    : signWindow(nullptr)
{
    signDevice = new QHandWritingDevForLibUsb(nullptr);
    // The thread reads through signDevice itself, so it always uses the
    // driver installed here.
    samplingThread = new QGetHandWrtingDevData(&signDevice);
}

CGlobalObject* g_globalObj = new CGlobalObject;
