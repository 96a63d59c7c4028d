#include "Pictures.h"

#include <FL/Fl_RGB_Image.H>

#include <array>
#include <cstdlib>
#include <map>
#include <memory>

namespace qv::ui::fltk {
namespace {

constexpr int kSize = 16;
using Pixels = std::array<unsigned char, kSize * kSize * 4>;

// Which pixels of the picture are set.
bool Set(QvForms::Picture picture, int x, int y) {
  switch (picture) {
    case QvForms::Picture::Plus:
      return (x >= 7 && x <= 8 && y >= 2 && y <= 13) || (y >= 7 && y <= 8 && x >= 2 && x <= 13);
    case QvForms::Picture::Cross:
      return x >= 3 && x <= 12 && y >= 3 && y <= 12 && (std::abs(x - y) <= 1 || std::abs(x + y - 15) <= 1);
    case QvForms::Picture::Up:  // a triangle over a stem
      return (y >= 2 && y <= 8 && std::abs(2 * x - 15) <= 2 * (y - 2) + 1) || (y > 8 && y <= 13 && x >= 6 && x <= 9);
    case QvForms::Picture::Down:
      return Set(QvForms::Picture::Up, x, kSize - 1 - y);
    case QvForms::Picture::None:
      break;
  }
  return false;
}

Pixels Draw(QvForms::Picture picture, unsigned char ink) {
  Pixels pixels{};
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      unsigned char* pixel = &pixels[static_cast<size_t>((y * kSize + x) * 4)];
      pixel[0] = pixel[1] = pixel[2] = ink;
      pixel[3] = Set(picture, x, y) ? 255 : 0;  // transparent where nothing is drawn
    }
  return pixels;
}

struct Drawn {
  Pixels pixels;
  std::unique_ptr<Fl_RGB_Image> image;
};

Fl_RGB_Image* Image(QvForms::Picture picture, bool greyed) {
  if (picture == QvForms::Picture::None) return nullptr;
  // Kept for the life of the process: images must not be freed after the display has gone.
  static auto* drawn = new std::map<std::pair<QvForms::Picture, bool>, std::unique_ptr<Drawn>>;
  auto& slot = (*drawn)[{picture, greyed}];
  if (!slot) {
    slot = std::make_unique<Drawn>();
    slot->pixels = Draw(picture, greyed ? 160 : 0);
    slot->image = std::make_unique<Fl_RGB_Image>(slot->pixels.data(), kSize, kSize, 4);
  }
  return slot->image.get();
}

}  // namespace

Fl_RGB_Image* PictureImage(QvForms::Picture picture) { return Image(picture, false); }
Fl_RGB_Image* GreyedPictureImage(QvForms::Picture picture) { return Image(picture, true); }

}  // namespace qv::ui::fltk
