#include "app/shell/port_setup.h"

#include <utility>

#include "app/shell/shell_texts.h"

namespace bridge {
namespace {

const char* MarkText(PortMark mark) {
    switch (mark) {
        case PortMark::BoxAdapter: return port_dialog::kBoxAdapterMark;
        case PortMark::MayBe: return port_dialog::kMayBeMark;
        case PortMark::LookAlike: return port_dialog::kLookAlikeMark;
        case PortMark::None: break;
    }
    return nullptr;
}

// The group's items are "COM1".."COM16": an item's COM number is what it says.
unsigned ItemNumber(int item) {
    return ComNumber(port_dialog::kPortItems[static_cast<std::size_t>(item)]);
}

int ItemOf(unsigned number) {
    for (std::size_t item = 0; item < port_dialog::kPortItems.size(); ++item) {
        if (ComNumber(port_dialog::kPortItems[item]) == number) return static_cast<int>(item);
    }
    return -1;
}

}  // namespace

PortSetupModel::PortSetupModel(BoxLinePort& boxPort)
    : PortGroup(port_dialog::kPortGroup, port_dialog::kPortItems), boxPort_(boxPort) {
    PortGroup.OnClick = [this] { PortGroupClick(); };
}

void PortSetupModel::FormShow() {
    ShowInGroup(boxPort_.Number());
    selected_ = 0;
}

void PortSetupModel::PortGroupClick() {
    if (loading_ || PortGroup.ItemIndex() < 0) return;
    boxPort_.Choose(ItemNumber(PortGroup.ItemIndex()));
}

void PortSetupModel::PortGroupItemClick(int item) {
    if (item >= 0 && item == PortGroup.ItemIndex()) {
        boxPort_.Choose(ItemNumber(item));
        return;
    }
    PortGroup.SetItemIndex(item);
}

void PortSetupModel::ShowInGroup(unsigned number) {
    loading_ = true;
    PortGroup.SetItemIndex(ItemOf(number));
    loading_ = false;
}

void PortSetupModel::ShowPorts() {
    const BoxAdapter& adapter = boxPort_.Adapter();
    const unsigned boxNumber = boxPort_.Number();
    std::vector<std::string> lines;
    listed_.clear();
    int selected = -1;
    int boxLine = -1;
    for (const ListedPort& port : adapter.Ports()) {
        if (port.number == 0) continue;  // not COMn: the box's port cannot be one
        const PortMark mark = adapter.MarkOf(port, boxNumber);
        std::string line = port.name;
        if (const char* text = MarkText(mark)) line += std::string(" (") + text + ")";
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

// The group shows the choice before the choice runs: a message box it shows
// comes over a dialog that already says what was chosen.
void PortSetupModel::PortListActivated(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= listed_.size()) return;
    const unsigned number = listed_[static_cast<std::size_t>(index)];
    selected_ = number;
    ShowInGroup(number);
    boxPort_.Choose(number);
}

}  // namespace bridge
