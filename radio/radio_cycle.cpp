#include "radio/radio_cycle.h"

namespace bridge {

void RunRadioCycle() {}

void ComputeRadioPortMask() {}

}  // namespace bridge
