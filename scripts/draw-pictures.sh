#!/usr/bin/env bash
# Draws every picture of the program with ImageMagick and writes them to res/.
# The results are committed; run this again only to change a picture.
#   quotarion.ico  icon group 115: the program (48, 32 and 16 pixels)
#   tray.ico       icon group 135: the notification area (16 and 32 pixels)
#   addstock.bmp   bitmap 138: green plus over a small chart with a rising red arrow (32 x 32, 24 bits)
#   delstock.bmp   bitmap 139: green minus over the same chart (32 x 32, 24 bits)
#   logo.bmp       bitmap 137: the About logo (189 x 44, 24 bits)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/res"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The program's icon: a rounded dark-blue tile with a white grid line and a
# rising green and red price line, drawn at 256 pixels and scaled down.
convert -size 256x256 xc:none \
    -fill '#1f3f7a' -stroke '#0e2550' -strokewidth 6 -draw 'roundrectangle 8,8 248,248 40,40' \
    -stroke '#ffffff80' -strokewidth 4 -draw 'line 40,200 216,200' -draw 'line 40,140 216,140' -draw 'line 40,80 216,80' \
    -fill none -strokewidth 18 -stroke '#27c24c' -draw 'polyline 36,196 88,150 124,170' \
    -stroke '#ff4a2a' -draw 'polyline 124,170 176,96 220,60' \
    -fill '#ff4a2a' -stroke none -draw 'polygon 232,40 188,52 224,92' \
    "$tmp/icon256.png"
for s in 48 32 16; do
    convert "$tmp/icon256.png" -resize ${s}x${s} "$tmp/icon$s.png"
done
convert "$tmp/icon48.png" "$tmp/icon32.png" "$tmp/icon16.png" "$out/quotarion.ico"

# The notification-area icon: the same tile, simpler strokes so it reads at 16 pixels.
convert -size 64x64 xc:none \
    -fill '#1f3f7a' -stroke none -draw 'roundrectangle 1,1 62,62 10,10' \
    -fill none -strokewidth 7 -stroke '#ff4a2a' -draw 'polyline 10,50 26,34 36,42 54,16' \
    "$tmp/tray64.png"
convert "$tmp/tray64.png" -resize 32x32 "$tmp/tray32.png"
convert "$tmp/tray64.png" -resize 16x16 "$tmp/tray16.png"
convert "$tmp/tray32.png" "$tmp/tray16.png" "$out/tray.ico"

# Toolbar pictures: a small chart (axes, three bars, a rising red arrow) on the
# toolbar's face colour, with a green plus or minus in the upper left.
face='#f0f0f0'
chart=(-stroke '#404040' -strokewidth 1 -draw 'line 12,30 31,30' -draw 'line 12,13 12,30'
       -stroke none -fill '#9db4d8' -draw 'rectangle 15,24 18,29' -draw 'rectangle 21,21 24,29' -draw 'rectangle 27,17 30,29'
       -fill none -stroke '#e02010' -strokewidth 2 -draw 'polyline 14,27 20,22 24,24 29,15'
       -fill '#e02010' -stroke none -draw 'polygon 31,11 25,14 30,18')
convert -size 32x32 "xc:$face" "${chart[@]}" \
    -fill '#16a02a' -stroke '#0b6a18' -strokewidth 1 -draw 'rectangle 1,5 13,8' -draw 'rectangle 5,1 8,12' \
    -alpha off -type TrueColor "BMP3:$out/addstock.bmp"
convert -size 32x32 "xc:$face" "${chart[@]}" \
    -fill '#16a02a' -stroke '#0b6a18' -strokewidth 1 -draw 'rectangle 1,5 13,8' \
    -alpha off -type TrueColor "BMP3:$out/delstock.bmp"

# The About logo: the icon's tile at the left and the name beside it.
convert -size 189x44 xc:white \
    \( "$tmp/icon256.png" -resize 36x36 \) -geometry +4+4 -composite \
    -font DejaVu-Sans-Bold -pointsize 24 -fill '#1f3f7a' -annotate +46+31 'Quotarion' \
    -stroke '#ff4a2a' -strokewidth 2 -draw 'line 46,38 182,38' \
    -alpha off -type TrueColor "BMP3:$out/logo.bmp"
