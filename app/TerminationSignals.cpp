#include "TerminationSignals.h"

#include <QDebug>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const int kSignals[] = {SIGTERM, SIGINT};

int s_pipe[2] = {-1, -1};
struct sigaction s_previous[sizeof kSignals / sizeof kSignals[0]];

// Async-signal-safe: one write() of one byte, errno left as it was.
void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCritical().noquote() << QStringLiteral("cannot watch for SIGTERM and SIGINT: %1")
                                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: the event loop's poll and every other call the signal
    // interrupts carry on; the notifier wakes the loop instead.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    m_installed = true;
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (::sigaction(kSignals[i], &action, &s_previous[i]) != 0) {
            qCritical().noquote() << QStringLiteral("cannot handle %1: %2")
                                         .arg(name(kSignals[i]))
                                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
            m_installed = false;
        }
    }
}

TerminationSignals::~TerminationSignals()
{
    if (s_pipe[0] < 0)
        return;
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
        ::sigaction(kSignals[i], &s_previous[i], nullptr);
    delete m_notifier;
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

QString TerminationSignals::name(int signalNumber)
{
    return QStringLiteral("SIG%1").arg(QString::fromLatin1(sigabbrev_np(signalNumber)));
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(s_pipe[0], &byte, 1) == 1)
        emit received(byte);
}
