#pragma once

#include <QtGlobal>

// The program's icon, drawn from its SVG at build time (render_icon):
// premultiplied ARGB pixels, one image per size.
namespace ApplicationIconPixels {

struct Image {
  int size;
  const quint32* pixels;
};

extern const Image kImages[];
extern const int kImageCount;

}  // namespace ApplicationIconPixels
