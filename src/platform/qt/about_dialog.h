// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The About box of the Linux program.
#pragma once

#include <QDialog>

namespace orvane::qt {

// The About box as in dialog template 100: icon, version line, a second line
// and OK as the default button; centred over its owner.
class AboutDialog : public QDialog {
  public:
    explicit AboutDialog(const QIcon& icon, QWidget* owner);
};

}  // namespace orvane::qt
