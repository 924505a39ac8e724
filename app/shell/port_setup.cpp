#include "app/shell/port_setup.h"

#include <cstdint>
#include <utility>

#include "app/seams/box_line_control.h"
#include "app/shell/shell_texts.h"

namespace bridge {

PortSetupModel::PortSetupModel(BoxLineControl& port, MessageDisplay& display, WindowLog& log,
                               ServoRelease& release, BoxLineRecovery& recovery,
                               BridgeSettings& settings, LinkControl& link)
    : PortGroup(port_dialog::kPortGroup, port_dialog::kPortItems),
      port_(port),
      display_(display),
      log_(log),
      release_(release),
      recovery_(recovery),
      settings_(settings),
      link_(link) {
    PortGroup.OnClick = [this] { PortGroupClick(); };
}

void PortSetupModel::FormShow() {
    ShowInGroup(settings_.CommsPort + 1u);
    selected_ = 0;
}

void PortSetupModel::PortGroupClick() {
    if (loading_ || PortGroup.ItemIndex() < 0) return;
    Choose(static_cast<unsigned>(PortGroup.ItemIndex()) + 1u);
}

void PortSetupModel::Choose(unsigned portNumber) {
    release_.Release(ServoReleaseReason::PortChosen);
    recovery_.Forget();
    port_.Close();
    port_.SetDeviceName(ComName(portNumber));
    OpenBoxLine(port_, display_, log_, portNumber, link_);
    settings_.CommsPort = static_cast<std::uint8_t>(portNumber - 1u);
    if (OnPortChosen) OnPortChosen(portNumber);
}

void PortSetupModel::ShowInGroup(unsigned portNumber) {
    loading_ = true;
    const bool inGroup = portNumber >= 1 && portNumber <= port_dialog::kPortItems.size();
    PortGroup.SetItemIndex(inGroup ? static_cast<int>(portNumber) - 1 : -1);
    loading_ = false;
}

void PortSetupModel::ShowPorts(const BoxAdapter& adapter) {
    const unsigned boxNumber = settings_.CommsPort + 1u;
    std::vector<std::string> lines;
    listed_.clear();
    int selected = -1;
    int boxLine = -1;
    for (const ListedPort& port : adapter.Ports()) {
        if (port.number == 0) continue;  // not COMn: the box's port cannot be one
        const PortMark mark = adapter.MarkOf(port, boxNumber);
        std::string line = port.name;
        if (mark != PortMark::None) {
            line += std::string(" (") +
                    (mark == PortMark::BoxAdapter ? port_dialog::kBoxAdapterMark
                                                  : port_dialog::kMayBeMark) +
                    ")";
        }
        if (!port.friendlyName.empty()) line += ": " + ShownName(port);
        const int index = static_cast<int>(lines.size());
        if (port.number == selected_) selected = index;
        if (mark == PortMark::BoxAdapter || (boxLine < 0 && port.number == boxNumber)) {
            boxLine = index;
        }
        lines.push_back(std::move(line));
        listed_.push_back(port.number);
    }
    if (OnPortsShown) OnPortsShown(lines, selected >= 0 ? selected : boxLine);
}

void PortSetupModel::PortListSelected(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < listed_.size()) {
        selected_ = listed_[static_cast<std::size_t>(index)];
    }
}

void PortSetupModel::PortListActivated(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= listed_.size()) return;
    const unsigned portNumber = listed_[static_cast<std::size_t>(index)];
    selected_ = portNumber;
    // The box's port again: left as it is while open, tried at once while
    // lost, and chosen anew when it did not open.
    if (portNumber == settings_.CommsPort + 1u && ComName(portNumber) == port_.DeviceName()) {
        if (recovery_.Lost()) recovery_.RetryNow();
        if (link_.PortOpen || recovery_.Lost()) return;
    }
    Choose(portNumber);
    ShowInGroup(portNumber);
}

void PortSetupModel::PortGroupItemClick(int index) {
    if (index >= 0 && index == PortGroup.ItemIndex() && recovery_.Lost() &&
        ComName(static_cast<unsigned>(index) + 1u) == port_.DeviceName()) {
        recovery_.RetryNow();
        return;
    }
    PortGroup.SetItemIndex(index);
}

}  // namespace bridge
