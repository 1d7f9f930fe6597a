#pragma once

class SimulatedHidCardReader;
class SimulatedSamReader;

// The identity card readers of `periphd --simulate`: the SAM reader (0503
// module) and the HID reader, each holding the sample resident identity
// card with the stock portrait, plugged into the simulated USB bus. Pages
// script them with SimIDCard.
namespace usb {

// Call once, after useSimulatedDevices() (the bus must be selected).
void attachSimulatedCardReaders();

} // namespace usb

// The process-wide models behind attachSimulatedCardReaders().
SimulatedSamReader& simulatedSamReader();
SimulatedHidCardReader& simulatedHidCardReader();
