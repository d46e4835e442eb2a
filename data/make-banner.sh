#!/usr/bin/env bash
# Draws the login window's banner, data/banner.jpg: 632 x 186, a calm light gradient,
# a key mark and the name Keyvora. The lower right corner stays plain, because the
# login window lays its "管理用户" link over it.
# Needs ImageMagick and the DejaVu and WenQuanYi Zen Hei fonts (setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")"
convert=/usr/bin/convert
latin=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
latin_light=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
chinese=/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc

"$convert" -size 632x186 gradient:'#fbfdff'-'#e2eefa' \
  -fill '#d3e4f5' -stroke none -draw "circle 560,-40 700,60" \
  -fill '#eaf3fc' -draw "circle 600,230 700,320" \
  -fill none -stroke '#2f6fb0' -strokewidth 10 -draw "circle 92,93 92,128" \
  -fill '#fbfdff' -stroke none -draw "circle 92,93 92,108" \
  -fill '#2f6fb0' -draw "rectangle 124,88 196,98" \
  -draw "rectangle 170,98 180,116" -draw "rectangle 186,98 196,110" \
  -fill '#1f4e79' -font "$latin" -pointsize 60 -annotate +222+104 'Keyvora' \
  -fill '#5a7fa6' -font "$chinese" -pointsize 22 -annotate +226+140 '账号与口令，安心保管' \
  -fill '#8aaed3' -stroke none -draw "rectangle 226,152 420,154" \
  -fill '#7d9bbb' -font "$latin_light" -pointsize 13 -annotate +226+30 'keyvora.example.org' \
  -strip -interlace none -sampling-factor 4:2:0 -quality 92 \
  -type TrueColor -colorspace sRGB banner.jpg
/usr/bin/identify banner.jpg
