// Windows: opening them from Designer layouts, watching their close box,
// the handles record of their tagged objects, their application data, finding
// and destroying them.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QUiLoader>
#include <QWidget>
#include <memory>

#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

namespace {

// Event filter on every window: the close box either runs the window's
// CloseRequestFcn or closes and destroys the window; either way a wait on it
// ends. A resized window places its axes again.
class WindowFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      const Handle h = handleOf(watched);
      const QString fcn = watched->property("CloseRequestFcn").toString();
      if (!fcn.isEmpty()) {
        event->ignore();
        evalCallback(fromQ(fcn), h);
        return true;
      }
      deleteFigure(h);
      return false;
    }
    if (event->type() == QEvent::Resize)
      if (auto* w = qobject_cast<QWidget*>(watched)) layoutAxes(w);
    return QObject::eventFilter(watched, event);
  }
};

WindowFilter* windowFilter() {
  static QPointer<WindowFilter> f;
  if (!f) f = new WindowFilter(qApp);
  return f;
}

QString layoutPath(std::string_view name) {
  QString base = toQ(name);
  if (base.endsWith(".fig") || base.endsWith(".ui")) base = base.left(base.lastIndexOf('.'));
  const QString file = QFileInfo(base).fileName() + ".ui";
  for (const QString& candidate :
       {base + ".ui", QString("layouts/") + file, QString(":/layouts/") + file})
    if (QFileInfo::exists(candidate)) return candidate;
  raise("The layout file '" + std::string(name) + "' was not found (looked for " + fromQ(file) +
        " in layouts/ and among the built-in layouts).");
}

}  // namespace

// Connects the user actions of a control to its Callback property. The
// callback string is read when the action happens, so a module may set it
// after loading.
void wire(QObject* o) {
  if (o->property(kWiredProp).toBool()) return;
  o->setProperty(kWiredProp, true);
  auto fire = [o] { runCallback(handleOf(o)); };
  if (auto* cb = qobject_cast<QComboBox*>(o)) {
    QObject::connect(cb, &QComboBox::activated, cb, [fire](int) { fire(); });
  } else if (auto* le = qobject_cast<QLineEdit*>(o)) {
    // Qt ends an edit on Enter and on every focus change, typed or not; the
    // callback runs only for text the user changed, so tabbing through a
    // field never re-validates (and never clamps) a value nobody edited.
    // Text set by the program clears the flag (QLineEdit::setText).
    QObject::connect(le, &QLineEdit::editingFinished, le, [le, fire] {
      if (!le->isModified()) return;
      le->setModified(false);
      fire();
    });
  } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    QObject::connect(b, &QAbstractButton::clicked, b, [fire](bool) { fire(); });
  } else if (auto* s = qobject_cast<QAbstractSlider*>(o)) {
    // Qt announces a user's step, page or drag (actionTriggered) before it
    // stores the new value, so the callback waits for the value change that
    // follows: it then reads the new Value, and runs once per change. An
    // action that does not move the bar (a step past its end) runs nothing.
    // Values set by the program do not run the callback.
    auto pending = std::make_shared<bool>(false);
    QObject::connect(s, &QAbstractSlider::actionTriggered, s,
                     [s, pending](int) { *pending = s->sliderPosition() != s->value(); });
    QObject::connect(s, &QAbstractSlider::valueChanged, s, [fire, pending](int) {
      if (!*pending) return;
      *pending = false;
      fire();
    });
  } else if (auto* a = qobject_cast<QAction*>(o)) {
    if (!a->menu()) QObject::connect(a, &QAction::triggered, a, [fire](bool) { fire(); });
  }
}

bool tagged(QObject* o) {
  const QString name = o->objectName();
  return !name.isEmpty() && !name.startsWith("qt_") &&
         (qobject_cast<QWidget*>(o) != nullptr || qobject_cast<QAction*>(o) != nullptr);
}

void adoptFigure(QWidget* root) {
  root->setAttribute(Qt::WA_DeleteOnClose, false);
  root->setProperty(kFigureProp, true);
  root->installEventFilter(windowFilter());
  handleOf(root);
  for (QObject* o : root->findChildren<QObject*>()) {
    if (!tagged(o)) continue;
    handleOf(o);
    wire(o);
  }
}

Handle openLayout(std::string_view name, bool reuse) {
  ensureApplication();
  const QString path = layoutPath(name);
  if (reuse) {
    for (auto& [h, ptr] : reg().objects)
      if (ptr && isFigure(ptr) && ptr->property(kLayoutProp).toString() == path) return h;
  }
  QFile file(path);
  if (!file.open(QFile::ReadOnly))
    raise("The layout file '" + fromQ(path) + "' could not be opened.");
  QUiLoader loader;
  QWidget* root = loader.load(&file);
  if (!root)
    raise("The layout file '" + fromQ(path) +
          "' could not be read: " + fromQ(loader.errorString()));
  root->setProperty(kLayoutProp, path);
  if (root->objectName().isEmpty()) root->setObjectName(QFileInfo(path).baseName());
  adoptFigure(root);
  return handleOf(root);
}

Value guihandles(Handle handle) {
  QObject* root = objectOf(figureOf(handle));
  if (!root) raise("guihandles needs a handle of a window or of an object inside one.");
  Value rec = Value::record();
  if (!root->objectName().isEmpty())
    rec.setField(fromQ(root->objectName()), handleOf(root).toValue());
  for (QObject* o : root->findChildren<QObject*>()) {
    if (!tagged(o)) continue;
    wire(o);
    const std::string tag = fromQ(o->objectName());
    if (!rec.hasField(tag)) rec.setField(tag, handleOf(o).toValue());
  }
  return rec;
}

Value guidata(Handle handle) {
  const Handle fig = figureOf(handle);
  if (fig.isRoot()) raise("guidata needs a handle of a window or of an object inside one.");
  auto it = reg().appData.find(fig.id());
  return it == reg().appData.end() ? Value::empty() : it->second;
}

void setGuidata(Handle handle, const Value& data) {
  const Handle fig = figureOf(handle);
  if (fig.isRoot()) raise("guidata needs a handle of a window or of an object inside one.");
  reg().appData[fig.id()] = data;
}

Handle findFigure(std::string_view tag) {
  for (auto& [h, ptr] : reg().objects)
    if (ptr && isFigure(ptr) && ptr->objectName() == toQ(tag)) return h;
  return {};
}

void deleteFigure(Handle handle) {
  QObject* o = objectOf(handle);
  if (!o) return;
  uiresume(handle);
  std::vector<double> gone;
  for (auto& [h, ptr] : reg().objects)
    for (QObject* p = ptr.data(); p; p = p->parent())
      if (p == o) {
        gone.push_back(h);
        break;
      }
  for (double h : gone) forget(h);
  if (auto* w = qobject_cast<QWidget*>(o)) w->hide();
  o->deleteLater();  // the window may be deleted from inside one of its callbacks
}

}  // namespace dot11a::gfx
