#include "app/shell/operation_setup.h"

#include <cstdint>

#include "app/shell/shell_texts.h"
#include "radio/radio_cycle.h"

namespace bridge {
namespace {

// The selection as the one-byte setting it stands for.
std::uint8_t Selected(const RadioGroup& group) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(group.ItemIndex()) & 0xFFu);
}

}  // namespace

OperationSetupModel::OperationSetupModel(BridgeSettings& settings, BoxPortRouting& boxPorts)
    : EngineGroup(operation_setup::kEngineGroup, operation_setup::kEngineItems),
      SplitGroup(operation_setup::kSplitGroup, operation_setup::kSplitItems),
      Sl30PortGroup(operation_setup::kSl30PortGroup, operation_setup::kRadioPortItems),
      Sl40PortGroup(operation_setup::kSl40PortGroup, operation_setup::kRadioPortItems),
      settings_(settings),
      boxPorts_(boxPorts) {
    EngineGroup.OnClick = [this] { EngineGroupClick(); };
    SplitGroup.OnClick = [this] { SplitGroupClick(); };
    Sl30PortGroup.OnClick = [this] { Sl30PortGroupClick(); };
    Sl40PortGroup.OnClick = [this] { Sl40PortGroupClick(); };
}

void OperationSetupModel::FormActivate() {
    Sl30PortGroup.SetItemIndex(settings_.SL30Port);
    Sl40PortGroup.SetItemIndex(settings_.SL40Port);
    EngineGroup.SetItemIndex(settings_.NumberOfEngines);
    SplitGroup.SetItemIndex(settings_.EGTCHTSplit);
}

void OperationSetupModel::EngineGroupClick() { settings_.NumberOfEngines = Selected(EngineGroup); }

void OperationSetupModel::SplitGroupClick() { settings_.EGTCHTSplit = Selected(SplitGroup); }

void OperationSetupModel::Sl30PortGroupClick() {
    settings_.SL30Port = Selected(Sl30PortGroup);
    ComputeRadioPortMask(settings_, boxPorts_);
}

void OperationSetupModel::Sl40PortGroupClick() {
    settings_.SL40Port = Selected(Sl40PortGroup);
    ComputeRadioPortMask(settings_, boxPorts_);
}

}  // namespace bridge
