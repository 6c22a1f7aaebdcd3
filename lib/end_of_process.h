#pragma once
// The steps of the orderly end of the process, in their fixed order: one of
// the few truly process-wide records. Each part of the installer that has
// something to close registers its step when it starts and clears it when it
// closes by itself; the end of the process (lib/win/terminate.h) runs
// whatever is registered, in this order, whatever the order of registration.

#include <functional>

namespace ks {

enum class TerminateStep {
  kProgressWindow,      // destroy the progress window
  kBackgroundWindow,    // minimise and destroy the background window
  kQueuedMessages,      // process the window messages still queued
  kStepLogFile,         // close and delete the install log's temporary step file
  kNotificationWorker,  // stop the notification worker
  kSelfRemoval,         // complete a prepared self-removal of the uninstaller
  kCount
};

using TerminateAction = std::function<void()>;

// Registers (or with an empty action clears) one step; a later call replaces it.
void SetTerminateStep(TerminateStep step, TerminateAction action);

// Runs the registered steps in order. Each step is cleared before it runs, so
// a step that ends the process again (a fatal error while closing) continues
// with the steps after it instead of repeating itself.
void RunTerminateSteps();

}  // namespace ks
