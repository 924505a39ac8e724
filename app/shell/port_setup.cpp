#include "app/shell/port_setup.h"

#include <cstdint>

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
    loading_ = true;
    PortGroup.SetItemIndex(settings_.CommsPort);
    loading_ = false;
}

void PortSetupModel::PortGroupClick() {
    if (loading_ || PortGroup.ItemIndex() < 0) return;
    const unsigned portNumber = static_cast<unsigned>(PortGroup.ItemIndex()) + 1u;
    release_.Release(ServoReleaseReason::PortChosen);
    recovery_.Forget();
    port_.Close();
    port_.SetDeviceName(CommDeviceName(portNumber));
    OpenBoxLine(port_, display_, log_, portNumber, link_);
    settings_.CommsPort = static_cast<std::uint8_t>(portNumber - 1u);
}

void PortSetupModel::PortGroupItemClick(int index) {
    if (index >= 0 && index == PortGroup.ItemIndex() && recovery_.Lost() &&
        CommDeviceName(static_cast<unsigned>(index) + 1u) == port_.DeviceName()) {
        recovery_.RetryNow();
        return;
    }
    PortGroup.SetItemIndex(index);
}

}  // namespace bridge
