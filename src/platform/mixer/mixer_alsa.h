// The ALSA backend of the mixer services: the ALSA cards ("hw:N"), then the control devices
// named in DASHTUNE_MIXER_DEVICES, each through ALSA's simple mixer.
#pragma once

#include "platform/mixer/mixer_device.h"

namespace win::mixer {

std::vector<std::shared_ptr<Device>> EnumerateAlsaDevices();

}  // namespace win::mixer
