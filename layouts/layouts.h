// The installer's two windows, as data.
#pragma once

#include "runtime/core/layout.h"

namespace qm {

inline constexpr const char* kHostWindow = "HostWindow";
inline constexpr const char* kWizardWindow = "WizardWindow";

const WindowLayout& HostWindowLayout();
const WindowLayout& WizardWindowLayout();

}  // namespace qm
