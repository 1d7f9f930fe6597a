#pragma once

class MainWindow;

// Ties together what a signature in progress is made of. The command handlers
// reach the open signing window through it; a non-null signWindow means a
// signature is in progress.
class CGlobalObject {
public:
    CGlobalObject();

    MainWindow* signWindow;
};

extern CGlobalObject* g_globalObj;
