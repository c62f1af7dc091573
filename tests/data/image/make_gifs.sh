#!/usr/bin/env bash
# Makes the GIF files of this folder with other people's encoders (ImageMagick, giflib's tools,
# Pillow), so that the reader is tested on files our writer did not make. Run from anywhere; the
# files are committed, so the tests need none of these tools. Debian's python3 has Pillow.
set -euo pipefail
cd "$(dirname "$0")"
PY=/usr/bin/python3

# ImageMagick: gradient, interlaced, GIF87a, an animation with offsets and disposal, noise that
# fills the code table, an image offset inside a larger screen.
convert -size 37x23 gradient:red-blue -colors 50 +dither im_gradient.gif
convert -size 41x29 gradient:yellow-black -colors 30 +dither -interlace GIF im_interlaced.gif
convert -size 19x11 plasma:fractal -colors 16 GIF87:im_gif87a.gif
convert -dispose Background -delay 10 -size 24x16 xc:red \
  \( -size 10x6 xc:blue -repage 24x16+7+5 \) -dispose Previous \( -size 4x4 xc:lime \
  -repage 24x16+1+1 \) im_animation.gif
convert -size 160x120 xc: +noise Random -colors 256 +dither im_noise.gif
convert -size 13x9 xc:orange -repage 40x30+10+5 im_offset.gif

# giflib: the same pictures re-encoded by giflib's own encoder (gifbuild's dump and rebuild),
# and giftool's interlacing.
gifbuild -d im_gradient.gif | gifbuild > giflib_gradient.gif
gifbuild -d im_animation.gif | gifbuild > giflib_animation.gif
giftool -i 1 < im_noise.gif > giflib_noise_interlaced.gif

# Pillow: small palettes (minimum code sizes below 8), local colour tables per frame.
$PY - <<'PYTHON'
from PIL import Image
for bits in (1, 2, 3, 4, 5, 6, 7):
    colours = 1 << bits
    picture = Image.new("P", (23, 17))
    picture.putpalette([(i * 37) % 256 for i in range(3 * colours)])
    picture.putdata([(x * 3 + y * 5) % colours for y in range(17) for x in range(23)])
    picture.save("pil_%dbit.gif" % bits, optimize=False)
frames = []
for k in range(2):
    frame = Image.new("P", (12, 10))
    frame.putpalette([(i * (k + 3)) % 256 for i in range(48)])
    frame.putdata([(x + y + k) % 16 for y in range(10) for x in range(12)])
    frames.append(frame)
frames[0].save("pil_local_tables.gif", save_all=True, append_images=frames[1:], interlace=True)
PYTHON
ls -l *.gif
