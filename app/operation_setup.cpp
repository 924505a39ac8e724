#include "app/operation_setup.h"

#include <cstdint>

#include "app/shell_texts.h"
#include "radio/radio_cycle.h"
#include "state/bridge_state.h"

namespace bridge {
namespace {

// The selection as the one-byte setting it stands for.
std::uint8_t Selected(const RadioGroup& group) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(group.ItemIndex()) & 0xFFu);
}

}  // namespace

OperationSetupModel::OperationSetupModel()
    : EngineGroup(operation_setup::kEngineGroup, operation_setup::kEngineItems),
      SplitGroup(operation_setup::kSplitGroup, operation_setup::kSplitItems),
      Sl30PortGroup(operation_setup::kSl30PortGroup, operation_setup::kRadioPortItems),
      Sl40PortGroup(operation_setup::kSl40PortGroup, operation_setup::kRadioPortItems) {
    EngineGroup.OnClick = [this] { EngineGroupClick(); };
    SplitGroup.OnClick = [this] { SplitGroupClick(); };
    Sl30PortGroup.OnClick = [this] { Sl30PortGroupClick(); };
    Sl40PortGroup.OnClick = [this] { Sl40PortGroupClick(); };
}

void OperationSetupModel::FormActivate() {
    Sl30PortGroup.SetItemIndex(Bridge.Settings.SL30Port);
    Sl40PortGroup.SetItemIndex(Bridge.Settings.SL40Port);
    EngineGroup.SetItemIndex(Bridge.Settings.NumberOfEngines);
    SplitGroup.SetItemIndex(Bridge.Settings.EGTCHTSplit);
}

void OperationSetupModel::EngineGroupClick() {
    Bridge.Settings.NumberOfEngines = Selected(EngineGroup);
}

void OperationSetupModel::SplitGroupClick() { Bridge.Settings.EGTCHTSplit = Selected(SplitGroup); }

void OperationSetupModel::Sl30PortGroupClick() {
    Bridge.Settings.SL30Port = Selected(Sl30PortGroup);
    ComputeRadioPortMask();
}

void OperationSetupModel::Sl40PortGroupClick() {
    Bridge.Settings.SL40Port = Selected(Sl40PortGroup);
    ComputeRadioPortMask();
}

}  // namespace bridge
