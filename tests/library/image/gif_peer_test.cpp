// The reader and writer against giflib: files made by other encoders must decode to the pixels
// giflib gives, and files we write must decode in giflib to the pixels we wrote.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fakes/recording_services.h"
#include "fakes/temp_folder.h"
#include "library/image/gif_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

GifFile slurp(const std::string& name) {
  int error = 0;
  GifFile gif(DGifOpenFileName(name.c_str(), &error));
  if (!gif || DGifSlurp(gif.get()) != GIF_OK) return nullptr;
  return gif;
}

// giflib's first image placed on a zero screen (clipped to it); palette as our reader leaves it:
// the global table, its first entries replaced by a local one.
void giflibScreen(const GifFileType* gif, Bytes& screen, Bytes& palette) {
  screen.assign(static_cast<std::size_t>(gif->SWidth) * gif->SHeight, 0);
  palette.assign(768, 0);
  auto copyMap = [&](const ColorMapObject* map) {
    if (!map) return;
    for (int i = 0; i < map->ColorCount; ++i) {
      palette[3 * i] = map->Colors[i].Red;
      palette[3 * i + 1] = map->Colors[i].Green;
      palette[3 * i + 2] = map->Colors[i].Blue;
    }
  };
  copyMap(gif->SColorMap);
  const SavedImage& image = gif->SavedImages[0];
  copyMap(image.ImageDesc.ColorMap);
  const GifImageDesc& d = image.ImageDesc;
  for (int y = 0; y < d.Height; ++y) {
    for (int x = 0; x < d.Width; ++x) {
      int sx = d.Left + x, sy = d.Top + y;
      if (sx < gif->SWidth && sy < gif->SHeight) {
        screen[static_cast<std::size_t>(sy) * gif->SWidth + sx] =
            image.RasterBits[static_cast<std::size_t>(y) * d.Width + x];
      }
    }
  }
}

Bytes ourScreen(GifImage& image) {
  Bytes out;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.pixelAddress(0, y);
    out.insert(out.end(), row, row + image.width);
  }
  return out;
}

TEST(GifPeers, FilesFromOtherEncodersDecodeAsGiflibDecodesThem) {
  const std::string folder = std::string(TAVOLIN_TEST_DATA_DIR) + "/image";
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".gif") continue;
    std::string name = entry.path().string();
    SCOPED_TRACE(name);
    GifFile gif = slurp(name);
    ASSERT_TRUE(gif);
    Bytes screen, palette;
    giflibScreen(gif.get(), screen, palette);

    RecordingMessages messages;
    GifImage image;
    ASSERT_EQ(image.loadGif(name.c_str(), 0), 1);
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(image.width, gif->SWidth);
    ASSERT_EQ(image.height, gif->SHeight);
    EXPECT_EQ(ourScreen(image), screen);
    EXPECT_EQ(Bytes(image.palette, image.palette + 768), palette);
    ++compared;
  }
  EXPECT_GE(compared, 17);
}

TEST(GifPeers, GiflibReadsWhatWeWrite) {
  struct Case {
    int width, height, colours;
    bool transparent;
  };
  const Case cases[] = {{1, 1, 2, true},     {1, 9, 4, false},       {7, 3, 16, true},
                        {64, 48, 256, true}, {300, 200, 256, false}, {513, 77, 100, true}};
  std::mt19937 random(42);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    GifImage image;
    image.setFormat(c.width, c.height, 1);
    ASSERT_EQ(image.allocatePixels(), 1);
    ASSERT_EQ(image.allocatePalette(), 1);
    for (int i = 0; i < 768; ++i) image.palette[i] = static_cast<std::uint8_t>(random());
    Bytes pixels;
    for (int y = 0; y < c.height; ++y) {
      std::uint8_t* row = image.pixelAddress(0, y);
      for (int x = 0; x < c.width; ++x) {
        row[x] = static_cast<std::uint8_t>(random() % static_cast<unsigned>(c.colours));
        pixels.push_back(row[x]);
      }
    }
    image.transparentSet = c.transparent;
    image.transparentIndex = pixels[0];
    TempFolder folder;
    std::string name = folder.file("ours.gif");
    ASSERT_EQ(image.saveGif(name.c_str()), 1);

    GifFile gif = slurp(name);
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 1);
    EXPECT_EQ(gif->SWidth, c.width);
    EXPECT_EQ(gif->SHeight, c.height);
    EXPECT_TRUE(gif->SavedImages[0].ImageDesc.Interlace);
    Bytes screen, palette;
    giflibScreen(gif.get(), screen, palette);
    EXPECT_EQ(screen, pixels);
    int entries = gif->SColorMap->ColorCount;
    EXPECT_EQ(Bytes(palette.begin(), palette.begin() + 3 * entries),
              Bytes(image.palette, image.palette + 3 * entries));
    GraphicsControlBlock control;
    bool hasControl = DGifSavedExtensionToGCB(gif.get(), 0, &control) == GIF_OK;
    EXPECT_EQ(hasControl, c.transparent);
    if (hasControl) {
      EXPECT_EQ(control.TransparentColor, pixels[0]);
    }
  }
}

}  // namespace
