#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

# Regenerates the dialog's bitmaps and the application icon in src/ui/res/.
#
# The files are checked in, so nothing else needs ImageMagick; run this only
# to change them. The windows need 4-bit palette images (16 colours): banner
# 322x35 black on white, notice 321x17 red on white, icon 32x32 and 16x16.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v convert >/dev/null || { echo "needs ImageMagick's convert (apt-get install imagemagick)" >&2; exit 1; }

out=src/ui/res
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# -dither None keeps the text edges to few colours; -colors 16 with BMP3
# makes ImageMagick write 4 bits per pixel.
palette=(-dither None -colors 16 -type Palette)

convert -size 322x35 xc:white -font DejaVu-Sans-Bold -pointsize 20 -fill black \
    -gravity center -annotate +0+0 "DSC Firmware Update Tool" "${palette[@]}" "BMP3:$out/banner.bmp"
convert -size 321x17 xc:white -font DejaVu-Sans -pointsize 11 -fill red \
    -gravity center -annotate +0+0 "Notice: please check Camera Power is enough!" "${palette[@]}" \
    "BMP3:$out/notice.bmp"

# A camera body with its lens and a red firmware chip, drawn at each size
# rather than scaled so the 16x16 image stays legible.
convert -size 32x32 xc:white -fill navy -draw "roundrectangle 2,8 29,27 3,3" \
    -fill white -draw "circle 16,18 16,12" -fill navy -draw "circle 16,18 16,15" \
    -fill red -draw "rectangle 5,4 11,7" "${palette[@]}" "BMP3:$work/icon32.bmp"
convert -size 16x16 xc:white -fill navy -draw "roundrectangle 1,4 14,13 1,1" \
    -fill white -draw "circle 8,9 8,6" -fill red -draw "rectangle 2,1 5,3" \
    "${palette[@]}" "BMP3:$work/icon16.bmp"
convert "$work/icon32.bmp" "$work/icon16.bmp" -type Palette "$out/orvane.ico"

echo "wrote $out/banner.bmp $out/notice.bmp $out/orvane.ico"
