#include "app/operation_setup.h"

#include <cstdint>

#include "app/shell_texts.h"
#include "core/bridge_state.h"
#include "radio/radio_cycle.h"

namespace bridge {
namespace {

// The selection as the one-byte setting it stands for.
std::uint8_t Selected(const RadioGroup& group) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(group.ItemIndex()) & 0xFFu);
}

}  // namespace

OperationSetupModel::OperationSetupModel()
    : RadioGroup1(form2::kRadioGroup1, form2::kRadioGroup1Items),
      RadioGroup2(form2::kRadioGroup2, form2::kRadioGroup2Items),
      RadioGroup3(form2::kRadioGroup3, form2::kRadioPortItems),
      RadioGroup4(form2::kRadioGroup4, form2::kRadioPortItems) {
    RadioGroup1.OnClick = [this] { RadioGroup1Click(); };
    RadioGroup2.OnClick = [this] { RadioGroup2Click(); };
    RadioGroup3.OnClick = [this] { RadioGroup3Click(); };
    RadioGroup4.OnClick = [this] { RadioGroup4Click(); };
}

void OperationSetupModel::FormActivate() {
    RadioGroup3.SetItemIndex(Bridge.SL30Port);
    RadioGroup4.SetItemIndex(Bridge.SL40Port);
    RadioGroup1.SetItemIndex(Bridge.NumberOfEngines);
    RadioGroup2.SetItemIndex(Bridge.EGTCHTSplit);
}

void OperationSetupModel::RadioGroup1Click() { Bridge.NumberOfEngines = Selected(RadioGroup1); }

void OperationSetupModel::RadioGroup2Click() { Bridge.EGTCHTSplit = Selected(RadioGroup2); }

void OperationSetupModel::RadioGroup3Click() {
    Bridge.SL30Port = Selected(RadioGroup3);
    ComputeRadioPortMask();
}

void OperationSetupModel::RadioGroup4Click() {
    Bridge.SL40Port = Selected(RadioGroup4);
    ComputeRadioPortMask();
}

}  // namespace bridge
