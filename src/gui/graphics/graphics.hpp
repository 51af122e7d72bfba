// The graphics layer: windows, controls, menus, axes and lines addressed by
// handles, their properties read and written by name through one table, layouts
// loaded from Qt Designer files, callbacks held as strings, modal waits, plots
// drawn with QCustomPlot and the screen's metrics.
//
// The window modules are written against this interface, so that they read as
// "set the String of txtDataLength" rather than as Qt calls. Handles are
// positive numbers (see handle.hpp); 0 is the screen (the root object). A handle
// whose object was destroyed is no longer valid.
#pragma once

#include <QString>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/value.hpp"
#include "gui/graphics/handle.hpp"

class QObject;
class QWidget;
class QImage;

namespace dot11a::gfx {

// Makes sure a QApplication exists (creating one when the caller has not) and
// installs the Qt dialog service unless a test installed a scripted one.
void ensureApplication();

// ---- handles ------------------------------------------------------------------
Handle handleOf(QObject* object);  // registers the object when it has no handle yet
QObject* objectOf(Handle handle);  // null for 0, unknown or destroyed handles
QWidget* widgetOf(Handle handle);  // null unless the handle names a widget
bool isHandle(Handle handle);      // 0 (the screen) counts as a handle
// Raises a clear error when the handle names nothing.
QObject* requireObject(Handle handle, std::string_view what);
// The window (figure) an object belongs to; 0 when it has none.
Handle figureOf(Handle handle);
// Handle from a value (a number, or the first element of a row); the same as
// Handle::from.
Handle handleFrom(const Value& v, std::string_view what);

// ---- properties ----------------------------------------------------------------
// Property names are matched case-insensitively and looked up in a table keyed
// by name and object kind (screen, window, control, menu, axes, line, surface).
// Texts "on"/"off" are used for Enable, Visible, Checked, grids and hold;
// Position is [left bottom width height] in pixels, counted from the
// bottom-left corner of the parent (the screen for windows), except for axes,
// whose Position is in the units of their Units property ("normalized", the
// default: fractions of the window; or "pixels").
Value get(Handle handle, std::string_view property);
void set(Handle handle, std::string_view property, const Value& value);
// Convenience wrappers for the modules.
std::string getString(Handle handle, std::string_view property);
void setString(Handle handle, std::string_view property, std::string_view text);
double getNumber(Handle handle, std::string_view property);
void setNumber(Handle handle, std::string_view property, double x);
// True when the object has the property (a row of the table serves it).
bool hasProperty(Handle handle, std::string_view property);
// The names of the properties an object has, in table order.
std::vector<std::string> propertyNames(Handle handle);

// ---- layouts --------------------------------------------------------------------
// Opens a window from a layout: "name", "name.fig" and "name.ui" all mean the
// Designer file name.ui, looked for beside the working directory's layouts/
// folder first and then among the layouts built into the library. The window
// is created hidden. With `reuse`, a window already open from the same layout
// is returned instead.
Handle openLayout(std::string_view name, bool reuse = false);
// The record of a window's tagged objects (controls, menus, the window itself).
Value guihandles(Handle handle);
// Application data stored with a window, readable from any object inside it.
Value guidata(Handle handle);
void setGuidata(Handle handle, const Value& data);
// The open window with this tag (0 when there is none).
Handle findFigure(std::string_view tag);
// Closes and destroys a window (ends any wait on it).
void deleteFigure(Handle handle);

// ---- callbacks ------------------------------------------------------------------
// Evaluates the Callback property of an object as if the user had used it;
// errors are printed on the console (a callback never throws into Qt).
void runCallback(Handle handle);
// Evaluates a callback string with `source` as the calling object. Forms:
//   name            name(arg, ...)
// with arguments 'text', numbers, [], gcbo, gcbf, gcf and guidata(<arg>).
void evalCallback(std::string_view text, Handle source);
Handle gcbo();  // the object whose callback runs (0 when none)
Handle gcbf();  // its window

// ---- menus ----------------------------------------------------------------------
// Adds a menu (parent 0 = the window's menu bar) or a menu item to a window.
Handle addMenu(Handle figure, Handle parentMenu, const std::string& label, const std::string& tag,
               const std::string& callback);
// Adds a menu that holds items of its own under another menu.
Handle addSubMenu(Handle parentMenu, const std::string& label, const std::string& tag);
// Draws a separator line above a menu item.
void addSeparatorBefore(Handle item);

// ---- plots ---------------------------------------------------------------------
// Plots are axes (QCustomPlot widgets) inside a window, holding lines and
// surfaces. Every axes property (XLim, YLim, ZLim, XScale, YScale, XGrid, YGrid,
// GridLineStyle, XLabel, YLabel, ZLabel, Title, Tag, NextPlot, Position,
// Units, XTick, View, ...) and every line property (XData, YData, ZData,
// Color, LineStyle, LineWidth, Marker, MarkerSize) is read and set through
// get/set. NaN in a line's data breaks the line.

// A new, hidden, empty window for plots (its Name, MenuBar, NumberTitle,
// Position and Units are properties like any window's).
Handle newFigure();
// A new axes in a window, placed at the default plot area, or at `position`
// ([left bottom width height], fractions of the window) when given. It becomes
// the window's current axes.
Handle newAxes(Handle figure, const std::vector<double>& position = {});
// The window's current axes; one is created when the window has none.
Handle currentAxes(Handle figure);
// The window that plotting commands draw into when they name none: the plot
// window most recently made or drawn in, while it is open; a new one when
// there is none. Windows opened from layouts (the dialogs) never are.
Handle currentFigure();
// Makes an axes the current one of its window, and that window current.
void makeCurrent(Handle axes);
// Deletes an axes with its lines and surfaces.
void deleteAxes(Handle axes);
// The axes of a window, in the order they were made.
std::vector<Handle> figureAxes(Handle figure);
// The default plot area of an axes and the cell (1-based, row-wise) of an
// m-by-n grid of axes, as [left bottom width height] fractions.
std::vector<double> defaultAxesPosition();
std::vector<double> gridAxesPosition(int rows, int cols, int index);
// Draws y against x (equal lengths) in an axes. `format` is a line
// format: a colour letter (b g r c m y k w), a line style (- : -- -.)
// and a marker (. o x + *), e.g. "b-", "c-", "b.", ":". Unless the axes are
// held (NextPlot "add"), the axes' earlier lines and surfaces go first.
Handle plotLine(Handle axes, std::span<const double> x, std::span<const double> y,
                std::string_view format = "");
// A waterfall surface: matrices X, Y, Z of equal size; one curve for each row,
// drawn against the rows of X and Y, closed down to the lowest Z and filled
// with the axes' background, edges coloured by height. The axes show it in a
// projection turned by their View [azimuth elevation] (degrees).
Handle addSurface(Handle axes, const Value& x, const Value& y, const Value& z);
// Fits the axes' limits to their data (the limits of "auto" mode).
void autoscale(Handle axes);
// Saves the plots of a window (without its menus), or one axes, as a
// picture at their size on the screen: PNG, JPEG or BMP by the file name's
// extension, or PDF (vector). Raises an error naming the file and the reason
// when it cannot be written.
void savePicture(Handle object, const std::string& fileName);

// ---- plot tools -------------------------------------------------------------------
// Every axes offers them without further code: the wheel zooms about the
// pointer, dragging pans (or, with the window's ZoomMode on, draws the
// rectangle to zoom into; with RotateMode on, turns a waterfall), a
// double-click returns to the view the program drew, and the pointer shows a
// crosshair with its value, snapped to the nearest data point of a line.

// The readout text for a point of an axes: x and y in the units their labels
// name, e.g. "3.00 MHz, -12.4 dB".
std::string readoutText(Handle axes, double x, double y);
// What the readout shows now ("" when the pointer is not over the plot box).
std::string currentReadout(Handle axes);
// Back to the limits (and view) the axes had before the user zoomed, panned
// or turned them; nothing changes when the user has not.
void resetView(Handle axes);
// Prints the plots of a window, the printer chosen in the print dialog of the
// dialog service (a scripted service answers with the path of a PDF file to
// print to). Failures are shown as error dialogs.
void printFigure(Handle figure);
// Asks for a file name (PNG or PDF) through the dialog service and saves the
// plots of a window in it; a file that cannot be written is reported in an
// error dialog that says why.
void savePlotAs(Handle figure);
// The data of every visible line of a window's plots as CSV text, one row a
// point: "plot,trace,x,y" under a header naming the axes' labels. Each plot
// is named by its title (or "plot N"), each trace by its legend entry (or
// "trace N").
std::string traceCsv(Handle figure);
// Asks for a CSV file name through the dialog service and writes traceCsv to
// it; a file that cannot be written is reported in an error dialog.
void exportTraceCsv(Handle figure);

// ---- modal waits ----------------------------------------------------------------
// Runs a nested event loop until uiresume(figure) is called or the window is
// closed or destroyed. Returns at once when the window is not open.
void uiwait(Handle figure);
void uiresume(Handle figure);

// ---- screen and pointer ------------------------------------------------------------
// [1 1 width height] of the primary screen.
Value screenSize();
double screenPixelsPerInch();
// Tests pretend a screen resolution; 0 restores the real one.
void setPixelsPerInchOverride(double dpi);

// The system's default background colour of controls, [r g b] from 0 to 1.
Value defaultControlColor();

// ---- pictures -------------------------------------------------------------------
// An image as a value: a record with R, G, B (rows x cols, 0..255).
Value imageToValue(const QImage& image);
QImage imageFromValue(const Value& value);
// Reads a picture file (the built-in pictures are found by file name too).
QImage readPicture(std::string_view fileName);

// ---- splash timing ------------------------------------------------------------------
// The shortest time the start-up splash stays up, in milliseconds (3000 in the
// application; tests set 0 so they never wait).
int splashMinimumMs();
void setSplashMinimumMs(int ms);

// Processes pending events (used while a splash is held up).
void processEvents(int maxMs = 0);

QString toQ(std::string_view s);
std::string fromQ(const QString& s);

}  // namespace dot11a::gfx
