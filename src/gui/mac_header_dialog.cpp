// The MAC header dialog, module dot11_MACconfig: one check box (sent or not)
// and one hexadecimal text box per header field, edited on a working copy of
// the header record (the shared global "MACheader") that the dialog returns
// with the answer "OK" or "Cancel".
//
// Called with the dialog's window handle (and optionally the record to edit)
// it shows the window and waits; called with a text it runs that local
// operation, the way the layout's callbacks reach it.
#include <QDialog>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/local_ops.hpp"

namespace dot11a {

namespace {

using namespace gfx;

// The record the dialog edits is the shared global "MACheader", so that a host
// program sees the edits as they are made. Every opening replaces it; until
// the first it holds the start values.
Value& working() {
  Value& header = global("MACheader");
  if (header.isAbsent() || header.isEmpty()) header = defaultMACheader();
  return header;
}

struct FieldText {
  std::string_view id;
  std::string_view name;  // as the user reads it in messages
  std::string_view chkTip;
};

// In the order they are sent, which is also the order on the screen.
constexpr std::array<FieldText, 7> kFields = {{
    {"FrameCntrl", "Frame Control", "Frame Control Field.\nAlways active"},
    {"DurationID", "Duration/ID", "Duration/ID Field.\nAlways active."},
    {"Address1", "Address 1", "Includes/excludes the\nAddress 1 Field."},
    {"Address2", "Address 2", "Includes/excludes the\nAddress 2 Field."},
    {"Address3", "Address 3", "Includes/excludes the\nAddress 3 Field."},
    {"SeqCntrl", "Sequence Control", "Includes/excludes the\nSequence Control Field."},
    {"Address4", "Address 4", "Includes/excludes the\nAddress 4 Field."},
}};

const FieldText& describe(std::string_view id) {
  for (const FieldText& f : kFields)
    if (f.id == id) return f;
  macFieldSize(id);  // raises the model's error for an unknown name
  raise("Unknown MAC header field: " + std::string(id));
}

// Frame Control and Duration/ID are in every frame: their check boxes can
// switch them on (a record stored without them) but never off.
bool alwaysActive(std::string_view id) {
  return id == "FrameCntrl" || id == "DurationID";
}

double largest(std::string_view id) {
  return std::ldexp(1.0, 8 * macFieldSize(id)) - 1;
}

bool isAddress(std::string_view id) {
  return id.starts_with("Address");
}

std::string hexOf(std::string_view id, double contents) {
  return hexString(contents, macFieldSize(id));
}

double ctl(const Value& handles, std::string_view tag) {
  return handleIn(handles, tag);
}

double figureOfControl(Call& c) {
  return figureOf(handleFrom(c.in(0, "hObject"), "dot11_MACconfig"));
}

// The answer lives in the window's handle table, beside the controls.
void storeAnswer(double fig, std::string_view answer) {
  Value data = guidata(fig);
  if (!data.isRecord()) data = guihandles(fig);
  data.setField("answer", Value(std::string(answer)));
  setGuidata(fig, data);
}

// A refused entry committed with Enter must not close the dialog in the same
// key press: the user would never see why the field changed back. The mark
// lasts until the events of that key press are done.
bool& refusalPending() {
  static bool pending = false;
  return pending;
}
void markRefusal() {
  refusalPending() = true;
  QTimer::singleShot(0, [] { refusalPending() = false; });
}

// A record to edit in the dialog's own layout: each field's value and flag
// taken over (a missing field keeps its start values), the size fixed by the
// field's name and the bit stream computed afresh, so what is shown is what OK
// returns.
Value headerFrom(const Value& given) {
  if (!given.isRecord())
    raise("The MAC header to edit must be a record of the seven header fields, not " +
          given.describe() + ".");
  Value header = defaultMACheader();
  for (std::string_view id : kMacFieldsRecordOrder) {
    if (!given.hasField(id) || !given.field(id).isRecord()) continue;
    const Value& f = given.field(id);
    const Value& contents = f.hasField("Contents") ? f.field("Contents") : Value::empty();
    if (contents.isNumeric() && !contents.isEmpty()) setMacField(header, id, contents.real(0));
    if (f.hasField("Active")) setMacFieldActive(header, id, f.field("Active").truthy());
  }
  recalcBitStream(header);
  return header;
}

// ---- model operations on the working record ----------------------------------------

void defaultMACheaderOp(Call&) {
  working() = defaultMACheader();
}

void recalcBitStreamOp(Call&) {
  recalcBitStream(working());
}

void recalcBitFieldOp(Call& c) {
  c.outputNames({"bits"});
  const Value& id = c.in(0, "fieldId");
  if (!id.isText()) raise("recalcBitField needs the field name as a text.");
  c.out(0) = Value::bits(recalcBitField(working(), id.str()));
}

// ---- drawing ---------------------------------------------------------------------------

void showHeaderLength(const Value& handles) {
  if (!handles.isRecord() || !handles.hasField("txtHeaderLength")) return;
  const double bytes = static_cast<double>(working().field("BitStream").numel()) / 8;
  setString(ctl(handles, "txtHeaderLength"), "String", num2str(bytes));
}

void drawField(std::string_view id, const Value& handles) {
  const double txt = ctl(handles, "txt" + std::string(id));
  const double chk = ctl(handles, "chk" + std::string(id));
  const Value& f = working().field(id);
  const bool active = f.field("Active").truthy();
  setNumber(chk, "Value", active ? 1 : 0);
  setString(chk, "Enable", alwaysActive(id) && active ? "off" : "on");
  setString(txt, "Enable", active ? "on" : "off");
  setString(txt, "String", hexString(f.field("Contents").toScalar(), f.field("Size").toScalar()));
  // An address field is a number sent least significant octet first: the
  // octets as a receiver sees them stand beside it, in the usual notation.
  if (isAddress(id))
    setString(ctl(handles, "lblSize" + std::string(id)), "String",
              "hex, 6 bytes\non air " + onAirOctets(f.field("Contents").toScalar(), 6));
}

void redrawField(Call& c) {
  const Value& id = c.in(0, "fieldId");
  if (!id.isText()) raise("redrawField needs the field name as a text.");
  describe(id.str());
  drawField(id.str(), c.in(1, "handles"));
}

void redrawMACfields(Call& c) {
  const Value& handles = c.in(0, "handles");
  for (const FieldText& f : kFields) drawField(f.id, handles);
  showHeaderLength(handles);
}

// ---- set-up ----------------------------------------------------------------------------

void InitializeFigure(Call& c) {
  const Value& h = c.in(0, "handles");
  // Hexadecimal digits line up in a fixed-pitch font of the same size.
  for (const FieldText& f : kFields)
    if (QWidget* w = widgetOf(ctl(h, "txt" + std::string(f.id)))) {
      QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
      fixed.setPointSizeF(w->font().pointSizeF());
      w->setFont(fixed);
    }
  feval("resizeAllFonts", 0, {h});
  for (const FieldText& f : kFields) {
    const int size = macFieldSize(f.id);
    const std::string title = std::string(f.name) + " Field.";
    setString(ctl(h, "txt" + std::string(f.id)), "TooltipString",
              title + "\nLength: " + std::to_string(size) + " bytes\nHexadecimal representation.");
    setString(ctl(h, "chk" + std::string(f.id)), "TooltipString", std::string(f.chkTip));
  }
  // Escape (and any other rejection of the dialog) is the Cancel button.
  const double cancel = ctl(h, "pbCancel");
  auto* dialog = qobject_cast<QDialog*>(widgetOf(figureOf(cancel)));
  if (dialog && !dialog->property("dot11aCancelOnReject").toBool()) {
    dialog->setProperty("dot11aCancelOnReject", true);
    QObject::connect(dialog, &QDialog::rejected, dialog, [cancel] { runCallback(cancel); });
  }
}

// ---- callbacks -------------------------------------------------------------------------

void refuse(double fig, const Value& handles, std::string_view id, const std::string& why) {
  drawField(id, handles);
  showHeaderLength(handles);
  gui::tellUser(fig, why);
  markRefusal();
}

void Field_Callback(Call& c) {
  const double control = handleFrom(c.in(0, "hObject"), "Field_Callback");
  const Value& handles = c.in(2, "handles");
  const double fig = figureOf(control);
  const std::string tag = getString(control, "Tag");
  const std::string kind = tag.substr(0, 3), id = tag.size() > 3 ? tag.substr(3) : "";
  if (kind != "chk" && kind != "txt")
    raise("Field_Callback serves the header fields' check and text boxes, not '" + tag + "'.");
  const FieldText& field = describe(id);
  if (kind == "chk") {
    const bool on = getNumber(control, "Value") != 0;
    if (!on && alwaysActive(id))
      return refuse(fig, handles, id,
                    std::string(field.name) + " is part of every frame and stays included.");
    setMacFieldActive(working(), id, on);
    gui::clearUserMessage(fig);
  } else {
    const std::string typed = getString(control, "String");
    const double before = working().field(id).field("Contents").toScalar();
    std::optional<double> entry;
    const bool notation = isAddress(id) && typed.find_first_of(":-") != std::string::npos;
    try {
      // An address may also be written as its octets in transmission order.
      entry = notation ? macAddressFromText(typed) : parseHexText(typed);
      if (notation && !entry) raise("not an address");
    } catch (const Error&) {
      return refuse(fig, handles, id,
                    std::string(field.name) + ": \"" + typed +
                        (notation ? "\" is not an address of six octets (00:13:A2:FF:EE:01 or "
                                    "00-13-A2-FF-EE-01); it stays "
                                  : "\" is not a hexadecimal number (digits 0-9 and A-F); it "
                                    "stays ") +
                        hexOf(id, before) + ".");
    }
    setMacField(working(), id, entry ? *entry : std::nan(""));
    const double stored = working().field(id).field("Contents").toScalar();
    if (!entry)
      gui::tellUser(fig,
                    std::string(field.name) + ": an empty entry means the largest value, " +
                        hexOf(id, stored) + ".",
                    false, false);
    else if (*entry > largest(id))
      gui::tellUser(fig,
                    std::string(field.name) + " limited to " + hexOf(id, stored) + " (" +
                        std::to_string(macFieldSize(id)) + " bytes).",
                    false, false);
    else
      gui::clearUserMessage(fig);
  }
  drawField(id, handles);
  recalcBitStream(working());
  showHeaderLength(handles);
}

void pbOK_Callback(Call& c) {
  if (refusalPending()) return;
  const double fig = figureOfControl(c);
  storeAnswer(fig, "OK");
  uiresume(fig);
}

void pbCancel_Callback(Call& c) {
  const double fig = figureOfControl(c);
  storeAnswer(fig, "Cancel");
  uiresume(fig);
}

const LocalTable kTable =
    gfx::localOperations("dot11_MACconfig", {{"InitializeFigure", 1, 0, InitializeFigure},
                                             {"redrawMACfields", 1, 0, redrawMACfields},
                                             {"redrawField", 2, 0, redrawField},
                                             {"defaultMACheader", 0, 0, defaultMACheaderOp},
                                             {"recalcBitStream", 0, 0, recalcBitStreamOp},
                                             {"recalcBitField", 1, 1, recalcBitFieldOp},
                                             gfx::callback("Field_Callback", Field_Callback),
                                             gfx::callback("pbOK_Callback", pbOK_Callback),
                                             gfx::callback("pbCancel_Callback", pbCancel_Callback),
                                             gfx::callback("close_Callback", pbCancel_Callback)});

// Shows the dialog over the main window and waits for OK, Cancel or the close
// box; the working record comes back whatever the answer.
void openDialog(Call& c) {
  const double fig = handleFrom(c.in(0, "fig"), "dot11_MACconfig");
  if (fig == 0 || !isHandle(fig) || figureOf(fig) != fig)
    raise("dot11_MACconfig needs the handle of the MAC header window.");
  Value handles = guidata(fig);
  if (!handles.isRecord() || !handles.hasField("pbOK")) handles = guihandles(fig);
  working() = c.nargin() == 2 ? headerFrom(c.in(1, "MACheader")) : defaultMACheader();
  storeAnswer(fig, "Cancel");
  gui::clearUserMessage(fig);
  refusalPending() = false;
  feval("redrawMACfields", 0, {handles});
  const std::string answer = gui::showOverMainAndWait(fig, ctl(handles, "txtFrameCntrl"));
  c.out(0) = Value(answer);
  if (c.nargout() > 1) c.out(1) = working();
}

}  // namespace

namespace op {

void dot11_MACconfig(Call& c) {
  c.outputNames({"answer", "retMACheader"});
  if (c.nargin() > 0 && c.in(0, "action").isText()) {
    dispatchModule(kTable, c);
    return;
  }
  ModuleScope scope(&kTable);
  openDialog(c);
}

}  // namespace op

}  // namespace dot11a
