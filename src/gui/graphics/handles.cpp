// The handle registry: every object the modules name gets a number that maps
// back to its Qt object for as long as the object lives.
#include <qcustomplot.h>
#include <QAction>
#include <QMenu>
#include <QString>

#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

Registry& reg() {
  static Registry r;
  return r;
}

void forget(Handle h) {
  Registry& r = reg();
  r.objects.erase(h.id());
  r.userData.erase(h.id());
  r.appData.erase(h.id());
  r.cdata.erase(h.id());
}

Handle Handle::from(const Value& v, std::string_view what) {
  if (!v.isNumeric() || v.isEmpty())
    raise(std::string(what) + " must be a window or control handle, not " + v.describe() + ".");
  return Handle(v.real(0));
}

Handle handleFrom(const Value& v, std::string_view what) {
  return Handle::from(v, what);
}

Handle handleOf(QObject* object) {
  if (!object) return {};
  const QVariant v = object->property(kHandleProp);
  if (v.isValid()) return v.toDouble();
  Registry& r = reg();
  const double h = r.next++;
  object->setProperty(kHandleProp, h);
  r.objects[h] = object;
  QObject::connect(object, &QObject::destroyed, [h] { forget(h); });
  return h;
}

QObject* objectOf(Handle handle) {
  auto& objs = reg().objects;
  auto it = objs.find(handle.id());
  if (it == objs.end()) return nullptr;
  return it->second.data();
}

QWidget* widgetOf(Handle handle) {
  return qobject_cast<QWidget*>(objectOf(handle));
}

bool isHandle(Handle handle) {
  return handle.isRoot() || objectOf(handle) != nullptr;
}

QObject* requireObject(Handle handle, std::string_view what) {
  QObject* o = objectOf(handle);
  if (!o)
    raise("Invalid handle " + fromQ(QString::number(handle.id())) + " for " + std::string(what) +
          ".");
  return o;
}

bool isFigure(QObject* o) {
  return o->property(kFigureProp).toBool();
}

Handle figureOf(Handle handle) {
  for (QObject* o = objectOf(handle); o; o = o->parent())
    if (isFigure(o)) return handleOf(o);
  return {};
}

QAction* actionOf(QObject* o) {
  if (auto* m = qobject_cast<QMenu*>(o)) return m->menuAction();
  return qobject_cast<QAction*>(o);
}

Kind kindOf(QObject* o) {
  if (!o) return Kind::Root;
  if (isFigure(o)) return Kind::Figure;
  if (actionOf(o)) return Kind::Menu;
  if (qobject_cast<QCustomPlot*>(o)) return Kind::Axes;
  const QString plotKind = o->property("dot11aPlotKind").toString();
  if (plotKind == "line") return Kind::Line;
  if (plotKind == "surface") return Kind::Surface;
  return Kind::Control;
}

std::string_view kindName(Kind k) {
  switch (k) {
    case Kind::Root:
      return "root";
    case Kind::Figure:
      return "figure";
    case Kind::Control:
      return "uicontrol";
    case Kind::Menu:
      return "uimenu";
    case Kind::Axes:
      return "axes";
    case Kind::Line:
      return "line";
    case Kind::Surface:
      return "surface";
  }
  return "uicontrol";
}

}  // namespace dot11a::gfx
