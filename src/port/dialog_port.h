// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The window side of the port: what the updater dialog needs from the window
// system, beside the system side (system_port.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "port/system_port.h"
#include "port/volume_mounter.h"

namespace orvane {

// An opaque window-system icon handle; 0 means none.
using IconHandle = std::uintptr_t;

// Dialog results, with the values the window system uses.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// What the updater dialog needs from the window system.
class DialogPort {
  public:
    virtual ~DialogPort() = default;

    // Every operation here is called on the user-interface thread, touches
    // no device and never blocks, unless its contract says otherwise.

    // The application icon (icon resource 128); 0 when it cannot be loaded.
    virtual IconHandle LoadAppIcon() = 0;
    // Appends a separator and the About entry to the dialog's system menu;
    // does nothing where there is no such menu or no entry text.
    virtual void AddAboutToSystemMenu() = 0;
    // Gives the dialog window `icon` as its big and then its small icon.
    virtual void SetWindowIcons(IconHandle icon) = 0;
    // Arms a repeating window timer on the dialog; each expiry reaches the
    // dialog's `OnTimer(id)`. Returns the timer's identifier, 0 on failure.
    virtual unsigned ArmTimer(unsigned id, unsigned intervalMs) = 0;
    // Stops the dialog's timer `timerId`; stopping one that does not run is harmless.
    virtual void StopTimer(unsigned timerId) = 0;
    // Shows `text` in a modal box with one OK button and a warning icon, owned
    // by the dialog, and returns when the user closes it: it blocks for as
    // long as the user takes, running a loop of its own meanwhile, in which
    // timer expiries and posted tasks keep reaching the dialog.
    virtual void ShowMessage(std::string_view text) = 0;
    // Ends the modal dialog with `result` (IDOK or IDCANCEL).
    virtual void EndModal(int result) = 0;
    // Subscribes the dialog window to arrival and removal notices for the USB
    // device interface class; fails with the system's error. The notices
    // reach the dialog's OnDeviceChange where the host delivers them.
    virtual Status SubscribeUsbArrival() = 0;
    // Shows a transfer's progress where the notice picture stands: a bar at
    // `percent` (0 to 100) and `status` on one line. Disables "UpDate".
    virtual void ShowProgress(int percent, std::string_view status) = 0;
    // Puts the dialog back as it is at rest: the notice picture, "UpDate"
    // enabled. Harmless when no progress is shown.
    virtual void HideProgress() = 0;

    // Starts `work` on a thread of its own and returns at once, never waiting
    // for an earlier one; where no thread can be started, runs it before
    // returning. `work` asks about the camera (PresentUsbDevices,
    // LogicalDrives, StorageLayoutOfDrives, IsFolder, DriveRoot, JoinPath)
    // and gives its answer through PostToUi. A device that does not answer
    // may hold it for ever: it is then left to the end of the process. Those
    // operations may thus run on several threads at once, beside a transfer.
    virtual void RunDeviceQuery(std::function<void()> work) = 0;
    // The service that mounts the camera's volume as a file manager does, as
    // the user, where the desktop left it unmounted (UDisks2 on Linux);
    // nullptr where the system mounts every volume by itself or the host has
    // no way to. Its Mount is called from a RunDeviceQuery thread and may
    // block while the user is asked. Never blocks itself.
    virtual VolumeMounter* Mounter() { return nullptr; }
    // Ends the process at once, with the exit status that the dialog's
    // ending with `result` gives, waiting for no thread and running no
    // further code of the dialog's: for when a request on the camera does not
    // return. Nothing the camera holds may depend on the process's clean end.
    virtual void EndProcess(int result) = 0;
};

// Both sides, as the dialog programs supply them. The system side is a
// virtual base, so a back end written once for the system side can be
// joined with a window side of its own.
class Platform : public virtual SystemPort, public DialogPort {};

}  // namespace orvane
