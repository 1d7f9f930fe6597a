#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// The settings an administrator makes once for the whole computer, in
// periphd.conf (INI):
//
//   [server]
//   port = 12343
//   allowed-origins = https://counter.example.com, https://intranet.example:8443
//   allow-remote = false
//
// An entry that is absent leaves the built-in default; the command line
// overrides both.
struct SystemSettings {
    std::optional<quint16> port;
    std::optional<bool> allowRemote;
    std::optional<QStringList> allowedOrigins;
};

// /etc/periphd/periphd.conf under the install prefix.
QString defaultConfigFile();

// Reads the file at `path`. A missing file gives no settings, silently.
// Anything wrong (an unreadable file, an unknown key, a bad value) is logged
// with the file's name; a bad value is ignored, the rest still applies.
SystemSettings readSystemSettings(const QString& path);

// Empty when `origin` is written as browsers send it in the Origin header
// (scheme://host[:port], lower case, no path, no default port), else a
// sentence saying what is wrong. Origins are compared as exact text, so a
// differently written one never matches.
QString originProblem(const QString& origin);
