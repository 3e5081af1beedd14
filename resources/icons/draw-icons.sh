#!/usr/bin/env bash
# Draws the message box's four 32 x 32 icons (stop, question, exclamation, information) with
# ImageMagick: each is drawn at 128 x 128 and scaled down, so the edges come out smooth.
set -euo pipefail
cd "$(dirname "$0")"

bold=$(fc-match -f '%{file}' 'Liberation Sans:bold')
serif=$(fc-match -f '%{file}' 'Liberation Serif:bold')
big=(-size 128x128 xc:none)
small=(-filter Lanczos -resize 32x32 -depth 8 -strip)

# Stop: a red octagon with a white rim and a white cross.
convert "${big[@]}" \
  -fill '#b3121b' -stroke '#6d0a10' -strokewidth 4 \
  -draw 'polygon 42,4 86,4 124,42 124,86 86,124 42,124 4,86 4,42' \
  -fill none -stroke white -strokewidth 6 \
  -draw 'polygon 45,13 83,13 115,45 115,83 83,115 45,115 13,83 13,45' \
  -stroke white -strokewidth 16  \
  -draw 'line 44,44 84,84' -draw 'line 84,44 44,84' \
  "${small[@]}" stop.png

# Question: a blue disc with a white question mark.
convert "${big[@]}" \
  -fill '#2160c4' -stroke '#123a7a' -strokewidth 4 -draw 'circle 64,64 64,4' \
  -fill white -stroke none -font "$bold" -pointsize 96 -gravity center -annotate +0+4 '?' \
  "${small[@]}" question.png

# Exclamation: a yellow warning triangle with a black exclamation mark.
convert "${big[@]}" \
  -fill '#f6c000' -stroke '#5a4500' -strokewidth 6  \
  -draw 'polygon 64,6 124,118 4,118' \
  -fill black -stroke none -font "$bold" -pointsize 84 -gravity center -annotate +0+14 '!' \
  "${small[@]}" exclamation.png

# Information: a blue disc with a white serif "i".
convert "${big[@]}" \
  -fill '#1f6fd0' -stroke '#12407a' -strokewidth 4 -draw 'circle 64,64 64,4' \
  -fill white -stroke none -font "$serif" -pointsize 92 -gravity center -annotate +0+4 'i' \
  "${small[@]}" information.png
