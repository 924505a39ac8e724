// Instance ids as a registry that anything may have written gives them,
// through the parser, the description of a port and its nodes above, and the
// taking of an identity. The input is text: the port's name on the first
// line, then its instance id, then the ids of the nodes above it, each line
// optionally "id|location path". Besides the sanitizers' checks:
// - a serial number is a real one or empty, and an interface is MI_ with two
//   hexadecimal digits, a channel letter A to D, or empty;
// - ids are read only from "VID_"/"PID_" in the text;
// - a port's number is that of its name COMn, 1 to 256, else 0, and an FTDI
//   latency timer only for FTDI's enumerator;
// - an identity is taken only of a USB port with its ids and a number, holds
//   only texts the settings file keeps, and the port is its own adapter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/identity/adapter_search.h"
#include "platform/port_list/instance_id.h"
#include "platform/port_list/port_node.h"
#include "tests/fuzz/fuzz_checks.h"

namespace bridge::fuzzing {
namespace {

bool HasText(std::string_view text, std::string_view part) {
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (SameIdText(text.substr(i, part.size()), part)) return true;
    }
    return false;
}

void CheckFacts(std::string_view id, const InstanceIdFacts& facts) {
    FUZZ_CHECK(facts.serialNumber.empty() || IsRealSerialNumber(facts.serialNumber));
    const std::string& i = facts.interfaceId;
    const bool mi = i.size() == 5 && i.compare(0, 3, "MI_") == 0;
    FUZZ_CHECK(i.empty() || mi || (i.size() == 1 && i[0] >= 'A' && i[0] <= 'D'));
    FUZZ_CHECK(!facts.vendorId || HasText(id, "VID_"));
    FUZZ_CHECK(!facts.productId || HasText(id, "PID_"));
    FUZZ_CHECK(id.substr(0, facts.enumerator.size()) == facts.enumerator);
}

DeviceNode ReadNode(std::string_view line) {
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) return {std::string(line), {}};
    return {std::string(line.substr(0, bar)), {std::string(line.substr(bar + 1))}};
}

}  // namespace
}  // namespace bridge::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bridge;
    using namespace bridge::fuzzing;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines;
    for (std::size_t begin = 0; begin <= text.size();) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    PortNode node;
    node.portName = std::string(lines[0]);
    node.latencyTimerMs = 16;
    node.problemCode = size % 60;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const DeviceNode read = ReadNode(lines[i]);
        CheckFacts(read.instanceId, ParseInstanceId(read.instanceId));
        if (i == 1) {
            node.self = read;
        } else {
            node.above.push_back(read);
        }
    }
    const ListedPort port = DescribePort(node);
    FUZZ_CHECK(port.number == ComNumber(port.name) && port.number <= kHighestComNumber);
    FUZZ_CHECK(!port.latencyTimerMs ||
               IsFtdiEnumerator(ParseInstanceId(node.self.instanceId).enumerator));
    FUZZ_CHECK(port.serialNumber.empty() || IsRealSerialNumber(port.serialNumber));
    (void)PortReportLine(port);

    const std::vector<ListedPort> present = {port, port};
    if (const auto identity = TakeIdentity(port, present)) {
        FUZZ_CHECK(port.bus == PortBus::Usb && port.number != 0);
        FUZZ_CHECK(KeepableText(identity->instanceId) && KeepableText(identity->serialNumber) &&
                   KeepableText(identity->interfaceId));
        // Its own port is the adapter, unless nothing of it tells one device apart.
        const bool telling = !identity->serialNumber.empty() || !identity->instanceId.empty();
        FUZZ_CHECK(IsAdapter(*identity, port) == telling && !IsOtherDevice(*identity, port));
        FUZZ_CHECK(!identity->presentIdsKnown || ContainsId(identity->presentIds, port.instanceId));
    }
    return 0;
}
