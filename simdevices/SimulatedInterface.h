#pragma once

#include <libusb.h>

// The one interface of a simulated device as usbfs keeps it: claimed by a
// program or not, held by a kernel driver or not. The models call these with
// their own lock held; the results are libusb's codes.
struct SimulatedInterface {
    int number = 0;
    bool claimed = false;
    bool kernelDriverBound = false;
    int claimError = 0;       // what claiming answers while set
    int claimErrorsLeft = -1; // how many claims fail so; negative: until cleared

    int claim(bool attached, int interfaceNumber)
    {
        if (!attached)
            return LIBUSB_ERROR_NO_DEVICE;
        if (interfaceNumber != number)
            return LIBUSB_ERROR_NOT_FOUND;
        if (claimError && claimErrorsLeft != 0) {
            if (claimErrorsLeft > 0)
                --claimErrorsLeft;
            return claimError;
        }
        if (kernelDriverBound)
            return LIBUSB_ERROR_BUSY;
        claimed = true;
        return LIBUSB_SUCCESS;
    }

    int release(bool attached, int interfaceNumber)
    {
        if (!attached)
            return LIBUSB_ERROR_NO_DEVICE;
        if (interfaceNumber != number || !claimed)
            return LIBUSB_ERROR_NOT_FOUND;
        claimed = false;
        return LIBUSB_SUCCESS;
    }

    bool driverActive(int interfaceNumber) const
    {
        return interfaceNumber == number && kernelDriverBound;
    }

    int detach(bool attached, int interfaceNumber)
    {
        if (!attached)
            return LIBUSB_ERROR_NO_DEVICE;
        if (!driverActive(interfaceNumber))
            return LIBUSB_ERROR_NOT_FOUND;
        kernelDriverBound = false;
        return LIBUSB_SUCCESS;
    }

    // A transfer on an interface nobody claimed: usbfs claims it for the
    // caller, which fails while a kernel driver holds it.
    int claimForTransfer()
    {
        if (claimed)
            return LIBUSB_SUCCESS;
        if (kernelDriverBound)
            return LIBUSB_ERROR_BUSY;
        claimed = true;
        return LIBUSB_SUCCESS;
    }
};
