// The size of the global colour table the GIF writer gives an image, apart so that its scan of
// the pixel block can be measured on its own.
#pragma once

#include <cstdint>

class GifImage;

// The colour table size code b (the table has 2^(b+1) entries) that holds every pixel index of
// `image`: 7 when its fullPalette option is set or an index of 128 or more is in use, else the
// smallest code whose table reaches the highest index. The block's row padding is zero.
std::int32_t colourTableCode(const GifImage& image);
