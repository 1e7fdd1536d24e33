// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Build tool: writes the application icon's images as PNG files for the
// desktop's icon theme, which does not read .ico files.
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s icon.ico out-32.png out-16.png\n", argv[0]);
        return 2;
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    bool wrote32 = false, wrote16 = false;
    // Each image of the icon group is one frame of the .ico file.
    for (QImage image = reader.read(); !image.isNull(); image = reader.read()) {
        if (image.size() == QSize(32, 32) && !wrote32)
            wrote32 = image.save(QString::fromLocal8Bit(argv[2]), "PNG");
        if (image.size() == QSize(16, 16) && !wrote16)
            wrote16 = image.save(QString::fromLocal8Bit(argv[3]), "PNG");
        if (!reader.jumpToNextImage()) break;
    }
    if (!wrote32 || !wrote16) {
        std::fprintf(stderr, "%s: no 32x32 and 16x16 images in %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
