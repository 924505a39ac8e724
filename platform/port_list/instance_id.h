// Device instance ids as Windows writes them, <enumerator>\<device id>\<last
// part>, and what they tell of a serial adapter: its bus, its USB vendor and
// product ids, the interface of a multi-port chip, and its serial number when
// it has one of its own. The forms read here:
//
//   USB\VID_10C4&PID_EA60\01F3A9C2               a USB device with a serial number
//   USB\VID_1A86&PID_7523\5&2A3B4C5D&0&1         one without: Windows makes up the
//                                                last part, with '&', from where it is plugged
//   USB\VID_2341&PID_8036&MI_00\6&3A1B2C3D&0&0000  interface 00 of a composite device,
//                                                whose serial number is its parent's
//   FTDIBUS\VID_0403+PID_6010+FT4ZQ8ABB\0000     FTDI's own enumerator: the serial
//                                                number, then the channel letter (B)
//   BTHENUM\{00001101-...}_LOCALMFG&0002\7&...   a Bluetooth port
//
// Instance ids come from the registry, which anything may have written: any
// text gives a result, whose fields are empty where the text does not fit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// Whether the last part of an instance id is a serial number of the device's
// own: not one Windows made up (with '&'), and not a placeholder that many
// devices share: 4 characters or fewer, all zeros, one character repeated, or
// one of the numbers counterfeit chips are known to carry (the list is in
// instance_id.cpp).
bool IsRealSerialNumber(std::string_view lastPart);

// Names compared as Windows compares instance ids: ASCII letters in either case.
bool SameIdText(std::string_view a, std::string_view b);

struct InstanceIdFacts {
    std::string enumerator;  // "USB", "FTDIBUS", "BTHENUM", "ACPI", ... as written
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    std::string interfaceId;   // "MI_00" of a composite device, FTDI's channel "A".."D"
    std::string serialNumber;  // a real one, or empty
    std::string lastPart;
    // The id holds a placeholder where the serial number goes: every device
    // of that kind gets the same id, so it tells none apart.
    bool sharedSerialNumber = false;
};

InstanceIdFacts ParseInstanceId(std::string_view id);

// Whether the enumerator is FTDI's own (FTDIBUS), or names a Bluetooth bus.
bool IsFtdiEnumerator(std::string_view enumerator);
bool IsBluetoothEnumerator(std::string_view enumerator);

}  // namespace bridge
