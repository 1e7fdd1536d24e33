// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The update's one transfer, formed from the settings and the camera's drive.
#include "transfer/update_request.h"

#include "settings/folder_values.h"

namespace orvane {

TransferRequest MakeUpdateRequest(SystemPort& system, std::string_view sourceBase,
                                  std::string_view srcPath, std::string_view drive,
                                  std::string_view destPath) {
    TransferRequest request;
    request.drive = drive;
    request.sourceFolder = system.JoinPath(sourceBase, SourceFolderFragment(srcPath));
    request.destinationFolder =
        system.JoinPath(system.DriveRoot(drive), DestinationFolderFragment(destPath));
    request.files = {kFirmwareImageName, kCommandFileName};
    return request;
}

}  // namespace orvane
