#include "platform/port_list/win32/system_ports.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "platform/port_list/instance_id.h"
#include "platform/port_list/port_node.h"

namespace bridge {
namespace {

// GUID_DEVCLASS_PORTS: serial and parallel ports.
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr int kNodesAbove = 2;  // the USB device above an FTDI port may be a composite's function
constexpr DWORD kLongestValueBytes = 32768;

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
    const int wide = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), size, nullptr, nullptr);
    return out;
}

// The strings of a string value as read, whether or not the registry holds
// its NULs: one for REG_SZ, each of REG_MULTI_SZ; none for another type.
std::vector<std::string> Strings(DWORD type, const std::wstring& buffer, DWORD bytes) {
    std::vector<std::string> strings;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return strings;
    const std::size_t chars = std::min<std::size_t>(bytes / sizeof(wchar_t), buffer.size());
    std::size_t begin = 0;
    while (begin < chars) {
        std::size_t end = begin;
        while (end < chars && buffer[end] != L'\0') ++end;
        if (end > begin) strings.push_back(Utf8(buffer.data() + begin, end - begin));
        if (type != REG_MULTI_SZ) break;
        begin = end + 1;
    }
    return strings;
}

std::string First(const std::vector<std::string>& strings) {
    return strings.empty() ? std::string() : strings.front();
}

std::vector<std::string> DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::wstring buffer(512, L'\0');
    DWORD type = 0;
    DWORD bytes = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                              reinterpret_cast<BYTE*>(buffer.data()), size,
                                              &bytes)) {
            return Strings(type, buffer, bytes);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes > kLongestValueBytes) break;
        buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    }
    return {};
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    std::wstring buffer(MAX_DEVICE_ID_LEN + 1, L'\0');
    DWORD needed = 0;
    if (!SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(), static_cast<DWORD>(buffer.size()),
                                     &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > kLongestValueBytes) return {};
        buffer.assign(needed + 1, L'\0');
        if (!SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), nullptr)) {
            return {};
        }
    }
    return Utf8(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

// PortName, and FTDI's LatencyTimer, from the node's own key (Device Parameters).
void ReadDeviceKey(HDEVINFO set, SP_DEVINFO_DATA& device, PortNode& node) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return;
    std::wstring buffer(256, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) == ERROR_SUCCESS) {
        node.portName = First(Strings(type, buffer, bytes));
    }
    DWORD latency = 0;
    bytes = sizeof latency;
    if (RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&latency),
                         &bytes) == ERROR_SUCCESS &&
        type == REG_DWORD && bytes == sizeof latency) {
        node.latencyTimerMs = latency;
    }
    RegCloseKey(key);
}

std::vector<std::string> LocationPaths(DEVINST node) {
    std::wstring buffer(512, L'\0');
    ULONG type = 0;
    ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(wchar_t));
    if (CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_LOCATION_PATHS, &type, buffer.data(), &bytes,
                                          0) != CR_SUCCESS) {
        return {};
    }
    return Strings(type, buffer, bytes);
}

void ReadNodesAbove(DEVINST node, PortNode& port) {
    for (int level = 0; level < kNodesAbove; ++level) {
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return;
        std::wstring id(MAX_DEVICE_ID_LEN + 1, L'\0');
        if (CM_Get_Device_IDW(parent, id.data(), static_cast<ULONG>(id.size()), 0) != CR_SUCCESS) {
            return;
        }
        port.above.push_back(
            {Utf8(id.data(), wcsnlen(id.data(), id.size())), LocationPaths(parent)});
        node = parent;
    }
}

PortNode ReadNode(HDEVINFO set, SP_DEVINFO_DATA& device) {
    PortNode node;
    node.self.instanceId = InstanceId(set, device);
    node.friendlyName = First(DeviceProperty(set, device, SPDRP_FRIENDLYNAME));
    if (node.friendlyName.empty())
        node.friendlyName = First(DeviceProperty(set, device, SPDRP_DEVICEDESC));
    node.manufacturer = First(DeviceProperty(set, device, SPDRP_MFG));
    node.self.locationPaths = DeviceProperty(set, device, SPDRP_LOCATION_PATHS);
    ReadDeviceKey(set, device, node);
    ULONG status = 0;
    ULONG problem = 0;
    if (CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS &&
        (status & DN_HAS_PROBLEM) != 0) {
        node.problemCode = problem;
    }
    ReadNodesAbove(device.DevInst, node);
    return node;
}

bool Listed(const std::vector<ListedPort>& ports, const std::string& name) {
    for (const ListedPort& port : ports) {
        if (SameIdText(port.name, name)) return true;
    }
    return false;
}

void AddDeviceMapPorts(std::vector<ListedPort>& ports) {
    HKEY map = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameChars = 256;
        std::wstring data(64, L'\0');
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LONG result = RegEnumValueW(map, index, valueName, &nameChars, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (result == ERROR_MORE_DATA) continue;  // a name or a value no port has
        if (result != ERROR_SUCCESS) break;
        const std::string name = First(Strings(type, data, bytes));
        if (name.empty() || Listed(ports, name)) continue;
        ListedPort port;
        port.name = name;
        port.number = ComNumber(name);
        ports.push_back(port);
    }
    RegCloseKey(map);
}

}  // namespace

std::vector<ListedPort> ListSystemPorts() {
    std::vector<ListedPort> ports;
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
            ListedPort port = DescribePort(ReadNode(set, device));
            if (!port.name.empty() && !Listed(ports, port.name)) ports.push_back(std::move(port));
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    AddDeviceMapPorts(ports);
    SortPorts(ports);
    return ports;
}

}  // namespace bridge
