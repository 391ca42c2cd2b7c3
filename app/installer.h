// The installer's own routines: handlers bound by name in the layouts, and the
// routines they share. They see only the run-time services.
#pragma once

#include <span>

#include "runtime/core/run_time.h"

namespace qm {

// Handlers of the backdrop window.
void OnHostSizeChanged();
void OnHostFirstActivated();
bool OnHostCloseRequest();
void OnHostDestroying();
bool ConfirmExit();

// Handlers of the wizard.
void OnWizardCreated();
void OnWizardFirstActivated();
bool OnWizardCloseRequest();
void OnWizardDestroying();
void OnNextClicked();
void OnBackClicked();
void OnCancelClicked();
void OnBrowseClicked();
void UpdateWizardPage();

// The install, on a thread of its own.
void InstallWorker();

// Gives a window a client size (0 or less: unchanged) and centres it over
// owner, or over the whole primary screen when owner does not exist.
void SizeAndCentreWindow(const char* window, int clientWidth, int clientHeight, const char* owner);

// Every handler by the name the layouts bind it with.
std::span<const HandlerEntry> InstallerHandlers();

// From start-up to the end of the message loop; returns the exit code.
int RunInstaller();

}  // namespace qm
