#pragma once
// Sending notification requests: one worker thread, created on the first
// request, makes them one at a time in the order sent, through one internet
// session opened before it starts. The end of the process stops it (the
// notification step of Terminate), letting it finish what is queued within
// a fixed bound, so that neither a fast run loses its requests nor a dead
// server holds the process. docs/notifications.md states the bounds.

#include <windows.h>

#include "lib/text.h"

namespace ks {

inline constexpr char kNotificationAgent[] = "Kestrelon Setup Installer";

// Each request: time-outs of the connection, the sending and the answer.
inline constexpr DWORD kNotificationConnectTimeoutMs = 3000;
inline constexpr DWORD kNotificationSendTimeoutMs = 3000;
inline constexpr DWORD kNotificationReceiveTimeoutMs = 3000;
// A sender with the wait flag waits at most this long for its request.
inline constexpr DWORD kNotificationWaitBoundMs = 5000;
// Stopping: the worker has this long to finish the request in progress and
// those queued; then the session is closed, which cancels a request still
// running, and the worker gets a last short moment.
inline constexpr DWORD kNotificationDrainBoundMs = 5000;
inline constexpr DWORD kNotificationCancelBoundMs = 1000;

// The facts that the run knows once its settings are read: the product
// version for "%version%" (system code page) and the error address.
void SetNotificationVersion(const NString& version);
void SetErrorNotificationAddress(const NString& address_template);

// Expands the template and hands it to the worker; a blank template sends
// nothing. With `wait` the call returns when the request has been made (or
// the wait bound has passed).
void SendNotification(NStringView address_template, bool wait);

// The error address, with the wait flag, so that it leaves before the end.
void SendErrorNotification();

// The notification step of Terminate: drains the queue within the bounds
// above, then lets the process end whatever the worker is doing.
void StopNotificationWorker();

}  // namespace ks
