// Draws the splash picture (layouts/splash.jpg): the power spectrum of an
// 802.11a OFDM symbol stream, 52 occupied sub-carriers of 312.5 kHz spacing,
// computed here from the sum of the sub-carriers' sinc-shaped spectra.
//   dot11a-render-splash layouts/splash.jpg
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {
double sinc(double x) {
  return x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

// Power spectral density in dB at f (MHz) of a stream of 4 us symbols with an
// 0.8 us guard interval, averaged over random data.
double psdDb(double fMHz) {
  const double spacing = 0.3125;  // MHz
  const double symbol = 4.0;      // us; the symbol length sets the lobe width
  double p = 0;
  for (int k = -26; k <= 26; ++k) {
    if (k == 0) continue;
    const double x = (fMHz - k * spacing) * symbol;
    p += sinc(x) * sinc(x);
  }
  return 10 * std::log10(p / 1.25 + 1e-9);
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString(argv[1]) : QString("splash.jpg");
  const int W = 460, H = 240;
  QImage img(W, H, QImage::Format_RGB32);
  img.fill(QColor(14, 24, 44));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF plot(40, 20, W - 60, H - 60);
  const double fMin = -20, fMax = 20, dbMin = -50, dbMax = 5;
  auto X = [&](double f) { return plot.left() + (f - fMin) / (fMax - fMin) * plot.width(); };
  auto Y = [&](double db) { return plot.top() + (dbMax - db) / (dbMax - dbMin) * plot.height(); };
  p.setPen(QPen(QColor(40, 60, 95), 1));
  for (double f = -20; f <= 20; f += 5)
    p.drawLine(QPointF(X(f), plot.top()), QPointF(X(f), plot.bottom()));
  for (double d = -50; d <= 0; d += 10)
    p.drawLine(QPointF(plot.left(), Y(d)), QPointF(plot.right(), Y(d)));
  QPainterPath trace, fill;
  fill.moveTo(X(fMin), Y(dbMin));
  for (int i = 0; i <= 800; ++i) {
    const double f = fMin + (fMax - fMin) * i / 800.0;
    const double db = std::max(dbMin, psdDb(f));
    if (i == 0)
      trace.moveTo(X(f), Y(db));
    else
      trace.lineTo(X(f), Y(db));
    fill.lineTo(X(f), Y(db));
  }
  fill.lineTo(X(fMax), Y(dbMin));
  fill.closeSubpath();
  QLinearGradient grad(0, plot.top(), 0, plot.bottom());
  grad.setColorAt(0, QColor(60, 200, 170, 150));
  grad.setColorAt(1, QColor(60, 200, 170, 10));
  p.fillPath(fill, grad);
  p.setPen(QPen(QColor(120, 255, 210), 1.6));
  p.drawPath(trace);
  p.setPen(QColor(170, 190, 220));
  QFont font = p.font();
  font.setPixelSize(11);
  p.setFont(font);
  for (double f = -20; f <= 20; f += 10)
    p.drawText(QRectF(X(f) - 20, plot.bottom() + 4, 40, 14), Qt::AlignCenter, QString::number(f));
  for (double d = -40; d <= 0; d += 20)
    p.drawText(QRectF(2, Y(d) - 7, 34, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(d));
  p.drawText(QRectF(plot.left(), H - 18, plot.width(), 14), Qt::AlignCenter,
             "Frequency offset (MHz)");
  p.drawText(QRectF(plot.left() + 8, plot.top() + 4, plot.width(), 16), Qt::AlignLeft,
             "52 sub-carriers, 312.5 kHz spacing");
  p.end();
  if (!img.save(out, "JPG", 92)) {
    std::fprintf(stderr, "Could not write %s\n", qPrintable(out));
    return 1;
  }
  return 0;
}
