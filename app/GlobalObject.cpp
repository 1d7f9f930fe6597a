#include "GlobalObject.h"

#include "QGetHandWrtingDevData.h"
#include "QHandWritingDevForLibUsb.h"
#include "QHidWritingDevice.h"

#include <QDebug>

CGlobalObject::CGlobalObject()
    : signWindow(nullptr)
{
    signDevice = new QHandWritingDevForLibUsb(nullptr);
    // The thread reads through signDevice itself, so it always uses the
    // driver installed here.
    samplingThread = new QGetHandWrtingDevData(&signDevice);
}

void CGlobalObject::stopSampling()
{
    if (!samplingThread->isRunning())
        return;
    samplingThread->m_stop = true;
    samplingThread->quit();
    samplingThread->wait();
}

void CGlobalObject::releasePad()
{
    stopSampling();
    signDevice->closeDevice();
    qWarning().noquote() << QStringLiteral("signature pad released");
}

CGlobalObject* g_globalObj = new CGlobalObject;
