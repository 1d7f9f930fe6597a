#include "GlobalObject.h"

CGlobalObject::CGlobalObject()
    : signWindow(nullptr)
{
}

CGlobalObject* g_globalObj = new CGlobalObject;
