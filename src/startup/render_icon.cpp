// Draws the program's SVG icon at the sizes desktops ask a window for, at
// build time, into a C++ source of premultiplied pixels: the program shows
// the same icon without loading Qt SVG, an icon engine or an image decoder.
//   render_icon <svg file> <output .cpp> <size>...
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

// The icon at one size, as the program used to draw it at start.
QImage drawn(QSvgRenderer& renderer, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  return image;
}

QByteArray pixelArray(const QImage& image, const QByteArray& name) {
  QByteArray text = "const quint32 " + name + "[] = {";
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
    text += "\n ";
    for (int x = 0; x < image.width(); ++x) text += " 0x" + QByteArray::number(line[x], 16) + ',';
  }
  return text + "\n};\n";
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 4) {
    std::fprintf(stderr, "usage: render_icon <svg file> <output .cpp> <size>...\n");
    return 2;
  }
  QSvgRenderer renderer(QFile::decodeName(argv[1]));
  if (!renderer.isValid()) return 1;
  QByteArray source = "// Made by render_icon from the program's SVG icon.\n#include \"application_icon_pixels.h\"\n\n"
                      "namespace ApplicationIconPixels {\nnamespace {\n";
  QByteArray list = "const Image kImages[] = {";
  for (int i = 3; i < argc; ++i) {
    const int size = QByteArray(argv[i]).toInt();
    const QByteArray name = "kPixels" + QByteArray::number(size);
    source += pixelArray(drawn(renderer, size), name);
    list += "{" + QByteArray::number(size) + ", " + name + "}, ";
  }
  source += "}  // namespace\n" + list + "};\nconst int kImageCount = " + QByteArray::number(argc - 3) +
            ";\n}  // namespace ApplicationIconPixels\n";
  QFile out(QFile::decodeName(argv[2]));
  return out.open(QIODevice::WriteOnly) && out.write(source) == source.size() ? 0 : 1;
}
