#include "Simulation.h"

#include "SimulatedPad.h"
#include "SimulatedUsbBus.h"

SimulatedUsbBus& simulatedUsbBus()
{
    // Never destroyed: the sampling thread may still be reading at exit.
    static auto* bus = new SimulatedUsbBus;
    return *bus;
}

SimulatedPad& simulatedPad()
{
    static auto* pad = new SimulatedPad;
    return *pad;
}

namespace usb {

void useSimulatedDevices()
{
    simulatedUsbBus().attach(simulatedPad());
    setBackend(simulatedUsbBus());
}

} // namespace usb
