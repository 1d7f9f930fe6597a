#include "IdCardSimulation.h"

#include "IdCardRecords.h"
#include "SimulatedHidCardReader.h"
#include "SimulatedSamReader.h"
#include "SimulatedUsbBus.h"
#include "Simulation.h"

SimulatedSamReader& simulatedSamReader()
{
    // Never destroyed, like the bus: a transfer may still be waiting at exit.
    static auto* reader = new SimulatedSamReader;
    return *reader;
}

SimulatedHidCardReader& simulatedHidCardReader()
{
    static auto* reader = new SimulatedHidCardReader;
    return *reader;
}

namespace usb {

void attachSimulatedCardReaders()
{
    const QByteArray sample = simdevices::idCardRecord(simdevices::sampleHolder()).record;
    simulatedSamReader().setCardRecord(sample);
    simulatedHidCardReader().setCardRecord(sample);
    simulatedUsbBus().attach(simulatedSamReader());
    simulatedUsbBus().attach(simulatedHidCardReader());
}

} // namespace usb
