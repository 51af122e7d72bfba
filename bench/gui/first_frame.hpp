// Waits for a plot window's first frame drawn with its data: every axes of
// the window replotted and then painted. The GUI benchmarks share it.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <vector>

#include "gui/graphics/graphics.hpp"
#include "gui/graphics/plot_objects.hpp"

namespace dot11a::bench {

namespace gfx = dot11a::gfx;

class FirstFrame : public QObject {
 public:
  explicit FirstFrame(gfx::Handle fig) {
    for (gfx::Handle h : gfx::figureAxes(fig)) {
      auto* a = gfx::Axes::of(gfx::objectOf(h));
      // The window may have drawn its data already while it was shown.
      axes_.push_back({a, a->upToDate(), false});
      a->installEventFilter(this);
      const std::size_t i = axes_.size() - 1;
      connect(a, &QCustomPlot::afterReplot, this, [this, i] { axes_[i].replotted = true; });
    }
  }
  bool done() const {
    for (const auto& a : axes_)
      if (!a.painted) return false;
    return !axes_.empty();
  }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint)
      for (auto& a : axes_)
        if (a.axes == o && a.replotted) a.painted = true;  // painted once this call returns
    return false;
  }

 private:
  struct Watched {
    QPointer<gfx::Axes> axes;
    bool replotted, painted;
  };
  std::vector<Watched> axes_;
};

}  // namespace dot11a::bench
