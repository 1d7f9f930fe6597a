#pragma once

#include <QtGlobal>

class QMessageLogContext;
class QString;

// File log handler: appends each message to "log.txt" in the working
// directory. Installed only on request (--log-file); by default all output
// goes to standard error.
void outputMessage(QtMsgType type, const QMessageLogContext& context, const QString& msg);
