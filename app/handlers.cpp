#include "app/installer.h"
#include "layouts/layouts.h"

namespace qm {

std::span<const HandlerEntry> InstallerHandlers() {
  static const HandlerEntry handlers[] = {
      {"OnHostSizeChanged", OnHostSizeChanged},
      {"OnHostFirstActivated", OnHostFirstActivated},
      {"OnHostCloseRequest", nullptr, OnHostCloseRequest},
      {"OnHostDestroying", OnHostDestroying},
      {"OnWizardCreated", OnWizardCreated},
      {"OnWizardFirstActivated", OnWizardFirstActivated},
      {"OnWizardCloseRequest", nullptr, OnWizardCloseRequest},
      {"OnWizardDestroying", OnWizardDestroying},
      {"OnNextClicked", OnNextClicked},
      {"OnBackClicked", OnBackClicked},
      {"OnCancelClicked", OnCancelClicked},
      {"OnBrowseClicked", OnBrowseClicked},
  };
  return handlers;
}

int RunInstaller() {
  InitRunTime();
  LoadStartupWindow(kHostWindow);
  return RunMessageLoop();
}

}  // namespace qm
