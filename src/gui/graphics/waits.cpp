// Modal waits: a nested event loop per wait, ended by uiresume or by the
// window going away.
#include <QEventLoop>
#include <QWidget>
#include <algorithm>

#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

void uiwait(Handle figure) {
  QWidget* w = widgetOf(figure);
  if (!w) return;
  QEventLoop loop;
  QPointer<QWidget> guard(w);
  auto conn = QObject::connect(w, &QObject::destroyed, &loop, &QEventLoop::quit);
  reg().waits[figure.id()].push_back(&loop);
  loop.exec();
  auto& list = reg().waits[figure.id()];
  list.erase(std::remove(list.begin(), list.end(), &loop), list.end());
  if (list.empty()) reg().waits.erase(figure.id());
  if (guard) QObject::disconnect(conn);
}

void uiresume(Handle figure) {
  auto it = reg().waits.find(figure.id());
  if (it == reg().waits.end()) return;
  for (QEventLoop* l : it->second) l->quit();
}

}  // namespace dot11a::gfx
