#!/usr/bin/env bash
# Draws the wizard's artwork into this folder with ImageMagick (version 6 "convert" or 7 "magick") and
# the Open Sans font (Debian package fonts-open-sans). Deterministic: fixed noise seed, and no time
# stamps in the files, so running it again changes nothing unless this script changed.
#   Background.png    600 x 250  the page background: deep navy, a soft light behind the logo, hairline
#                                texture and a quiet price line along the bottom edge
#   Lines.png         600 x 223  flowing lines, a decoration over the background (transparent)
#   Logo.png          199 x 48   the bird mark in its blue disc, and the word mark (transparent)
#   Alert.png          40 x 36   the alert sign of the message pages (transparent)
#   Close*.png         30 x 30   the close button at rest, under the mouse and pressed (transparent)
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

# --- Background --------------------------------------------------------------------------------------
W=600 H=250
{
  echo "stroke rgba(140,175,230,0.035) stroke-width 1 fill none"
  for i in $(seq -260 9 600); do echo "line $i,0 $((i + 250)),$H"; done
} > "$work/hair.mvg"
wave='y = 228 - 8*sin(x/61.0) - 5*sin(x/23.0 + 1.3) - 2.5*sin(x/9.0 + 0.4) - 0.025*x'
awk -v W=$W 'BEGIN { printf "fill none stroke rgba(70,140,230,0.45) stroke-width 1.4 stroke-linejoin round polyline";
  for (x = -4; x <= W + 4; x += 3) { '"$wave"'; printf " %.1f,%.1f", x, y } print "" }' > "$work/price.mvg"
awk -v W=$W -v H=$H 'BEGIN { printf "fill rgba(47,127,209,0.10) stroke none polygon";
  for (x = -4; x <= W + 4; x += 3) { '"$wave"'; printf " %.1f,%.1f", x, y } printf " %d,%d -4,%d\n", W + 4, H, H }' \
  > "$work/area.mvg"
"${im[@]}" -size ${W}x${H} gradient:'#0f1521'-'#07090e' \
  \( -size 600x600 radial-gradient:'rgba(38,78,140,0.6)'-'rgba(38,78,140,0)' -resize 780x340! \) \
  -gravity center -geometry +0-50 -compose over -composite -gravity northwest -geometry +0+0 \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/hair.mvg")" \) -compose over -composite \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/area.mvg")" \) -compose over -composite \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/price.mvg")" -blur 0x3 \) -compose screen -composite \
  \( -size ${W}x${H} xc:none -draw "$(cat "$work/price.mvg")" \) -compose over -composite \
  -fill none -stroke 'rgba(120,160,225,0.28)' -strokewidth 1 -draw 'rectangle 0.5,0.5 599.5,249.5' -stroke none \
  -seed 7 -attenuate 0.1 +noise gaussian \
  "${out[@]}" PNG24:Background.png

# --- Lines -------------------------------------------------------------------------------------------
W=600 H=223
awk -v W=$W 'BEGIN {
  for (k = 0; k < 9; k++) {
    a = 0.05 + 0.025 * (k % 4); sw = (k % 3 == 0) ? 1.6 : 1.0
    if (k % 2) printf "stroke rgba(90,168,245,%.3f)", a * 1.6; else printf "stroke rgba(255,255,255,%.3f)", a
    printf " stroke-width %.1f fill none stroke-linejoin round polyline", sw
    for (x = -10; x <= W + 10; x += 4) {
      t = x / W
      y = 190 - 150*t + 26*sin(6.2832*t*1.3 + k*0.55) + 9*sin(6.2832*t*3.1 + k) + (k - 4)*9*(1 - t)
      printf " %.1f,%.1f", x, y
    }
    print ""
  } }' > "$work/lines.mvg"
"${im[@]}" -size ${W}x${H} xc:none -draw "$(cat "$work/lines.mvg")" "${out[@]}" PNG32:Lines.png

# --- Logo: drawn at 796 x 192 ------------------------------------------------------------------------
# A storm finch gliding, its tail a lightning bolt, white in a blue disc; then the word mark.
bird="path 'M 18,96 C 46,72 74,74 90,100 L 98,92 C 100,84 106,80 112,80 C 130,58 152,48 178,52
  C 154,62 136,78 124,100 C 120,108 116,112 112,114 L 120,128 L 104,126 L 110,148 L 90,122 L 98,120 L 92,112
  C 70,94 44,90 18,96 Z'"
storm=$("${im[@]}" -font "$font" -pointsize 104 -debug annotate xc: -annotate 0 Storm null: 2>&1 |
  sed -n 's/.*width: \([0-9]*\).*/\1/p' | head -n 1)
"${im[@]}" -size 796x192 xc:none \
  \( -size 184x184 gradient:'#4a9be8'-'#1d5fae' \
     \( -size 184x184 xc:black -fill white -draw 'circle 92,92 92,1' \) -alpha off -compose copyopacity -composite \) \
  -geometry +4+4 -compose over -composite \
  -fill white -stroke none -draw "$bird" -fill '#1d5fae' -draw 'circle 113,86 115,86' \
  -font "$font" -pointsize 104 -fill white -annotate +226+134 Storm \
  -fill '#5aa8f5' -annotate +$((226 + storm))+134 finch \
  -resize 199x48! "${out[@]}" PNG32:Logo.png

# --- Alert: drawn at 160 x 144 -----------------------------------------------------------------------
"${im[@]}" -size 160x144 xc:none \
  -fill '#f3b43a' -stroke '#f3b43a' -strokewidth 16 -draw 'stroke-linejoin round polygon 80,14 12,130 148,130' \
  -stroke none -fill '#141a26' -draw 'roundrectangle 73,48 87,100 7,7' -draw 'circle 80,115 80,123' \
  -resize 40x36! "${out[@]}" PNG32:Alert.png

# --- Close button, three states: drawn at 120 x 120 --------------------------------------------------
# $1: colour of the disc behind the cross (or none), $2: colour of the cross, $3: file
close_button() {
  local disc=()
  [ "$1" != none ] && disc=(-fill "$1" -stroke none -draw 'circle 60,60 60,8')
  "${im[@]}" -size 120x120 xc:none "${disc[@]}" \
    -fill none -stroke "$2" -strokewidth 7 \
    -draw 'stroke-linecap round line 43,43 77,77' -draw 'stroke-linecap round line 77,43 43,77' \
    -resize 30x30 "${out[@]}" PNG32:"$3"
}
close_button none 'rgba(255,255,255,0.78)' Close.png
close_button 'rgba(255,255,255,0.16)' 'rgb(255,255,255)' CloseOnOver.png
close_button 'rgba(47,127,209,0.85)' 'rgb(255,255,255)' CloseOnClick.png
