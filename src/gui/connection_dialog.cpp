// The connection dialog, module KS_SigGen: the user chooses how the signal
// generator is reached (GPIB board and addresses, RS-232 port, baud rate and
// handshake, or a TCP/IP address), may check the connection, and gets the
// connection configuration record back on OK.
//
// The layout holds the controls of all three interfaces in one grid; each
// control of an interface carries the dynamic property ControlSet naming its
// set ("configGPIB", "configRS232" or "configTCPIP"). The sets share the grid's
// cells and keep their room while hidden, so switching the interface never
// resizes the window or moves the labels.
#include <QDialog>
#include <QLabel>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/module.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/units.hpp"
#include "gui/connection_dialog.hpp"
#include "gui/feedback.hpp"
#include "gui/graphics/graphics.hpp"
#include "gui/graphics/local_ops.hpp"

namespace dot11a::connection {

using namespace gfx;

namespace {

constexpr std::string_view kLayout = "KS_SigGen";
// The interface sets, in the order they are added to the dialog.
constexpr std::string_view kSets[] = {"configTCPIP", "configGPIB", "configRS232"};
constexpr const char* kControlSetProp = "ControlSet";
constexpr const char* kCrLf = "\r\n";
// Marks a status line that holds a remark about the typed address.
constexpr const char* kAddressRemarkProp = "dot11a_addressRemark";

std::string lowerText(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return out;
}

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  const auto last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

double ctl(const Value& handles, std::string_view tag) {
  return handleIn(handles, tag);
}

double number(const Value& v, double fallback) {
  return v.isNumeric() && !v.isEmpty() ? v.toScalar() : fallback;
}

std::string text(const Value& v, std::string_view fallback) {
  return v.isText() ? v.str() : std::string(fallback);
}

// A field of a sub-record, or `fallback` (absent) when either is missing.
const Value& subField(const Value& config, std::string_view sub, std::string_view name) {
  static const Value kAbsent;
  if (!config.isRecord() || !config.hasField(sub)) return kAbsent;
  const Value& rec = config.field(sub);
  if (!rec.isRecord() || !rec.hasField(name)) return kAbsent;
  return rec.field(name);
}

void storeHandles(const Value& handles) {
  setGuidata(dialogOf(handles), handles);
}

// The entries of a pop-up list.
std::vector<std::string> entries(double control) {
  const Value list = get(control, "String");
  std::vector<std::string> out;
  if (list.isCell()) {
    for (const Value& item : list.cells()) out.push_back(item.isText() ? item.str() : "");
  } else if (list.isText() && !list.str().empty()) {
    out.push_back(list.str());
  }
  return out;
}

// The position (from 1) of the first entry equal to `string` without regard to
// case, "TCPIP" standing for "TCP/IP"; 1 when none matches.
double stringToIndex(double control, std::string string) {
  if (sameText(string, "TCPIP")) string = "TCP/IP";
  const std::vector<std::string> list = entries(control);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (sameText(list[i], string)) return static_cast<double>(i + 1);
  return 1;
}

// The entry at a position, "TCP/IP" read back as "TCPIP"; a position outside
// the list gives the first entry as it stands.
std::string indexToString(double control, double index) {
  const std::vector<std::string> list = entries(control);
  if (list.empty()) return "";
  if (!(index >= 1 && index <= static_cast<double>(list.size())) || index != std::trunc(index))
    return list.front();
  const std::string& entry = list[static_cast<std::size_t>(index) - 1];
  return sameText(entry, "TCP/IP") ? "TCPIP" : entry;
}

double position(const Value& handles, std::string_view tag) {
  return getNumber(ctl(handles, tag), "Value");
}

std::string chosenConnection(const Value& handles) {
  const double list = ctl(handles, "pmConnection");
  return indexToString(list, getNumber(list, "Value"));
}

// The baud rates the list shows, as numbers (entries that are not numbers are
// skipped).
std::vector<double> listedBaudRates(const Value& handles) {
  std::vector<double> rates;
  for (const std::string& e : entries(ctl(handles, "pmBaudRate")))
    if (auto v = parseDecimal(e)) rates.push_back(*v);
  return rates;
}

std::vector<std::string> handshakeEntries(const Value& handles) {
  if (!handles.isRecord() || !handles.hasField("pmHandShake")) return {};
  return entries(ctl(handles, "pmHandShake"));
}

// ---- the status line ------------------------------------------------------------------

// ---- local operations -------------------------------------------------------------------

void InitConfigOp(Call& c) {
  c.outputNames({"config_out"});
  const Value in = c.inOr(0, Value());
  c.out(0) = initConfig(in.isEmpty() ? Value() : in);
}

Value restructure(const Value& oldConfig, const Value& handles) {
  const std::vector<std::string> list = handshakeEntries(handles);
  return reStructureConfig(oldConfig, list);
}

void reStructureConfigOp(Call& c) {
  c.outputNames({"newConfig"});
  c.out(0) = restructure(c.in(0, "oldConfig"), c.inOr(1, Value()));
}

// Offers the interfaces of the platform: B has RS-232 and GPIB, C has GPIB and
// TCP/IP; without a platform the layout's list stays.
Value updateConnectionSelections(Value handles) {
  const double model = handles.hasField("Model") ? number(handles.field("Model"), 0) : 0;
  const double list = ctl(handles, "pmConnection");
  if (model == 1)
    set(list, "String", Value::cellRow(std::vector<Value>{Value("RS232"), Value("GPIB")}));
  else if (model == 2)
    set(list, "String", Value::cellRow(std::vector<Value>{Value("GPIB"), Value("TCP/IP")}));
  return handles;
}

void UpdateConnectionSelections(Call& c) {
  c.outputNames({"handles"});
  c.out(0) = updateConnectionSelections(c.in(0, "handles"));
}

// Sets every control from the record; an error is shown in the status line and
// the dialog stays usable. Missing fields show their defaults.
void updateGuiObjects(Value handles, const Value& config) {
  try {
    if (!handles.hasField("Model")) handles.setField("Model", 0.0);
    const double model = number(handles.field("Model"), 0);
    const Value defaults = initConfig();
    auto field = [&](std::string_view sub, std::string_view name) -> const Value& {
      const Value& v = subField(config, sub, name);
      return v.isAbsent() ? subField(defaults, sub, name) : v;
    };
    std::string type = config.isRecord() && config.hasField("type")
                           ? text(config.field("type"), "GPIB")
                           : std::string("GPIB");
    if ((model == 1 && sameText(type, "TCPIP")) || (model == 2 && sameText(type, "RS232")))
      type = "GPIB";
    handles = updateConnectionSelections(handles);
    const double connection = ctl(handles, "pmConnection");
    setNumber(connection, "Value", stringToIndex(connection, type));
    setNumber(ctl(handles, "pmGpibBoard"), "Value", number(field("GPIB", "board"), 0) + 1);
    setNumber(ctl(handles, "pmPrimaryAddress"), "Value", number(field("GPIB", "primary"), 19) + 1);
    setNumber(ctl(handles, "pmSecondaryAddress"), "Value",
              number(field("GPIB", "secondary"), -1) + 2);
    setNumber(ctl(handles, "pmPortNumber"), "Value", number(field("RS232", "port"), 1));
    const double baud = ctl(handles, "pmBaudRate");
    setNumber(baud, "Value", stringToIndex(baud, num2str(number(field("RS232", "baudrate"), 0))));
    const double handshake = ctl(handles, "pmHandShake");
    setNumber(handshake, "Value",
              stringToIndex(handshake, text(field("RS232", "handshake"), "Xon/Xoff")));
    setString(ctl(handles, "editTCPIPAddress"), "String",
              text(field("TCPIP", "address"), "0.0.0.0"));
    handles.setField("handlesLastConnection", getNumber(connection, "Value"));
    storeHandles(handles);
  } catch (const std::exception& e) {
    if (handles.isRecord() && handles.hasField("lblStatus")) showStatus(handles, e.what(), true);
  }
}

void UpdateGuiObjects(Call& c) {
  updateGuiObjects(c.in(0, "handles"), c.in(1, "config"));
}

void UpdateConfig(Call& c) {
  c.outputNames({"currentConfig"});
  c.out(0) = updateConfig(c.in(0, "handles"));
}

void ConvertStringToIndex(Call& c) {
  c.outputNames({"index"});
  const double control = handleFrom(c.in(0, "controlHandle"), "ConvertStringToIndex");
  c.out(0) = stringToIndex(control, text(c.in(1, "string"), ""));
}

void ConvertIndexToString(Call& c) {
  c.outputNames({"string"});
  const double control = handleFrom(c.in(0, "controlHandle"), "ConvertIndexToString");
  c.out(0) = Value(indexToString(control, number(c.in(1, "index"), 0)));
}

// The instrument settings that go with the chosen handshake.
void updateHandshakeTooltip(const Value& handles) {
  const double position = getNumber(ctl(handles, "pmHandShake"), "Value");
  std::string receive = "  Receive Pace  = None";
  std::string hardware = "  RTS/CTS       = Off";
  if (position == 2) {
    receive = "  Receive Pace  = Xon";
  } else if (position == 3) {
    hardware = "  RTS/CTS       = RTS/CTS Pacing";
  }
  const std::string tip = std::string("Set the following Instrument Parameters") + kCrLf +
                          "  Transmit Pace = None" + kCrLf + receive + kCrLf + hardware;
  setString(ctl(handles, "pmHandShake"), "TooltipString", tip);
  setString(ctl(handles, "lblHandShake"), "TooltipString", tip);
}

void UpdateRS232HandShakingToolTip(Call& c) {
  updateHandshakeTooltip(c.in(0, "handles"));
}

std::vector<double> setHandles(const Value& handles, std::string_view field) {
  if (!handles.hasField(field)) return {};
  return handles.field(field).toDoubles();
}

// Shows the chosen interface's controls: the other sets are hidden first and
// the chosen one shown after, so a control two sets share stays visible.
void showControls(const Value& handles) {
  const std::string type = chosenConnection(handles);
  std::vector<std::string_view> hide;
  std::string_view show;
  if (sameText(type, "RS232")) {
    hide = {"handlesTCPIP", "handlesGPIB"};
    show = "handlesRS232";
  } else if (sameText(type, "GPIB")) {
    hide = {"handlesTCPIP", "handlesRS232"};
    show = "handlesGPIB";
  } else if (sameText(type, "TCPIP")) {
    hide = {"handlesRS232", "handlesGPIB"};
    show = "handlesTCPIP";
  } else {
    return;
  }
  for (std::string_view name : hide)
    for (double h : setHandles(handles, name))
      if (isHandle(h)) setString(h, "Visible", "off");
  for (double h : setHandles(handles, show))
    if (isHandle(h)) setString(h, "Visible", "on");
}

void showControlsOp(Call& c) {
  showControls(c.in(0, "handles"));
}

// The controls of an interface set, as a row of handles. The sets live in the
// dialog's own layout (see the top of this file), so adding a set finds its
// controls there; each keeps its room in the grid while hidden.
Value addControls(double fig, std::string_view setName) {
  QWidget* window = widgetOf(fig);
  if (!window) raise("addControls needs the handle of the connection dialog.");
  std::vector<double> found;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->property(kControlSetProp).toString() != toQ(setName)) continue;
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    found.push_back(handleOf(w).toValue().toScalar());
  }
  if (found.empty())
    raise("The connection dialog's layout has no controls of the set '" + std::string(setName) +
          "'.");
  return Value::row(found);
}

void addControlsOp(Call& c) {
  c.outputNames({"controls"});
  const Value& layout = c.in(1, "layoutName");
  if (!layout.isText()) raise("addControls needs the name of a control set as a text.");
  c.out(0) = addControls(handleFrom(c.in(0, "fig"), "addControls"), layout.str());
}

// The interface choices take effect when they are read back (on OK or on the
// connection check), so a change of address, port or rate does nothing here.
void UpdateIoAddress(Call&) {}

void onlyUpdateIoAddress(Call&) {
  feval("UpdateIoAddress", 0, {});
}

// Leaving the address field with something that is not an address says so at
// once in the status line (the address is still what OK returns); a corrected
// address takes that remark away again.
void editTCPIPAddress_Callback(Call& c) {
  feval("UpdateIoAddress", 0, {});
  const Value& handles = c.in(2, "handles");
  QWidget* label = widgetOf(ctl(handles, "lblStatus"));
  const auto problem = tcpipAddressProblem(getString(ctl(handles, "editTCPIPAddress"), "String"));
  if (problem) {
    showStatus(handles, *problem, true);
    if (label) label->setProperty(kAddressRemarkProp, true);
  } else if (label && label->property(kAddressRemarkProp).toBool()) {
    showStatus(handles, "", false);
  }
}

void pmConnection_Callback(Call& c) {
  Value handles = c.in(2, "handles");
  handles.setField("handlesLastConnection", position(handles, "pmConnection"));
  storeHandles(handles);
  showControls(handles);
  // A result of Check Hardware belongs to the interface it was for.
  dropCheckAnswer();
  showStatus(handles, "", false);
}

void pmHandShake_Callback(Call& c) {
  updateHandshakeTooltip(c.in(2, "handles"));
}

void answer(const Value& handlesIn, const char* response) {
  Value handles = handlesIn;
  handles.setField("answer", Value(response));
  storeHandles(handles);
  uiresume(dialogOf(handles));
}

// OK takes the dialog's choices; a time-out that is no time keeps the dialog
// open and says why, so no stuck-instrument limit is taken by accident.
void pbOK_Callback(Call& c) {
  const Value& handles = c.in(2, "handles");
  if (const TypedTimeout t = typedTimeout(handles); !t.problem.empty())
    return showStatus(handles, t.problem, true);
  answer(handles, "OK");
}

void pbCancel_Callback(Call& c) {
  answer(c.in(2, "handles"), "Cancel");
}

}  // namespace

bool sameText(std::string_view a, std::string_view b) {
  return lowerText(a) == lowerText(b);
}

// The dialog window of a handles record.
double dialogOf(const Value& handles) {
  if (handles.isRecord() && handles.hasField(kWindowTag)) return ctl(handles, kWindowTag);
  return gcbf();
}

// Shows a text in the status line; failures in the error colour.
void showStatus(const Value& handles, const std::string& message, bool failure) {
  const double label = ctl(handles, "lblStatus");
  setString(label, "String", message);
  if (auto* l = qobject_cast<QLabel*>(widgetOf(label))) {
    l->setStyleSheet(failure ? "QLabel { color: #b00020; }" : "");
    l->setProperty(kAddressRemarkProp, false);
  }
}

TypedTimeout typedTimeout(const Value& handles) {
  TypedTimeout out;
  if (!handles.isRecord() || !handles.hasField("editTimeout")) return out;
  const std::string typed = getString(ctl(handles, "editTimeout"), "String");
  const std::optional<Measure> m = parseMeasure(typed, Quantity::Time);
  if (m && m->value >= 0.1 && m->value <= 3600) {
    out.seconds = m->value;
    return out;
  }
  out.problem =
      "Time-out: \"" + typed + "\" is not a time from 0.1 s to 1 h (such as 10 s or 500 ms).";
  return out;
}

// "10 s", "500 ms": a time-out as the field shows it.
std::string timeoutText(double seconds) {
  return seconds < 1 ? formatG(seconds * 1000, 6) + " ms" : formatG(seconds, 6) + " s";
}

// A fresh record from what the controls show.
Value updateConfig(const Value& handles) {
  Value config = Value::record();
  config.setField("type", chosenConnection(handles));
  Value gpib = Value::record();
  gpib.setField("board", position(handles, "pmGpibBoard") - 1);
  gpib.setField("primary", position(handles, "pmPrimaryAddress") - 1);
  gpib.setField("secondary", position(handles, "pmSecondaryAddress") - 2);
  config.setField("GPIB", gpib);
  Value rs = Value::record();
  rs.setField("port", position(handles, "pmPortNumber"));
  const double baudList = ctl(handles, "pmBaudRate");
  const auto baud = parseDecimal(indexToString(baudList, getNumber(baudList, "Value")));
  rs.setField("baudrate", baud ? *baud : 9600.0);
  const double handshake = ctl(handles, "pmHandShake");
  rs.setField("handshake", indexToString(handshake, getNumber(handshake, "Value")));
  config.setField("RS232", rs);
  Value tcp = Value::record();
  // Blanks around a pasted address mean nothing to the instrument.
  tcp.setField("address", trimmed(getString(ctl(handles, "editTCPIPAddress"), "String")));
  tcp.setField("board", 0.0);
  config.setField("TCPIP", tcp);
  return config;
}

namespace {

const LocalTable kTable = gfx::localOperations(
    "KS_SigGen", {{"initConfig", 1, 1, InitConfigOp},
                  {"reStructureConfig", 2, 1, reStructureConfigOp},
                  {"UpdateGuiObjects", 2, 0, UpdateGuiObjects},
                  {"UpdateConnectionSelections", 2, 1, UpdateConnectionSelections},
                  {"UpdateConfig", 1, 1, UpdateConfig},
                  {"ConvertStringToIndex", 2, 1, ConvertStringToIndex},
                  {"ConvertIndexToString", 2, 1, ConvertIndexToString},
                  {"UpdateRS232HandShakingToolTip", 1, 0, UpdateRS232HandShakingToolTip},
                  {"showControls", 1, 0, showControlsOp},
                  {"EnableGuiObjects", 1, 0, showControlsOp},
                  {"addControls", 2, 1, addControlsOp},
                  {"UpdateIoAddress", kAny, 0, UpdateIoAddress},
                  gfx::callback("pmConnection_Callback", pmConnection_Callback),
                  gfx::callback("pmHandShake_Callback", pmHandShake_Callback),
                  gfx::callback("pbOK_Callback", pbOK_Callback),
                  gfx::callback("pbCancel_Callback", pbCancel_Callback),
                  gfx::callback("pbCheckHardware_Callback", pbCheckHardware_Callback),
                  gfx::callback("pmGpibBoard_Callback", onlyUpdateIoAddress),
                  gfx::callback("pmPrimaryAddress_Callback", onlyUpdateIoAddress),
                  gfx::callback("pmSecondaryAddress_Callback", onlyUpdateIoAddress),
                  gfx::callback("pmPortNumber_Callback", onlyUpdateIoAddress),
                  gfx::callback("pmBaudRate_Callback", onlyUpdateIoAddress),
                  gfx::callback("editTCPIPAddress_Callback", editTCPIPAddress_Callback)});

// Places the dialog over its parent: centred horizontally, top edges aligned,
// kept on the screen.
void placeOverParent(double fig, double parent) {
  set(fig, "Units", get(parent, "Units"));
  const Value p = get(parent, "Position");
  const Value w = get(fig, "Position");
  const double left = p.real(0) + p.real(2) / 2 - w.real(2) / 2;
  const double bottom = p.real(1) + p.real(3) - w.real(3);
  set(fig, "Position", Value::row({left, bottom, w.real(2), w.real(3)}));
  if (QWidget* window = widgetOf(fig)) {
    const QRect fitted = gui::fitRectInto(window->geometry(), gui::availableScreenArea());
    if (fitted != window->geometry()) window->setGeometry(fitted);
  }
}

// Escape (and anything else that rejects the dialog) is the Cancel button.
void cancelOnReject(double fig, const Value& handles) {
  auto* dialog = qobject_cast<QDialog*>(widgetOf(fig));
  if (!dialog || dialog->property("dot11a_cancelOnReject").toBool()) return;
  dialog->setProperty("dot11a_cancelOnReject", true);
  const double cancel = ctl(handles, "pbCancel");
  QObject::connect(dialog, &QDialog::rejected, dialog, [cancel] { runCallback(cancel); });
}

// KS_SigGen(parent, config, platform): opens the dialog, waits for OK, Cancel
// or the close box, and returns the answer with the configuration (edited on
// OK, otherwise as it was opened: converted from the older layout and limited).
void openDialog(Call& c) {
  c.outputNames({"response", "retConfig"});
  ModuleScope scope(&kTable);
  const double fig = openLayout(kLayout, true);
  std::vector<Value> sets;
  for (std::string_view name : kSets) sets.push_back(addControls(fig, name));
  setString(fig, "Visible", "off");
  set(fig, "Color", defaultControlColor());

  Value handles = gfx::guihandles(fig);
  handles.setField("handlesTCPIP", sets[0]);
  handles.setField("handlesGPIB", sets[1]);
  handles.setField("handlesRS232", sets[2]);
  handles.setField("handlesLastConnection", 2.0);
  handles.setField("Model", 0.0);
  Value platform = c.inOr(2, Value());
  if (platform.isText() && sameText(platform.str(), "b")) {
    handles.setField("Model", 1.0);
    platform = Value();
  } else if (platform.isText() && sameText(platform.str(), "c")) {
    handles.setField("Model", 2.0);
    platform = Value();
  }

  Value config;
  if (c.has(1) && c.in(1, "config").isRecord()) {
    config = limitConfig(restructure(c.in(1, "config"), handles));
    // The baud rate is kept within the rates the list shows.
    const std::vector<double> rates = listedBaudRates(handles);
    if (!rates.empty()) {
      const auto [low, high] = std::minmax_element(rates.begin(), rates.end());
      Value& rs = config.field("RS232");
      rs.setField("baudrate", std::clamp(rs.field("baudrate").toScalar(), *low, *high));
    }
  } else {
    config = initConfig();
  }
  // The time-out in force, which the connection check uses too.
  if (handles.hasField("editTimeout"))
    setString(ctl(handles, "editTimeout"), "String", timeoutText(ioTimeoutOf(config)));
  setGuidata(fig, handles);

  if (platform.isText()) setString(fig, "Name", platform.str() + " IO Connection");
  try {
    // Only the controls: the dialog's other entries (control sets, list
    // positions) are numbers too but name no control of their own.
    feval("resizeAllFonts", 0, {gfx::guihandles(fig)});
  } catch (const std::exception&) {
    // The dialog is usable at the layout's font sizes.
  }
  if (QWidget* w = widgetOf(fig)) w->adjustSize();
  if (c.has(0) && c.in(0, "parent").isNumeric()) {
    try {
      placeOverParent(fig, handleFrom(c.in(0, "parent"), "KS_SigGen"));
    } catch (const std::exception&) {
      // Without a usable parent the dialog opens where the window system puts it.
    }
  }
  setString(ctl(handles, "pmBaudRate"), "TooltipString",
            std::string("Select the communication baud rate.") + kCrLf +
                "NOTE: This must agree with the instrument.");
  setString(ctl(handles, "pmPrimaryAddress"), "TooltipString",
            std::string("Select the primary address of your source.") + kCrLf +
                "The default factory setting is 19.");

  updateGuiObjects(handles, config);
  handles = gfx::guidata(fig);
  updateHandshakeTooltip(handles);
  showControls(handles);
  feval("UpdateIoAddress", 0, {handles});
  cancelOnReject(fig, handles);

  // A check a closed dialog started may still run: this opening waits for it.
  showPendingCheck(fig, handles);
  setString(fig, "Visible", "on");
  const std::string response = gui::waitForAnswer(fig);
  dropCheckAnswer();
  if (isHandle(fig) && fig != 0) {
    if (response == "OK") {
      const Value current = updateConfig(gfx::guidata(fig));
      // A record keeps its own form unless the user changed the time-out.
      if (const TypedTimeout t = typedTimeout(gfx::guidata(fig));
          t.seconds && *t.seconds != ioTimeoutOf(config))
        config.setField("timeout", *t.seconds);
      config.setField("type", current.field("type"));
      for (const char* sub : {"GPIB", "RS232", "TCPIP"}) {
        Value& rec = config.field(sub);
        if (!rec.isRecord()) rec = Value::record();
        for (const Field& f : current.field(sub).fields()) rec.setField(f.first, f.second);
      }
    }
    deleteFigure(fig);
  }
  c.out(0) = Value(response);
  // What a check learnt about an instrument holds whatever the answer; the
  // caller keeps the record only on OK.
  c.out(1) = withCheckedRanges(std::move(config));
}

}  // namespace

}  // namespace dot11a::connection

namespace dot11a::op {
void KS_SigGen(Call& c) {
  if (c.nargin() > 0 && c.in(0, "action").isText()) {
    dispatchModule(connection::kTable, c);
    return;
  }
  connection::openDialog(c);
}
}  // namespace dot11a::op
