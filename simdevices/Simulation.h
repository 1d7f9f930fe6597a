#pragma once

class SimulatedPad;
class SimulatedUsbBus;

namespace usb {

// Puts the simulated devices on the USB seam for the rest of the run: the
// drivers then find the models below instead of hardware. Call it at
// start-up, before any driver is used.
void useSimulatedDevices();

} // namespace usb

// The process-wide models behind useSimulatedDevices().
SimulatedUsbBus& simulatedUsbBus();
SimulatedPad& simulatedPad();
