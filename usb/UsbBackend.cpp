#include "UsbBackend.h"

#include <atomic>

namespace usb {
namespace {

// Read by drivers on any thread; written once by start-up code.
std::atomic<Backend*> g_selected{nullptr};

} // namespace

Backend& backend()
{
    Backend* selected = g_selected.load();
    return selected ? *selected : libusbBackend();
}

void setBackend(Backend& selected)
{
    g_selected.store(&selected);
}

} // namespace usb
