#!/usr/bin/env bash
# Draws N A4 pages at 300 dpi as 24-bit BMP files into DIR: lines of text with a coloured heading
# on off-white, slightly noisy paper; every seventh page is nearly blank (a few specks), every
# eleventh carries only a page number. Needs ImageMagick (scripts/install-deps.sh bench).
#
# usage: bench/make_pages.sh DIR N
set -euo pipefail

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 DIR N" >&2
    exit 2
fi
dir=$1
count=$2
command -v convert >/dev/null || {
    echo "ImageMagick is missing: bash scripts/install-deps.sh bench" >&2
    exit 1
}
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One sheet of paper, drawn once: its noise is what a scanner sees on a white page.
convert -size 2480x3508 xc:'#f4f1e8' -attenuate 0.6 +noise Gaussian -blur 0x0.5 "$work/paper.mpc"

words=(Angebot Rechnung Lieferung Betrag Kunde Auftrag Datum Menge Preis Summe Vertrag Seite Anlage
    Bestellung Zahlung innerhalb Tagen netto gemäß unserer Bedingungen bitte Konto Vielen Dank für Ihre)
text_block() {
    local seed=$1 lines=$2 line word
    RANDOM=$seed
    for ((line = 0; line < lines; line++)); do
        local out=""
        for ((word = 0; word < 9 + RANDOM % 4; word++)); do
            out+="${words[RANDOM % ${#words[@]}]} "
        done
        printf '%s\n' "$out"
    done
}

for ((i = 1; i <= count; i++)); do
    page=$(printf '%s/page%04d.bmp' "$dir" "$i")
    common=(-density 300 -units PixelsPerInch)
    if ((i % 7 == 0)); then
        # Nearly blank: a few specks of dust, dropped as blank.
        convert "$work/paper.mpc" "${common[@]}" -fill '#303030' \
            -draw "circle 600,900 603,903" -draw "circle 1800,2500 1802,2502" \
            -type TrueColor "BMP3:$page"
    elif ((i % 11 == 0)); then
        convert "$work/paper.mpc" "${common[@]}" -font DejaVu-Sans -pointsize 10 -fill '#202020' \
            -annotate +1180+3350 "- $i -" -type TrueColor "BMP3:$page"
    else
        convert "$work/paper.mpc" "${common[@]}" \
            -fill '#1f4e9a' -draw "rectangle 200,180 2280,330" \
            -font DejaVu-Sans-Bold -pointsize 18 -fill '#fdfdfd' -annotate +240+300 "Seite $i" \
            -font DejaVu-Sans -pointsize 10 -fill '#222222' -interline-spacing 12 \
            -annotate +220+520 "$(text_block "$i" 52)" \
            -fill '#b03020' -pointsize 12 -annotate +1500+3300 "Mit freundlichen Grüßen" \
            -type TrueColor "BMP3:$page"
    fi
done
