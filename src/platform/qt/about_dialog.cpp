// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The About box, laid out from template 100.
#include "platform/qt/about_dialog.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_text.h"
#include "texts/texts.h"

namespace orvane::qt {

AboutDialog::AboutDialog(const QIcon& icon, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("aboutDialog");
    setWindowTitle(FromView(texts::kAboutTitle));
    QFont dialogFont = font();
    dialogFont.setPointSize(kDialogFontPoints);
    setFont(dialogFont);
    // A modal frame: the About box cannot be resized.
    setFixedSize(DialogUnitsToPixels(235, 55));

    auto* picture = new QLabel(this);
    picture->setObjectName("aboutIcon");
    picture->setGeometry(DialogUnitsToPixels(11, 17, 20, 20));
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(icon.pixmap(32, 32));

    auto* version = new QLabel(FromView(texts::kAboutVersion), this);
    version->setObjectName("aboutVersion");
    version->setTextFormat(Qt::PlainText);
    version->setGeometry(DialogUnitsToPixels(40, 10, 119, 8));

    auto* second = new QLabel(FromView(texts::kAboutSecondLine), this);
    second->setObjectName("aboutSecondLine");
    second->setTextFormat(Qt::PlainText);
    second->setGeometry(DialogUnitsToPixels(40, 25, 119, 8));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("aboutOk");
    ok->setGeometry(DialogUnitsToPixels(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace orvane::qt
