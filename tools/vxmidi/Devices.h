// What vxmidi does with the MIDI output registry: list its devices the way the
// relay numbers them, find one by index or name, and play a test note on it.
#pragma once

#include <cstdint>
#include <string>

namespace vxmidi {

// One line per device: "<index>\t<name in the relay's menu>\t<full name>".
// Returns the number of devices.
int ListDevices();

// The device index for DEVICE: a decimal number is taken as the index as it is
// (the registry judges its range); otherwise the device whose full name, or
// else whose menu name, is DEVICE.
int32_t FindDevice(const std::string& Device);

// Note on, HoldMs later note off, on channel 1; then the device is closed,
// which plays what is still queued. An interrupt meanwhile only shortens the
// hold, and sets Interrupted. Returns the menu name of the device.
std::string PlayTestNote(int32_t Index, uint8_t Note, unsigned HoldMs, bool& Interrupted);

}  // namespace vxmidi
