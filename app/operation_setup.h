// The operation setup dialog (Form2): number of engines, EGT/CHT split and the
// box ports of the SL30 and SL40. Every selection goes straight into the
// settings of the bridge state; there is no cancel.
#pragma once

#include "app/radio_group.h"

namespace bridge {

class OperationSetupModel {
public:
    OperationSetupModel();
    OperationSetupModel(const OperationSetupModel&) = delete;
    OperationSetupModel& operator=(const OperationSetupModel&) = delete;

    // Each time the dialog becomes the active window: selects SL30Port,
    // SL40Port, NumberOfEngines and EGTCHTSplit in that order. A setting beyond
    // its group selects the last item and is replaced by its index.
    void FormActivate();

    void RadioGroup1Click();  // NumberOfEngines
    void RadioGroup2Click();  // EGTCHTSplit
    void RadioGroup3Click();  // SL30Port, then the radio port mask
    void RadioGroup4Click();  // SL40Port, then the radio port mask

    RadioGroup RadioGroup1;
    RadioGroup RadioGroup2;
    RadioGroup RadioGroup3;
    RadioGroup RadioGroup4;
};

}  // namespace bridge
