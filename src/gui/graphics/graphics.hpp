// The graphics layer: windows and controls addressed by numeric handles, their
// properties read and written by name, layouts loaded from Qt Designer files,
// callbacks held as strings, modal waits and the screen's metrics.
//
// The window modules are written against this interface, so that they read as
// "set the String of txtDataLength" rather than as Qt calls. Handles are
// positive numbers; 0 is the screen (the root object). A handle whose object
// was destroyed is no longer valid.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "dot11a/value.hpp"

class QObject;
class QWidget;
class QImage;

namespace dot11a::gfx {

// Makes sure a QApplication exists (creating one when the caller has not) and
// installs the Qt dialog service unless a test installed a scripted one.
void ensureApplication();

// ---- handles ------------------------------------------------------------------
double handleOf(QObject* object);  // registers the object when it has no handle yet
QObject* objectOf(double handle);  // null for 0, unknown or destroyed handles
QWidget* widgetOf(double handle);  // null unless the handle names a widget
bool isHandle(double handle);      // 0 (the screen) counts as a handle
// Raises a clear error when the handle names nothing.
QObject* requireObject(double handle, std::string_view what);
// The window (figure) an object belongs to; 0 when it has none.
double figureOf(double handle);
// Handle from a value (a number, or the first element of a row).
double handleFrom(const Value& v, std::string_view what);

// ---- properties ----------------------------------------------------------------
// Property names are matched case-insensitively. Texts "on"/"off" are used for
// Enable, Visible, Checked; Position is [left bottom width height] in pixels,
// counted from the bottom-left corner of the parent (the screen for windows).
Value get(double handle, std::string_view property);
void set(double handle, std::string_view property, const Value& value);
// Convenience wrappers for the modules.
std::string getString(double handle, std::string_view property);
void setString(double handle, std::string_view property, std::string_view text);
double getNumber(double handle, std::string_view property);
void setNumber(double handle, std::string_view property, double x);
bool hasProperty(double handle, std::string_view property);

// ---- layouts --------------------------------------------------------------------
// Opens a window from a layout: "name", "name.fig" and "name.ui" all mean the
// Designer file name.ui, looked for beside the working directory's layouts/
// folder first and then among the layouts built into the library. The window
// is created hidden. With `reuse`, a window already open from the same layout
// is returned instead.
double openLayout(std::string_view name, bool reuse = false);
// The record of a window's tagged objects (controls, menus, the window itself).
Value guihandles(double handle);
// Application data stored with a window, readable from any object inside it.
Value guidata(double handle);
void setGuidata(double handle, const Value& data);
// The open window with this tag (0 when there is none).
double findFigure(std::string_view tag);
// Closes and destroys a window (ends any wait on it).
void deleteFigure(double handle);

// ---- callbacks ------------------------------------------------------------------
// Evaluates the Callback property of an object as if the user had used it;
// errors are printed on the console (a callback never throws into Qt).
void runCallback(double handle);
// Evaluates a callback string with `source` as the calling object. Forms:
//   name            name(arg, ...)
// with arguments 'text', numbers, [], gcbo, gcbf, gcf and guidata(<arg>).
void evalCallback(std::string_view text, double source);
double gcbo();  // the object whose callback runs (0 when none)
double gcbf();  // its window

// ---- menus ----------------------------------------------------------------------
// Adds a menu (parent 0 = the window's menu bar) or a menu item to a window.
double addMenu(double figure, double parentMenu, const std::string& label, const std::string& tag,
               const std::string& callback);
// Adds a menu that holds items of its own under another menu.
double addSubMenu(double parentMenu, const std::string& label, const std::string& tag);
// Draws a separator line above a menu item.
void addSeparatorBefore(double item);

// ---- modal waits ----------------------------------------------------------------
// Runs a nested event loop until uiresume(figure) is called or the window is
// closed or destroyed. Returns at once when the window is not open.
void uiwait(double figure);
void uiresume(double figure);

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
