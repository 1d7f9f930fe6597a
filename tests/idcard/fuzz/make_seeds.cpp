// Writes the reader reply fuzzer's seeds (format in ReaderFuzzInput.h):
// well-formed conversations with both SAM modules and the HID reader, and a
// few that stop at the readers' checks.
#include "ReaderFuzzInput.h"
#include "SimulatedHidCardReader.h"
#include "SimulatedSamReader.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <cstdio>

namespace {

QByteArray sampleRecord(bool fingerprint)
{
    QByteArray record;
    for (int i = 0; i < 256 + 1024; ++i)
        record += char((i * 29 + 7) & 0xFF);
    if (fingerprint)
        record += 'C' + QByteArray(1023, '\x5A');
    return record;
}

QByteArray status(unsigned char sw3)
{
    return QByteArray::fromHex("0000") + char(sw3);
}

QByteArray lengthWords(bool fingerprint)
{
    return QByteArray::fromHex(fingerprint ? "010004000400" : "010004000000");
}

QByteArray sized(const QByteArray& reply)
{
    QByteArray out(2, '\0');
    out[0] = char((reply.size() >> 8) & 0xFF);
    out[1] = char(reply.size() & 0xFF);
    return out + reply;
}

// The four replies of a whole read: SAM id, find, select, read.
QByteArray samConversation(bool m0501, bool fingerprint, const QByteArray& readReply = QByteArray())
{
    const QByteArray record = sampleRecord(fingerprint);
    const QByteArray read = m0501
        ? SimulatedSamReader::frame(status(0x90) + QByteArray::fromHex("01000400") + record.left(1280))
        : SimulatedSamReader::frame(status(0x90) + lengthWords(fingerprint) + record);
    return sized(SimulatedSamReader::frame(status(0x90) + QByteArray(16, '\x42')))
        + sized(SimulatedSamReader::frame(status(0x9F) + QByteArray(4, '\0')))
        + sized(SimulatedSamReader::frame(status(0x90) + QByteArray(8, '\0')))
        + sized(readReply.isEmpty() ? read : readReply);
}

QByteArray hidConversation(const QList<QByteArray>& reports, int notReady = 0)
{
    QByteArray input;
    input += char(readerfuzz::Hid);
    input += '\0';
    input += '\0';
    input += char(notReady);
    for (const QByteArray& report : reports)
        input += report;
    return input;
}

bool write(const QString& folder, const char* name, const QByteArray& bytes)
{
    QFile file(folder + "/" + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QByteArray m0501(1, char(readerfuzz::Sam0501));
    const QByteArray m0503(1, char(readerfuzz::Sam0503));
    const QByteArray none(1, '\0');
    const QByteArray record = sampleRecord(false).left(1280);
    QByteArray overAnnounced = SimulatedSamReader::frame(status(0x90) + lengthWords(false) + sampleRecord(false));
    overAnnounced[5] = char(0x0F);

    bool ok = true;
    ok &= write(folder, "sam0501", m0501 + none + samConversation(true, false));
    ok &= write(folder, "sam0503", m0503 + none + samConversation(false, false));
    ok &= write(folder, "sam0503_fingerprint", m0503 + none + samConversation(false, true));
    ok &= write(folder, "sam0503_refuses_01",
                m0503 + QByteArray(1, char(readerfuzz::kRefuse01)) + samConversation(false, false));
    ok &= write(folder, "sam0501_failing_06",
                m0501 + QByteArray(1, char(readerfuzz::kFailOnce06)) + samConversation(true, false));
    ok &= write(folder, "sam0503_over_announced", m0503 + none + samConversation(false, false, overAnnounced));
    ok &= write(folder, "sam0503_short_read", m0503 + none + samConversation(false, false, overAnnounced.left(40)));
    ok &= write(folder, "hid", hidConversation(SimulatedHidCardReader::readReports(record)));
    ok &= write(folder, "hid_busy", hidConversation(SimulatedHidCardReader::readReports(record), 3));
    ok &= write(folder, "hid_single_report",
                hidConversation(SimulatedHidCardReader::readReports(record.left(20))));
    ok &= write(folder, "hid_over_announced",
                hidConversation(SimulatedHidCardReader::readReports(record, 1300)));
    return ok ? 0 : 1;
}
