#!/bin/sh
# Draws the product's icon, src/driver/veltrim.ico, which veltrim.exe, the setup and its
# uninstaller carry: a white V over one line (a rule of the line form), on a rounded
# square. Kept in the tree, so that a build needs no drawing program; run again (ImageMagick
# 6, Debian: imagemagick) only to change it. Shapes alone, no font, so that it comes out the
# same on every machine.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
  -fill '#1d4e6b' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill '#ffffff' -draw 'polygon 40,40 86,40 128,150 170,40 216,40 150,196 106,196' \
  -fill '#f2a33a' -draw 'roundrectangle 40,206 216,222 8,8' \
  -depth 8 "$work/256.png"
# Each size drawn from the large one, 256 stored as PNG as Windows expects it.
convert "$work/256.png" -define icon:auto-resize=256,128,64,48,32,24,16 veltrim.ico
