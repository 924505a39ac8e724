// The operation setup dialog (TForm2): number of engines, EGT/CHT split and the
// box ports of the SL30 and SL40. Every selection goes straight into the
// settings of the bridge state; there is no cancel.
#pragma once

#include "app/shell/radio_group.h"
#include "state/bridge_state.h"

namespace bridge {

class OperationSetupModel {
public:
    OperationSetupModel(BridgeSettings& settings, BoxPortRouting& boxPorts);
    OperationSetupModel(const OperationSetupModel&) = delete;
    OperationSetupModel& operator=(const OperationSetupModel&) = delete;

    // Each time the dialog becomes the active window: selects SL30Port,
    // SL40Port, NumberOfEngines and EGTCHTSplit in that order. A setting beyond
    // its group selects the last item and is replaced by its index.
    void FormActivate();

    void EngineGroupClick();    // NumberOfEngines
    void SplitGroupClick();     // EGTCHTSplit
    void Sl30PortGroupClick();  // SL30Port, then the radio port mask
    void Sl40PortGroupClick();  // SL40Port, then the radio port mask

    RadioGroup EngineGroup;
    RadioGroup SplitGroup;
    RadioGroup Sl30PortGroup;
    RadioGroup Sl40PortGroup;

private:
    BridgeSettings& settings_;
    BoxPortRouting& boxPorts_;
};

}  // namespace bridge
