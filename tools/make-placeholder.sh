#!/usr/bin/env bash
# Draws the picture fed to the virtual camera when no webcam can serve
# (resources/placeholder.jpg: 1280 x 720, baseline JPEG, YCbCr 4:2:0) and the
# program icon (resources/frameprovider.ico) with ImageMagick, libjpeg-turbo's
# cjpeg and the DejaVu fonts. Same Debian packages, same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh

font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ink='#4f6377'      # the camera glyph
slash='#cf7d6c'    # the line across it
card='#fbfcfd'

# A camera glyph drawn in ink $1 for a 240 x 240 box, written to $3; with a
# line across it when $2 names the background colour that parts the line
# from the glyph.
camera_glyph() {
  local across=()
  if [ -n "$2" ]; then
    across=(-stroke "$2" -strokewidth 30 -draw "line 40,40 200,210"
            -stroke "$slash" -strokewidth 13 -draw "line 40,40 200,210")
  fi
  convert -size 240x240 xc:none -fill none -stroke "$1" -strokewidth 12 \
    -draw "roundrectangle 30,72 210,192 22,22" \
    -draw "circle 120,132 120,96" \
    -fill "$1" -stroke none \
    -draw "roundrectangle 82,50 158,78 8,8" \
    -draw "circle 182,98 182,90" \
    "${across[@]}" "$3"
}

# The placeholder picture.
camera_glyph "$ink" "$card" "$tmp/glyph.png"
convert -size 1280x720 gradient:'#eaf0f6-#c3d1e0' \
  \( -size 1280x720 xc:none -fill '#2c3e5066' \
     -draw "roundrectangle 266,160 1014,584 34,34" -blur 0x18 \) -composite \
  -fill "$card" -draw "roundrectangle 260,148 1020,572 32,32" \
  "$tmp/glyph.png" -geometry +520+172 -composite \
  -gravity center -font "$bold" -pointsize 46 -fill '#2e3a47' \
  -annotate +0+78 'No camera connected' \
  -font "$font" -pointsize 24 -fill '#667789' \
  -annotate +0+136 'Connect a camera, or check that no other app is using it.' \
  -type TrueColor ppm:"$tmp/placeholder.ppm"
cjpeg -quality 90 -sample 2x2 -baseline -outfile resources/placeholder.jpg "$tmp/placeholder.ppm"

# The icon: the glyph, white on a rounded square.
camera_glyph white '' "$tmp/iconglyph.png"
convert -size 256x256 xc:none -fill '#3f6f9f' -draw "roundrectangle 8,8 247,247 48,48" \
  "$tmp/iconglyph.png" -geometry +8+4 -composite -depth 8 "$tmp/icon256.png"
convert "$tmp/icon256.png" -define icon:auto-resize=256,48,32,24,16 \
  -define png:exclude-chunks=date,time +set date:create +set date:modify \
  resources/frameprovider.ico
