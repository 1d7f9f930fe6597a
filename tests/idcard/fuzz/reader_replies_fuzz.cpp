// The SAM and HID readers' reply handling under libFuzzer: the fuzzer's
// bytes become what the reader models answer (see ReaderFuzzInput.h), and
// the real ReadIDCard and HidIDCard code reads them through the simulated
// bus into exactly sized heap buffers, so that AddressSanitizer sees any
// access outside them.
#include "HidIDCard.h"
#include "ReadIDCard.h"
#include "ReaderFuzzInput.h"
#include "SimulatedHidCardReader.h"
#include "SimulatedSamReader.h"
#include "SimulatedUsbBus.h"
#include "UsbBackend.h"

#include <QByteArray>
#include <QtGlobal>

#include <libusb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using Command = SimulatedSamReader::Command;

struct Bench {
    SimulatedUsbBus bus;
    SimulatedSamReader sam;
    SimulatedHidCardReader hid;
    Bench()
    {
        bus.attach(sam);
        bus.attach(hid);
        usb::setBackend(bus);
    }
};

Bench& bench()
{
    static Bench* instance = new Bench;
    return *instance;
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&)
{
}

void runSam(SimulatedSamReader& sam, SimulatedUsbBus& bus, bool m0501, const uint8_t* data,
            size_t size)
{
    sam.resetFaults();
    sam.clearHistory();
    sam.setModule(m0501 ? SimulatedSamReader::Module::M0501 : SimulatedSamReader::Module::M0503);
    size_t at = 0;
    if (at < size) {
        const uint8_t failures = data[at++];
        if (failures & readerfuzz::kRefuse01)
            sam.failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
        if (failures & readerfuzz::kFailOnce02)
            sam.failTransfers(0x02, 1, LIBUSB_ERROR_PIPE);
        if (failures & readerfuzz::kFailOnce06)
            sam.failTransfers(0x06, 1, LIBUSB_ERROR_IO);
        if (failures & readerfuzz::kFailOnce81)
            sam.failTransfers(0x81, 1, LIBUSB_ERROR_OVERFLOW);
        if (failures & readerfuzz::kFailOnce85)
            sam.failTransfers(0x85, 1, LIBUSB_ERROR_PIPE);
    }
    for (Command command : {Command::SamId, Command::Find, Command::Select, Command::Read}) {
        if (at + 2 > size)
            break;
        size_t length = (size_t(data[at]) << 8) | data[at + 1];
        at += 2;
        length = qMin(length, size - at);
        sam.setRawReply(command, QByteArray(reinterpret_cast<const char*>(data + at), int(length)));
        at += length;
    }

    libusb_device_handle* handle = bus.openDeviceWithVidPid(nullptr, 0x0400, 0xC35A);
    if (!handle)
        std::abort();
    bus.claimInterface(handle, 0);
    ReadIDCard card;
    auto samId = std::make_unique<char[]>(128);
    samId[0] = '\0';
    auto record = std::make_unique<unsigned char[]>(4096);
    if (m0501) {
        card.getIDSAM0501(handle, samId.get());
        card.findCard0501(handle);
        card.selectCard0501(handle);
        card.readCardData0501(handle, record.get());
    } else {
        card.getIDSAM0503(handle, samId.get());
        card.findCard0503(handle);
        card.selectCard0503(handle);
        card.readCardData0503(handle, record.get());
    }
    // A SAM id is all or nothing: 32 hexadecimal digits or untouched.
    const size_t idLength = strnlen(samId.get(), 128);
    if (idLength != 0 && idLength != 32)
        std::abort();
    bus.releaseInterface(handle, 0);
    bus.close(handle);
}

void runHid(SimulatedHidCardReader& hid, const uint8_t* data, size_t size)
{
    hid.resetFaults();
    hid.clearHistory();
    size_t at = 0;
    if (at < size)
        hid.setRequestAnswer(data[at++]);
    if (at < size)
        hid.setSelectAnswer(data[at++]);
    if (at < size)
        hid.setNotReadyPolls(data[at++] % 4);
    QList<QByteArray> reports;
    for (; at < size; at += readerfuzz::kReportSize) {
        const size_t length = qMin(size_t(readerfuzz::kReportSize), size - at);
        reports << QByteArray(reinterpret_cast<const char*>(data + at), int(length));
    }
    hid.setRawReadReports(reports);

    HidIDCard card;
    const long handle = card.ICC_Reader_Open(const_cast<char*>("USB1"));
    if (handle < 1)
        std::abort();
    card.PICC_Reader_ID_Request(handle);
    card.PICC_Reader_ID_Select(handle);
    auto record = std::make_unique<unsigned char[]>(HidIDCard::kRecordSize);
    card.PICC_Reader_ID_Read(handle, record.get());
    card.ICC_Reader_Close(handle);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(quiet);
    // The readers' progress lines go to standard output; keep the run quiet.
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    bench();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Bench& b = bench();
    switch (data[0] % readerfuzz::kReaders) {
    case readerfuzz::Sam0501:
        runSam(b.sam, b.bus, true, data + 1, size - 1);
        break;
    case readerfuzz::Sam0503:
        runSam(b.sam, b.bus, false, data + 1, size - 1);
        break;
    default:
        runHid(b.hid, data + 1, size - 1);
        break;
    }
    return 0;
}
