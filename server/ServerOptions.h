#pragma once

#include <QStringList>
#include <QtGlobal>

// Who may connect. The defaults admit only pages in this computer's browser:
// loopback peers that address us as localhost or a loopback address.
struct ServerOptions {
    static constexpr quint16 defaultPort = 12343;
    static constexpr qint64 maxMessageBytes = 1024 * 1024;

    quint16 port = defaultPort;
    bool allowRemote = false;      // accept peers and Host names beyond loopback
    QStringList allowedOrigins;    // empty: every page origin may connect
};
