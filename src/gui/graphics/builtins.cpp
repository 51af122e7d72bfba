// Operations of the graphics layer: handle lookup, window data, layouts,
// window placement, menus, pictures, the about box and modal waits.
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>
#include <string>

#include "dot11a/call.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::op {

using namespace dot11a::gfx;

void guihandles(Call& c) {
  c.outputNames({"handles"});
  const double h = c.has(0) ? handleFrom(c.in(0, "h"), "guihandles") : gcbf();
  c.out(0) = gfx::guihandles(h);
}

// guidata(h) reads a window's data; guidata(h, data) stores it.
void guidata(Call& c) {
  c.outputNames({"data"});
  const double h = handleFrom(c.in(0, "h"), "guidata");
  if (c.has(1)) {
    setGuidata(h, c.in(1, "data"));
    if (c.nargout() > 0) c.out(0) = c.in(1, "data");
  } else {
    c.out(0) = gfx::guidata(h);
  }
}

// openfig(filename, policy): "reuse" brings back a window already open from
// the same layout, "new" (or no policy) always opens another.
void openfig(Call& c) {
  c.outputNames({"figOut"});
  const Value& name = c.in(0, "filename");
  if (!name.isText()) raise("openfig needs the layout file name as a text.");
  bool reuse = false;
  if (c.has(1)) {
    const Value& policy = c.in(1, "policy");
    if (!policy.isText() || (policy.str() != "reuse" && policy.str() != "new"))
      raise("The openfig policy must be 'reuse' or 'new'.");
    reuse = policy.str() == "reuse";
  }
  c.out(0) = openLayout(name.str(), reuse).toValue();
}

// movegui(fig, where): 'center', 'north', 'south', 'east', 'west', 'northeast',
// 'northwest', 'southeast', 'southwest', 'onscreen' (the default: only as far
// as needed to bring the whole window onto the screen), or [left bottom] where
// negative values count from the right and top edges.
void movegui(Call& c) {
  const double fig = c.has(0) ? handleFrom(c.in(0, "fig"), "movegui") : gcbf();
  QWidget* w = widgetOf(fig);
  if (!w) raise("movegui needs the handle of an open window.");
  const Value pos = get(fig, "Position");
  const Value screen = screenSize();
  const double sw = screen.real(2), sh = screen.real(3);
  double left = pos.real(0), bottom = pos.real(1);
  const double width = pos.real(2), height = pos.real(3);
  const Value where = c.inOr(1, Value("onscreen"));
  if (where.isText()) {
    const std::string s = where.str();
    const double cx = (sw - width) / 2, cy = (sh - height) / 2;
    if (s == "center") {
      left = cx;
      bottom = cy;
    } else if (s == "north") {
      left = cx;
      bottom = sh - height;
    } else if (s == "south") {
      left = cx;
      bottom = 0;
    } else if (s == "east") {
      left = sw - width;
      bottom = cy;
    } else if (s == "west") {
      left = 0;
      bottom = cy;
    } else if (s == "northeast") {
      left = sw - width;
      bottom = sh - height;
    } else if (s == "northwest") {
      left = 0;
      bottom = sh - height;
    } else if (s == "southeast") {
      left = sw - width;
      bottom = 0;
    } else if (s == "southwest") {
      left = 0;
      bottom = 0;
    } else if (s == "onscreen") {
      left = std::clamp(left, 0.0, std::max(0.0, sw - width));
      bottom = std::clamp(bottom, 0.0, std::max(0.0, sh - height));
    } else {
      raise("movegui does not know the position '" + s + "'.");
    }
  } else {
    if (where.numel() != 2 || !where.isNumeric())
      raise("movegui takes a position name or [left bottom].");
    const double x = where.real(0), y = where.real(1);
    left = x >= 0 ? x : sw - width + x;
    bottom = y >= 0 ? y : sh - height + y;
  }
  set(fig, "Position", Value::row({left, bottom, width, height}));
}

// The number at the end of a tag ("chkCarrier17" gives 17); the tag may be
// given as text or as the handle of a tagged object. [] when there is none.
void getTagIndex(Call& c) {
  c.outputNames({"index"});
  const Value& in = c.in(0, "tag");
  const std::string tag = in.isText() ? in.str() : getString(handleFrom(in, "getTagIndex"), "Tag");
  std::size_t start = tag.size();
  while (start > 0 && std::isdigit(static_cast<unsigned char>(tag[start - 1]))) --start;
  if (start == tag.size() || tag.size() - start > 9) {
    c.out(0) = Value::empty();
    return;
  }
  c.out(0) = std::stod(tag.substr(start));
}

// ---- pictures ---------------------------------------------------------------------

namespace {
Value readImageValue(const Value& name) {
  if (!name.isText()) raise("The picture file name must be a text.");
  return imageToValue(readPicture(name.str()));
}
}  // namespace

// imread(filename): the picture as a record of R, G, B planes (0..255); the
// colour map and alpha outputs are empty (pictures are read as true colour).
void imread(Call& c) {
  c.outputNames({"A", "map", "alpha"});
  c.out(0) = readImageValue(c.in(0, "filename"));
  c.out(1) = Value::empty();
  c.out(2) = Value::empty();
}

// readjpg(filename, ...): the JPEG reader behind imread.
void readjpg(Call& c) {
  c.outputNames({"A", "map"});
  c.out(0) = readImageValue(c.in(0, "filename"));
  c.out(1) = Value::empty();
}

// rjpgc(filename): the JPEG decoder.
void rjpgc(Call& c) {
  c.out(0) = readImageValue(c.in(0, "filename"));
}

// ---- menus --------------------------------------------------------------------------

// KS_AddMenu(menuTable): builds a window's menu bar from a table. The table is
// a record with `Figure` (the window's handle) and `Items`, a list of records in
// menu order, each with `Parent` (tag of the menu it belongs to; empty for the
// menu bar), `Label`, `Tag`, and optionally `Callback`, `Separator`, `Visible`,
// `Enable` and `Checked` ("on"/"off") and `Accelerator` ("Ctrl+S"). Returns the record of the
// created menu handles by tag.
void KS_AddMenu(Call& c) {
  c.outputNames({"menuHandles"});
  const Value& table = c.in(0, "menuTable");
  if (!table.isRecord() || !table.hasField("Figure") || !table.hasField("Items"))
    raise("KS_AddMenu needs a record with the window (Figure) and its menu Items.");
  const double fig = handleFrom(table.field("Figure"), "KS_AddMenu");
  const Value& items = table.field("Items");
  if (!items.isCell()) raise("The menu Items must be a list of records.");
  auto text = [](const Value& item, std::string_view name) -> std::string {
    if (!item.hasField(name)) return "";
    const Value& v = item.field(name);
    if (v.isEmpty()) return "";
    if (!v.isText()) raise("The menu entry's " + std::string(name) + " must be a text.");
    return v.str();
  };
  Value made = Value::record();
  for (std::size_t i = 0; i < items.numel(); ++i) {
    const Value& item = items.cellAt(i);
    if (!item.isRecord()) raise("Every menu entry must be a record.");
    const std::string tag = text(item, "Tag");
    const std::string parent = text(item, "Parent");
    if (tag.empty()) raise("Menu entry " + std::to_string(i + 1) + " has no Tag.");
    bool hasChildren = false;
    for (std::size_t j = i + 1; j < items.numel() && !hasChildren; ++j)
      hasChildren = items.cellAt(j).isRecord() && text(items.cellAt(j), "Parent") == tag;
    double h = 0;
    if (parent.empty()) {
      h = addMenu(fig, 0, text(item, "Label"), tag, "");
    } else {
      if (!made.hasField(parent))
        raise("The menu entry '" + tag + "' names the parent '" + parent +
              "', which comes later or is missing.");
      const double ph = made.field(parent).toScalar();
      h = hasChildren ? addSubMenu(ph, text(item, "Label"), tag)
                      : addMenu(fig, ph, text(item, "Label"), tag, text(item, "Callback"));
      if (text(item, "Separator") == "on") addSeparatorBefore(h);
    }
    for (const char* prop : {"Visible", "Enable", "Checked"})
      if (!text(item, prop).empty()) setString(h, prop, text(item, prop));
    // A keyboard shortcut in Qt's portable form ("Ctrl+Shift+S"), shown beside
    // the item and active while the window is.
    if (const std::string keys = text(item, "Accelerator"); !keys.empty()) {
      const QKeySequence sequence(toQ(keys), QKeySequence::PortableText);
      if (sequence.isEmpty()) raise("The menu entry '" + tag + "' has no valid Accelerator.");
      if (auto* action = qobject_cast<QAction*>(objectOf(h))) action->setShortcut(sequence);
    }
    made.setField(tag, h);
  }
  c.out(0) = made;
}

// KS_About(parent, appInfo): the about box with the application's name,
// revision, date and release notes beside the splash picture. One box is kept
// and brought to the front when asked again.
void KS_About(Call& c) {
  ensureApplication();
  const Value info = c.inOr(1, Value::record());
  auto field = [&](std::string_view name) -> QString {
    if (!info.isRecord() || !info.hasField(name) || !info.field(name).isText()) return {};
    return toQ(info.field(name).str());
  };
  static QPointer<QDialog> box;
  if (!box) {
    box = new QDialog(c.has(0) ? widgetOf(handleFrom(c.in(0, "parent"), "KS_About")) : nullptr);
    box->setObjectName("KS_About");
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto* column = new QVBoxLayout(box);
    auto* row = new QHBoxLayout;
    column->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, box);
    buttons->setObjectName("pbAboutClose");
    QObject::connect(buttons, &QDialogButtonBox::rejected, box.data(), &QDialog::close);
    column->addWidget(buttons);
    auto* picture = new QLabel(box);
    try {
      picture->setPixmap(QPixmap::fromImage(readPicture("splash.jpg"))
                             .scaledToWidth(260, Qt::SmoothTransformation));
    } catch (const Error&) {
      // The box is still useful without its picture.
    }
    row->addWidget(picture);
    auto* text = new QLabel(box);
    text->setObjectName("txtAbout");
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(text);
  }
  QStringList lines;
  lines << "<b>" + field("Name") + "</b>";
  lines << "Revision " + field("Rev") + (field("Date").isEmpty() ? "" : ", " + field("Date"));
  lines << "";
  for (const char* n : {"Notes", "NotesLine2", "NotesLine3", "NotesLine4", "NotesLine5",
                        "NotesLine6", "NotesLine7", "Notice"})
    if (!field(n).isEmpty()) lines << field(n).toHtmlEscaped();
  box->findChild<QLabel*>("txtAbout")->setText(lines.join("<br>"));
  box->setWindowTitle("About " + field("Name"));
  box->show();
  box->raise();
}

}  // namespace dot11a::op

// Built-ins beyond the operation table: modal waits and the callback object.
namespace dot11a::gfx {
namespace {
void uiwaitBuiltin(Call& c) {
  uiwait(c.has(0) ? handleFrom(c.in(0, "fig"), "uiwait") : gcbf());
}
void uiresumeBuiltin(Call& c) {
  uiresume(c.has(0) ? handleFrom(c.in(0, "fig"), "uiresume") : gcbf());
}
void gcboBuiltin(Call& c) {
  c.out(0) = gcbo().toValue();
}
void gcbfBuiltin(Call& c) {
  c.out(0) = gcbf().toValue();
}
const bool kRegistered = [] {
  registerBuiltin({"uiwait", 1, 0, 1, "uiwait", uiwaitBuiltin});
  registerBuiltin({"uiresume", 1, 0, 1, "uiresume", uiresumeBuiltin});
  registerBuiltin({"gcbo", 0, 1, 1, "gcbo", gcboBuiltin});
  registerBuiltin({"gcbf", 0, 1, 1, "gcbf", gcbfBuiltin});
  return true;
}();
}  // namespace
}  // namespace dot11a::gfx
