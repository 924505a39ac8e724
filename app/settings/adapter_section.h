// The settings file's section of the box's adapter, [BoxAdapter] beside
// [Setup], in ASCII: the identity with the COM number it was taken at.
//
//   [BoxAdapter]
//   Port=COM4
//   VendorId=10C4
//   ProductId=EA60
//   Interface=
//   SerialNumber=01F3A9C2
//   InstanceId=USB\VID_10C4&PID_EA60\01F3A9C2
//   PresentIds=USB\VID_10C4&PID_EA60\01F3A9C2
//
// Written only when an identity is known, or to clear one the file holds: a
// file written from defaults stays the [Setup] section with its five keys.
// An empty value means none; PresentIds "*": too many to keep.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/identity/adapter_identity.h"

namespace bridge {

inline constexpr const char* kAdapterSection = "BoxAdapter";

struct SavedAdapter {
    std::optional<AdapterIdentity> identity;
    bool inFile = false;  // the file held an identity, well formed or not
};

// None unless the port ("COMn") and both ids (four hexadecimal digits) are
// there and every text is one the section keeps.
SavedAdapter ReadAdapterSection(const std::filesystem::path& path);

// Writes the identity's keys, empty for none; writes nothing when there is
// none and the file held none. On failure the text to show, "Unable to write
// to <path>".
[[nodiscard]] std::optional<std::string> WriteAdapterSection(const std::filesystem::path& path,
                                                             const SavedAdapter& adapter);

}  // namespace bridge
