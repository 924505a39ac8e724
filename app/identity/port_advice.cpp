#include "app/identity/port_advice.h"

namespace bridge {
namespace {

// "Silicon Labs CP210x USB to UART Bridge (serial 01F3A9C2)".
std::string Described(const ListedPort& port) {
    const std::string adapter = AdapterText(port);
    return ShownName(port) + (adapter.empty() ? "" : " (" + adapter + ")");
}

// "COM7", "COM7 and COM8", "COM7, COM8 and COM9".
std::string Names(std::span<const ListedPort* const> ports) {
    std::string names;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i > 0) names += i + 1 == ports.size() ? " and " : ", ";
        names += ports[i]->name;
    }
    return names;
}

// What tells the remembered adapter apart, in the words AdapterText has for a port.
std::string IdentityText(const AdapterIdentity& adapter) {
    ListedPort port;
    port.bus = PortBus::Usb;
    port.vendorId = adapter.vendorId;
    port.productId = adapter.productId;
    port.interfaceId = adapter.interfaceId;
    port.serialNumber = adapter.serialNumber;
    return AdapterText(port);
}

const char* ProblemText(std::uint32_t code) {
    switch (code) {
        case 10: return "the device cannot start";
        case 22: return "the device is disabled";
        case 28: return "its driver is not installed";
        case 31: return "Windows cannot load its driver";
        case 39: return "its driver is missing or damaged";
        case 43: return "Windows stopped it after it reported a fault";
        case 52: return "its driver's signature cannot be verified";
        default: return nullptr;
    }
}

}  // namespace

std::string MovedLine(const ListedPort& port, unsigned wasNumber) {
    return "The box's adapter " + Described(port) + " is now " + port.name + ", was COM" +
           std::to_string(wasNumber);
}

std::string MayBeLine(std::span<const ListedPort* const> ports) {
    const std::string names = Names(ports);
    return names + " may be the box's adapter, " + Described(*ports.front()) +
           ", which the bridge cannot tell from another: if it is, choose it in Select COM port";
}

std::string LookAlikeLine(std::span<const ListedPort* const> ports) {
    return Names(ports) + " look alike, " + Described(*ports.front()) +
           ": the bridge does not guess which is the box's adapter; choose it in Select COM port";
}

std::string OtherDeviceLine(const ListedPort& port, const AdapterIdentity& adapter) {
    return port.name + " is now " + Described(port) + ", not the box's adapter (" +
           IdentityText(adapter) +
           "): the bridge leaves it alone and waits for the box's adapter; if it is the box's new "
           "adapter, choose " +
           port.name + " in Select COM port";
}

std::optional<std::string> LatencyAdvice(const ListedPort& port) {
    if (!port.latencyTimerMs || *port.latencyTimerMs <= kLatencyTimerAdviceMs) return std::nullopt;
    const std::string ms = std::to_string(*port.latencyTimerMs);
    return port.name + ": the FTDI adapter's latency timer is " + ms +
           " ms, which delays the box's commands by up to " + ms +
           " ms; set it to 1 ms in Device Manager: the port's Properties, Port Settings, "
           "Advanced, Latency Timer";
}

std::optional<std::string> ProblemAdvice(const ListedPort& port) {
    if (port.problemCode == 0) return std::nullopt;
    const char* text = ProblemText(port.problemCode);
    return port.name + " (" + ShownName(port) + ") does not work: Windows reports device problem " +
           std::to_string(port.problemCode) +
           (text != nullptr ? std::string(" (") + text + ")" : "") +
           "; a driver may refuse a chip it does not accept: install the driver of the "
           "adapter's maker, or use another adapter";
}

}  // namespace bridge
