// Pictures as values: records of R, G and B planes (0..255, column-major as
// the modules index them), and picture files, the built-in ones included.
#include <QFileInfo>
#include <QImage>
#include <algorithm>
#include <cmath>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

Value imageToValue(const QImage& image) {
  const QImage img = image.convertToFormat(QImage::Format_RGB32);
  const std::size_t rows = static_cast<std::size_t>(img.height());
  const std::size_t cols = static_cast<std::size_t>(img.width());
  std::vector<double> r(rows * cols), g(rows * cols), b(rows * cols);
  for (std::size_t y = 0; y < rows; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(int(y)));
    for (std::size_t x = 0; x < cols; ++x) {
      const std::size_t k = x * rows + y;  // column-major
      r[k] = qRed(line[x]);
      g[k] = qGreen(line[x]);
      b[k] = qBlue(line[x]);
    }
  }
  return Value::record({{"R", Value::matrix(rows, cols, std::move(r))},
                        {"G", Value::matrix(rows, cols, std::move(g))},
                        {"B", Value::matrix(rows, cols, std::move(b))}});
}

QImage imageFromValue(const Value& v) {
  if (v.isEmpty()) return {};
  if (!v.isRecord() || !v.hasField("R") || !v.hasField("G") || !v.hasField("B"))
    raise("A picture is a record with R, G and B planes (as imread returns it).");
  const Value& r = v.field("R");
  const Value& g = v.field("G");
  const Value& b = v.field("B");
  const std::size_t rows = r.rows(), cols = r.cols();
  if (g.rows() != rows || g.cols() != cols || b.rows() != rows || b.cols() != cols)
    raise("The R, G and B planes of a picture must have the same size.");
  if (rows > 20000 || cols > 20000) raise("The picture is too large.");
  QImage img(int(cols), int(rows), QImage::Format_RGB32);
  // Levels outside 0 .. 255 are clamped, not a number is black.
  auto px = [](double x) { return clampedInteger(x, 0, 255).value_or(0); };
  for (std::size_t y = 0; y < rows; ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(int(y)));
    for (std::size_t x = 0; x < cols; ++x) {
      const std::size_t k = x * rows + y;
      line[x] = qRgb(px(r.real(k)), px(g.real(k)), px(b.real(k)));
    }
  }
  return img;
}

QImage readPicture(std::string_view fileName) {
  ensureApplication();
  const QString name = toQ(fileName);
  for (const QString& candidate : {name, QString("layouts/") + QFileInfo(name).fileName(),
                                   QString(":/layouts/") + QFileInfo(name).fileName()}) {
    if (!QFileInfo::exists(candidate)) continue;
    QImage img(candidate);
    if (img.isNull()) raise("The picture file '" + fromQ(candidate) + "' could not be decoded.");
    return img;
  }
  raise("The picture file '" + std::string(fileName) + "' was not found.");
}

}  // namespace dot11a::gfx
