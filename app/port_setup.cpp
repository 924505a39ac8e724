#include "app/port_setup.h"

#include <cstdint>

#include "app/box_port_control.h"
#include "app/shell_texts.h"
#include "core/bridge_state.h"

namespace bridge {

PortSetupModel::PortSetupModel(BoxPortControl& port, MessageDisplay& display,
                               BoxPortRecovery& recovery)
    : RadioGroup2(form15::kRadioGroup2, form15::kRadioGroup2Items),
      port_(port),
      display_(display),
      recovery_(recovery) {
    RadioGroup2.OnClick = [this] { RadioGroup2Click(); };
}

void PortSetupModel::FormShow() {
    loading_ = true;
    RadioGroup2.SetItemIndex(Bridge.CommsPort);
    loading_ = false;
}

void PortSetupModel::RadioGroup2Click() {
    if (loading_ || RadioGroup2.ItemIndex() < 0) return;
    const unsigned portNumber = static_cast<unsigned>(RadioGroup2.ItemIndex()) + 1u;
    recovery_.Forget();
    port_.Close();
    port_.SetDeviceName(CommDeviceName(portNumber));
    OpenBoxPort(port_, display_, portNumber);
    Bridge.CommsPort = static_cast<std::uint8_t>(portNumber - 1u);
}

void PortSetupModel::RadioGroup2ItemClick(int index) {
    if (index >= 0 && index == RadioGroup2.ItemIndex() && recovery_.Lost() &&
        CommDeviceName(static_cast<unsigned>(index) + 1u) == port_.DeviceName()) {
        recovery_.RetryNow();
        return;
    }
    RadioGroup2.SetItemIndex(index);
}

}  // namespace bridge
