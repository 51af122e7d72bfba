// Menus of a window: the menu bar, menus, sub-menus, items and separators.
#include <QAction>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

QMenuBar* menuBarOf(QWidget* fig) {
  if (auto* mw = qobject_cast<QMainWindow*>(fig)) return mw->menuBar();
  if (auto* mb = fig->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) return mb;
  auto* mb = new QMenuBar(fig);
  if (fig->layout()) fig->layout()->setMenuBar(mb);
  return mb;
}

Handle addMenu(Handle figure, Handle parentMenu, const std::string& label, const std::string& tag,
               const std::string& callback) {
  QWidget* fig = widgetOf(figure);
  if (!fig || !isFigure(fig)) raise("Menus can only be added to a window.");
  QObject* created = nullptr;
  if (parentMenu.isRoot()) {
    created = menuBarOf(fig)->addMenu(toQ(label));
  } else {
    QObject* parent = requireObject(parentMenu, "a parent menu");
    QMenu* pm = qobject_cast<QMenu*>(parent);
    if (!pm) {
      // An item that gets items of its own becomes a sub-menu.
      QAction* pa = qobject_cast<QAction*>(parent);
      if (!pa) raise("The parent of a menu item must be a menu.");
      raise("The menu item '" + fromQ(pa->objectName()) +
            "' cannot take items; declare it as a menu.");
    }
    auto* act = new QAction(toQ(label), pm);
    pm->addAction(act);
    created = act;
  }
  created->setObjectName(toQ(tag));
  const Handle h = handleOf(created);
  if (!callback.empty()) created->setProperty("Callback", toQ(callback));
  wire(created);
  return h;
}

Handle addSubMenu(Handle parentMenu, const std::string& label, const std::string& tag) {
  auto* pm = qobject_cast<QMenu*>(requireObject(parentMenu, "a parent menu"));
  if (!pm) raise("The parent of a menu must be a menu.");
  QMenu* m = pm->addMenu(toQ(label));
  m->setObjectName(toQ(tag));
  return handleOf(m);
}

void addSeparatorBefore(Handle item) {
  QObject* o = requireObject(item, "a menu item");
  QAction* a = actionOf(o);
  if (!a) return;
  if (auto* pm = qobject_cast<QMenu*>(o->parent())) pm->insertSeparator(a);
}

}  // namespace dot11a::gfx
