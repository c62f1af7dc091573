// Reading a GIF file into a GifImage: header and global colour table, a walk over the blocks to
// the selected image (extensions read or passed over, earlier images skipped), and the LZW
// decoding of that image into its rectangle of the logical screen.
//
// The file is parsed in place in the reader's block. Every structure is checked against the
// bytes that remain before it is read, and the decoder takes its data bytes only from sub-blocks
// that lie within the file, so no read passes the end whatever the file says. Image rectangles
// are clipped to the screen: the decoder walks the image's own rows and columns and stores only
// the pixels that fall on the screen.
#include <cstring>

#include "library/image/gif_image.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

namespace {

std::int32_t readUint16(const std::uint8_t* field) { return field[0] | field[1] << 8; }

// Bytes of a colour table whose size code is in the low three bits of `packed`.
std::int32_t colourTableBytes(std::uint8_t packed) { return 3 << ((packed & 7) + 1); }

constexpr std::int32_t kPassStart[4] = {0, 4, 2, 1};
constexpr std::int32_t kPassStep[4] = {8, 8, 4, 2};

// LZW work areas, one set per decoded image.
constexpr std::size_t kStackBytes = 8192;
constexpr std::size_t kSuffixBytes = 8192;
constexpr std::size_t kPrefixEntries = 4098;

struct WorkAreas {
  std::uint8_t* stack = nullptr;
  std::uint8_t* suffix = nullptr;
  std::int16_t* prefix = nullptr;
  ~WorkAreas() {
    freeBlock(stack);
    freeBlock(suffix);
    freeBlock(prefix);
  }
  bool obtain() {
    stack = static_cast<std::uint8_t*>(allocZeroed(kStackBytes));
    if (!stack) return false;
    suffix = static_cast<std::uint8_t*>(allocZeroed(kSuffixBytes));
    if (!suffix) return false;
    prefix = static_cast<std::int16_t*>(allocZeroed(kPrefixEntries * sizeof(std::int16_t)));
    return prefix != nullptr;
  }
};

}  // namespace

GifImage::GifImage() = default;

GifImage::~GifImage() { reader.release(); }

int GifImage::loadGif(const char* name, std::int32_t frameIndex) {
  int result = readGifHeader(name) ? seekFrame(frameIndex) : 0;
  reader.release();
  return result;
}

int GifImage::loadGifFromMemory(const void* data, std::size_t size, std::int32_t frameIndex) {
  int result = 0;
  if (!ownsPixels && allocatePalette() && reader.loadFromMemory(data, size)) {
    result = parseGifHeader("(memory)") ? seekFrame(frameIndex) : 0;
  }
  reader.release();
  return result;
}

int GifImage::readGifHeader(const char* name) {
  // One load per object: a second would find the first load's pixel block, sized for another
  // screen.
  if (ownsPixels) return 0;
  if (!allocatePalette()) return 0;
  // A file of another kind is refused after its first three bytes, not read whole.
  bool mismatch = false;
  if (!reader.load(name, "GIF", mismatch, &readIdentity)) {
    if (mismatch) traceMessage("Bad format: ", name);
    return 0;
  }
  return parseGifHeader(name);
}

int GifImage::parseGifHeader(const char* name) {
  bool complete = reader.remaining() >= static_cast<std::int32_t>(sizeof header);
  reader.readBlock(&header, sizeof header);
  if (std::memcmp(header.signature, "GIF", 3) != 0) {
    traceMessage("Bad format: ", name);
    reader.release();
    return 0;
  }
  if (!complete) return 0;
  if (!readColourTable(header.packed)) return 0;
  std::int32_t screenWidth = readUint16(header.screenWidth);
  std::int32_t screenHeight = readUint16(header.screenHeight);
  // An empty screen has no top-left pixel to make transparent and nothing to write back; rows
  // wider than kMaxGifScreenWidth lie outside what a Bitmap row is meant to hold.
  if (screenWidth == 0 || screenHeight == 0 || screenWidth > kMaxGifScreenWidth) {
    traceMessage("Bad format: ", name);
    return 0;
  }
  // A screen no real picture needs is refused before its block is asked for, as a block that
  // could not be had: a 49-byte file may declare 4 GB of pixels.
  if (static_cast<std::int64_t>(screenWidth) * screenHeight > kMaxGifScreenPixels) {
    showError("Sorry, not enough memory");
    return 0;
  }
  setFormat(screenWidth, screenHeight, 1);
  return allocatePixels();
}

int GifImage::seekFrame(std::int32_t frameIndex) {
  for (;;) {
    if (reader.remaining() < 1) return 0;
    switch (reader.readByte()) {
      case 0x2C:  // image separator
        if (framesPassed >= frameIndex) return decodeFrame();
        reader.unreadByte();
        if (!skipFrame()) return 0;
        break;
      case 0x21:  // extension introducer
        if (!readExtension()) return 0;
        break;
      case 0x3B:  // trailer: the file has no image with that index
        return 0;
      default:
        traceMessage("Bad format: ");
        return 0;
    }
  }
}

int GifImage::readExtension() {
  if (reader.remaining() < 1) return 0;
  std::uint8_t label = reader.readByte();
  if (label != 0xF9) return skipSubBlocks();
  // Graphic control extension: block size (not checked), packed byte, delay (2 bytes),
  // transparent colour index, terminator. The last extension met wins; nothing is ever cleared.
  std::uint8_t control[6];
  if (reader.remaining() < 6) return 0;
  reader.readBlock(control, 6);
  if (control[1] & 0x08) fillBeforeDecode = 1;
  if (control[1] & 0x01) {
    transparentSet = 1;
    transparentIndex = control[4];
  }
  return 1;
}

int GifImage::skipSubBlocks() {
  for (;;) {
    if (reader.remaining() < 1) return 0;
    std::int32_t count = reader.readByte();
    if (count == 0) return 1;
    if (reader.remaining() < count) return 0;
    reader.skip(count);
  }
}

int GifImage::skipFrame() {
  reader.readByte();  // the separator, seen by the caller
  // A skipped image's local colour table still overwrites the palette.
  if (!readImageDescriptor()) return 0;
  if (reader.remaining() < 1) return 0;
  reader.readByte();  // LZW minimum code size
  if (!skipSubBlocks()) return 0;
  ++framesPassed;
  return 1;
}

int GifImage::readColourTable(std::uint8_t packed) {
  if (!(packed & 0x80)) return 1;
  std::int32_t tableBytes = colourTableBytes(packed);
  if (reader.remaining() < tableBytes) return 0;
  reader.readBlock(palette, tableBytes);
  return 1;
}

int GifImage::readImageDescriptor() {
  if (reader.remaining() < static_cast<std::int32_t>(sizeof descriptor)) return 0;
  reader.readBlock(&descriptor, sizeof descriptor);
  return readColourTable(descriptor.packed);
}

int GifImage::decodeFrame() {
  if (!readImageDescriptor()) return 0;
  std::int32_t left = readUint16(descriptor.left);
  std::int32_t top = readUint16(descriptor.top);
  std::int32_t imageWidth = readUint16(descriptor.width);
  std::int32_t imageHeight = readUint16(descriptor.height);
  if (imageWidth == 0 || imageHeight == 0) {
    traceMessage("Bad format: ");
    return 0;
  }
  if (fillBeforeDecode && left < width && top < height) {
    // Row by row downwards, interlaced or not, within the screen.
    std::int32_t fillWidth = imageWidth < width - left ? imageWidth : width - left;
    std::int32_t fillRows = imageHeight < height - top ? imageHeight : height - top;
    std::uint8_t* row = pixelAddress(left, top);
    for (std::int32_t y = 0; y < fillRows; ++y) {
      std::memset(row, transparentIndex, static_cast<std::size_t>(fillWidth));
      row = nextRow();
    }
  }
  decodeLzw(left, top, imageWidth, imageHeight);
  ++framesPassed;
  reader.readByte();  // normally the zero-length block that ends the image data
  return 1;
}

void GifImage::decodeLzw(std::int32_t left, std::int32_t top, std::int32_t imageWidth,
                         std::int32_t imageHeight) {
  WorkAreas work;
  if (!work.obtain()) {
    showError("Gif decode workspace allocation");
    return;
  }
  std::uint8_t* const stack = work.stack;
  std::uint8_t* const suffix = work.suffix;
  std::int16_t* const prefix = work.prefix;

  // Where pixels land: the columns of the image that lie on the screen, in the rows that do.
  const std::int32_t visibleWidth =
      left >= width ? 0 : (imageWidth < width - left ? imageWidth : width - left);
  const bool interlaced = (descriptor.packed & 0x40) != 0;
  std::int32_t pass = 0;
  std::int32_t rowOffset = 0;
  std::uint8_t* rowBase = nullptr;
  std::int32_t rowLimit = 0;
  auto locateRow = [&] {
    if (visibleWidth > 0 && top + rowOffset < height) {
      rowBase = pixelAddress(left, top + rowOffset);
      rowLimit = visibleWidth;
    } else {
      rowBase = nullptr;
      rowLimit = 0;
    }
  };
  locateRow();
  // Decoding stops when the image's last row is complete, or after as many pixels as the
  // screen's block holds.
  std::int64_t budget = static_cast<std::int64_t>(imageWidth) * imageHeight;
  if (budget > size) budget = size;
  std::int32_t x = 0;
  // A transparent pixel of a later image leaves the pixel below as it was.
  const std::int32_t keepValue =
      framesPassed > 0 && transparentSet == 1 ? static_cast<std::int32_t>(transparentIndex) : -1;

  const std::int32_t minimumSize = reader.readByte();
  if (minimumSize < 2 || minimumSize > 8) {
    showError("Gif decoder");
    return;
  }
  const std::int32_t clear = 1 << minimumSize;
  const std::int32_t end = clear + 1;
  const std::int32_t firstFree = clear + 2;
  const std::int32_t initialWidth = minimumSize + 1;
  std::int32_t codeWidth = initialWidth;
  std::int32_t limit = 1 << codeWidth;
  std::int32_t nextCode = firstFree;
  std::int32_t oldCode = -1;
  std::int32_t firstChar = -1;

  // Bit reader over the chain of sub-blocks, least significant bit first. A sub-block is taken
  // whole from the reader when its first bit is needed; only the bytes of it that lie within the
  // file are used, and needing more after them is the end of the data.
  std::uint32_t bits = 0;
  std::int32_t bitsHeld = 0;
  const std::uint8_t* data = nullptr;
  std::int32_t dataLeft = 0;
  bool fileEnded = false;

  for (;;) {
    while (bitsHeld < codeWidth) {
      if (dataLeft == 0) {
        if (fileEnded || reader.remaining() < 1) {
          showError("Gif decoder");
          return;
        }
        std::int32_t count = reader.readByte();
        if (count == 0) {
          showError("Gif decoder");
          return;
        }
        std::int32_t available = reader.remaining();
        if (available < count) fileEnded = true;
        dataLeft = available < count ? available : count;
        data = reader.skip(count);
        if (dataLeft == 0) {
          showError("Gif decoder");
          return;
        }
      }
      bits |= static_cast<std::uint32_t>(*data++) << bitsHeld;
      bitsHeld += 8;
      --dataLeft;
    }
    const std::int32_t code = static_cast<std::int32_t>(bits & ((1u << codeWidth) - 1));
    bits >>= codeWidth;
    bitsHeld -= codeWidth;

    if (code == end) return;
    if (code > nextCode) {
      showError("Gif decoder");
      return;
    }
    if (code == clear) {
      codeWidth = initialWidth;
      limit = 1 << codeWidth;
      nextCode = firstFree;
      oldCode = -1;
      firstChar = -1;
      continue;
    }

    // The string of the code, last pixel first, onto the stack; its first pixel in firstChar.
    std::uint8_t* stackTop = stack;
    std::int32_t current = code;
    if (code == nextCode) {
      if (oldCode < 0) {
        showError("Gif decoder");
        return;
      }
      *stackTop++ = static_cast<std::uint8_t>(firstChar);
      current = oldCode;
    }
    while (current >= clear) {
      *stackTop++ = suffix[current];
      current = prefix[current];
    }
    firstChar = current;

    // Emission: firstChar, then the stack from the top.
    std::int32_t value = firstChar;
    for (;;) {
      if (x < rowLimit && value != keepValue) rowBase[x] = static_cast<std::uint8_t>(value);
      if (--budget == 0) return;
      if (++x == imageWidth) {
        x = 0;
        if (interlaced) {
          rowOffset += kPassStep[pass];
          while (rowOffset >= imageHeight && pass < 3) rowOffset = kPassStart[++pass];
        } else {
          ++rowOffset;
        }
        locateRow();
      }
      if (stackTop == stack) break;
      value = *--stackTop;
    }

    if (nextCode < 4096 && oldCode >= 0) {
      prefix[nextCode] = static_cast<std::int16_t>(oldCode);
      suffix[nextCode] = static_cast<std::uint8_t>(firstChar);
      ++nextCode;
      if (nextCode >= limit && codeWidth < 12) {
        ++codeWidth;
        limit = 1 << codeWidth;
      }
    }
    oldCode = code;
  }
}
