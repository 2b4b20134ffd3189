#!/usr/bin/env bash
# Draws the wizard's artwork into this folder with ImageMagick (version 6 "convert" or 7 "magick") and
# the Open Sans font (Debian package fonts-open-sans). Deterministic: fixed noise seed, and no time
# stamps in the files, so running it again changes nothing unless this script changed.
# Every picture is drawn twice: at its own size for a screen of 96 pixels per inch, and at twice that
# size (NAME@2x.png) for scaled screens, where the window draws it at 1.5 or 2 times its size.
#   Background.png    600 x 250  the page background: deep navy, a soft light behind the logo, hairline
#                                texture and a quiet price line along the bottom edge
#   Lines.png         600 x 223  flowing lines, a decoration over the background (transparent)
#   Logo.png          199 x 48   the bird mark in its blue disc, and the word mark (transparent)
#   Alert.png          40 x 36   the alert sign of the message pages (transparent)
#   Close*.png         30 x 30   the close button at rest, under the mouse and pressed (transparent)
# and at twice the size Background@2x.jpg, Logo@2x.png, Alert@2x.png and Close*@2x.png.
# Small pictures are drawn four times larger and scaled down, which smooths their edges.
set -euo pipefail
cd "$(dirname "$0")"

if command -v magick >/dev/null 2>&1; then im=(magick); else im=(convert); fi
font=${SF_ARTWORK_FONT:-/usr/share/fonts/truetype/open-sans/OpenSans-Semibold.ttf}
[ -f "$font" ] || { echo "make-artwork.sh: font $font not found (install fonts-open-sans)" >&2; exit 1; }
# PNG output without time stamps or other volatile metadata.
out=(-define png:exclude-chunks=date,time +set date:create +set date:modify -strip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# $1: the scale (1 or 2), $2: what follows the picture's name in its file name ("" or "@2x")
draw_all() {
local s=$1 tag=$2
# The fine grain of the background does not compress in a PNG: at twice the size it would be 800 KB of
# the program's download, and 110 KB as a JPEG of a quality whose losses the grain hides.
local background=(PNG24:Background.png)
[ "$s" = 1 ] || background=(-quality 92 -sampling-factor 1x1 "JPEG:Background$tag.jpg")

# --- Background --------------------------------------------------------------------------------------
local W=$((600 * s)) H=$((250 * s))
{
  echo "stroke rgba(140,175,230,0.035) stroke-width $s fill none"
  for i in $(seq -260 9 600); do echo "line $((i * s)),0 $(((i + 250) * s)),$H"; done
} > "$work/hair.mvg"
# The wave in page coordinates (x and y of a 600 by 250 page), drawn at the scale.
local wave='y = 228 - 8*sin(x/61.0) - 5*sin(x/23.0 + 1.3) - 2.5*sin(x/9.0 + 0.4) - 0.025*x'
awk -v s=$s 'BEGIN { printf "fill none stroke rgba(70,140,230,0.45) stroke-width %.1f stroke-linejoin round polyline", 1.4 * s;
  for (x = -4; x <= 604; x += 3 / s) { '"$wave"'; printf " %.1f,%.1f", x * s, y * s } print "" }' > "$work/price.mvg"
awk -v s=$s 'BEGIN { printf "fill rgba(47,127,209,0.10) stroke none polygon";
  for (x = -4; x <= 604; x += 3 / s) { '"$wave"'; printf " %.1f,%.1f", x * s, y * s }
  printf " %d,%d %d,%d\n", 604 * s, 250 * s, -4 * s, 250 * s }' > "$work/area.mvg"
local edge; edge=$(awk -v s=$s 'BEGIN { h = s / 2; printf "rectangle %.1f,%.1f %.1f,%.1f", h, h, 600 * s - h, 250 * s - h }')
"${im[@]}" -size ${W}x${H} gradient:'#0f1521'-'#07090e' \
  \( -size $((600 * s))x$((600 * s)) radial-gradient:'rgba(38,78,140,0.6)'-'rgba(38,78,140,0)' -resize $((780 * s))x$((340 * s))! \) \
  -gravity center -geometry +0-$((50 * s)) -compose over -composite -gravity northwest -geometry +0+0 \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/hair.mvg")" \) -compose over -composite \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/area.mvg")" \) -compose over -composite \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/price.mvg")" -blur 0x$((3 * s)) \) -compose screen -composite \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/price.mvg")" \) -compose over -composite \
  -fill none -stroke 'rgba(120,160,225,0.28)' -strokewidth $s -draw "$edge" -stroke none \
  -seed 7 -attenuate 0.1 +noise gaussian \
  "${out[@]}" "${background[@]}"

# --- Lines -------------------------------------------------------------------------------------------
# Every page keeps the lines hidden, so no scaled screen ever shows them: drawn at one size only.
if [ "$s" = 1 ]; then
W=$((600 * s)) H=$((223 * s))
awk -v s=$s 'BEGIN {
  for (k = 0; k < 9; k++) {
    a = 0.05 + 0.025 * (k % 4); sw = ((k % 3 == 0) ? 1.6 : 1.0) * s
    if (k % 2) printf "stroke rgba(90,168,245,%.3f)", a * 1.6; else printf "stroke rgba(255,255,255,%.3f)", a
    printf " stroke-width %.1f fill none stroke-linejoin round polyline", sw
    for (x = -10; x <= 610; x += 4 / s) {
      t = x / 600
      y = 190 - 150*t + 26*sin(6.2832*t*1.3 + k*0.55) + 9*sin(6.2832*t*3.1 + k) + (k - 4)*9*(1 - t)
      printf " %.1f,%.1f", x * s, y * s
    }
    print ""
  } }' > "$work/lines.mvg"
"${im[@]}" -size ${W}x${H} xc:none -draw "$(cat "$work/lines.mvg")" "${out[@]}" PNG32:Lines$tag.png
fi

# --- Logo: drawn at 796 x 192 ------------------------------------------------------------------------
# A storm finch gliding, its tail a lightning bolt, white in a blue disc; then the word mark.
local bird="path 'M 18,96 C 46,72 74,74 90,100 L 98,92 C 100,84 106,80 112,80 C 130,58 152,48 178,52
  C 154,62 136,78 124,100 C 120,108 116,112 112,114 L 120,128 L 104,126 L 110,148 L 90,122 L 98,120 L 92,112
  C 70,94 44,90 18,96 Z'"
local storm
storm=$("${im[@]}" -font "$font" -pointsize 104 -debug annotate xc: -annotate 0 Storm null: 2>&1 |
  sed -n 's/.*width: \([0-9]*\).*/\1/p' | head -n 1)
"${im[@]}" -size 796x192 xc:none \
  \( -size 184x184 gradient:'#4a9be8'-'#1d5fae' \
     \( -size 184x184 xc:black -fill white -draw 'circle 92,92 92,1' \) -alpha off -compose copyopacity -composite \) \
  -geometry +4+4 -compose over -composite \
  -fill white -stroke none -draw "$bird" -fill '#1d5fae' -draw 'circle 113,86 115,86' \
  -font "$font" -pointsize 104 -fill white -annotate +226+134 Storm \
  -fill '#5aa8f5' -annotate +$((226 + storm))+134 finch \
  -resize $((199 * s))x$((48 * s))! "${out[@]}" PNG32:Logo$tag.png

# --- Alert: drawn at 160 x 144 -----------------------------------------------------------------------
"${im[@]}" -size 160x144 xc:none \
  -fill '#f3b43a' -stroke '#f3b43a' -strokewidth 16 -draw 'stroke-linejoin round polygon 80,14 12,130 148,130' \
  -stroke none -fill '#141a26' -draw 'roundrectangle 73,48 87,100 7,7' -draw 'circle 80,115 80,123' \
  -resize $((40 * s))x$((36 * s))! "${out[@]}" PNG32:Alert$tag.png

# --- Close button, three states: drawn at 120 x 120 --------------------------------------------------
close_button none 'rgba(255,255,255,0.78)' Close$tag.png $s
close_button 'rgba(255,255,255,0.16)' 'rgb(255,255,255)' CloseOnOver$tag.png $s
close_button 'rgba(47,127,209,0.85)' 'rgb(255,255,255)' CloseOnClick$tag.png $s
}

# $1: colour of the disc behind the cross (or none), $2: colour of the cross, $3: file, $4: scale
close_button() {
  local disc=()
  [ "$1" != none ] && disc=(-fill "$1" -stroke none -draw 'circle 60,60 60,8')
  "${im[@]}" -size 120x120 xc:none "${disc[@]}" \
    -fill none -stroke "$2" -strokewidth 7 \
    -draw 'stroke-linecap round line 43,43 77,77' -draw 'stroke-linecap round line 77,43 43,77' \
    -resize $((30 * $4))x$((30 * $4)) "${out[@]}" PNG32:"$3"
}

draw_all 1 ""
draw_all 2 "@2x"
