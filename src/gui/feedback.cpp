// The status bar, the entry reader and the screen fitting of the main window.
#include "gui/feedback.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/num2str.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::gui {

namespace {

QRect& areaOverride() {
  static QRect area;
  return area;
}

// For a decimal text that from_chars found out of range: true when its
// magnitude is too large (overflow), false when too small (underflow). The
// decimal power of the first non-zero digit plus the exponent decides.
bool overflows(std::string_view s) {
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
  std::size_t i = 0;
  long long integerDigits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++integerDigits;
  long long power = 0;  // of the first non-zero digit
  bool found = false;
  for (long long k = 0; k < integerDigits && !found; ++k)
    if (s[static_cast<std::size_t>(k)] != '0') {
      power = integerDigits - 1 - k;
      found = true;
    }
  if (i < s.size() && s[i] == '.') {
    ++i;
    for (long long pos = 1; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++pos)
      if (!found && s[i] != '0') {
        power = -pos;
        found = true;
      }
  }
  long long exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
      exponent = std::min<long long>(exponent * 10 + (s[i] - '0'), 1'000'000'000LL);
    if (negative) exponent = -exponent;
  }
  return power + exponent >= 0;
}

QLabel* statusLabel(double fig, const char* tag) {
  QWidget* w = gfx::widgetOf(fig);
  return w ? w->findChild<QLabel*>(tag) : nullptr;
}

}  // namespace

std::optional<double> readEntryNumber(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  double value = 0;
  // from_chars never looks at the locale, so a comma locale cannot change it.
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    const bool negative = text.front() == '-';
    if (overflows(text))
      return negative ? -std::numeric_limits<double>::infinity()
                      : std::numeric_limits<double>::infinity();
    return negative ? -0.0 : 0.0;
  }
  if (ec != std::errc() || std::isnan(value)) return std::nullopt;
  return value;
}

namespace {

// The status message: text longer than the line ends in "..." instead of
// being cut mid-word, so the user sees there is more (the tooltip has it).
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect r = contentsRect();
    painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
  }
};

}  // namespace

void installStatusBar(double fig) {
  auto* window = qobject_cast<QMainWindow*>(gfx::widgetOf(fig));
  if (!window || window->findChild<QLabel*>("txtStatusMessage")) return;
  QStatusBar* bar = window->statusBar();
  bar->setSizeGripEnabled(true);
  auto* message = new ElidedLabel(bar);
  message->setObjectName("txtStatusMessage");
  message->setTextFormat(Qt::PlainText);
  message->setWordWrap(false);
  message->setMinimumWidth(1);
  bar->addWidget(message, 1);
  auto* state = new QLabel(bar);
  state->setObjectName("txtCalculationStatus");
  state->setTextFormat(Qt::PlainText);
  bar->addPermanentWidget(state);
}

void tellUser(double fig, const std::string& text, bool error, bool console) {
  if (console) std::cerr << text << std::endl;
  QLabel* label = statusLabel(fig, "txtStatusMessage");
  if (!label) return;
  QString shown = gfx::toQ(text);
  shown.replace('\n', ' ');
  label->setText(shown);
  label->setToolTip(gfx::toQ(text));
  label->setStyleSheet(error ? "color: #b00020;" : "");
  // A message the line cuts short is in the tooltip and, whole, on the
  // console (the log), where a message that fits is printed only on request.
  if (!console && label->fontMetrics().horizontalAdvance(shown) > label->contentsRect().width())
    std::cerr << text << std::endl;
}

void clearUserMessage(double fig) {
  if (QLabel* label = statusLabel(fig, "txtStatusMessage")) {
    label->clear();
    label->setToolTip({});
    label->setStyleSheet({});
  }
}

void showCalculationStatus(double fig, const std::string& text, bool current) {
  QLabel* label = statusLabel(fig, "txtCalculationStatus");
  if (!label) return;
  label->setText(gfx::toQ(text));
  label->setStyleSheet(current ? "" : "color: #8a5a00;");
}

std::string withThousands(double whole) {
  const bool negative = whole < 0;
  // Printed as a double: a count past any integer type has its digits too.
  char text[320];
  std::snprintf(text, sizeof text, "%.0f", std::fabs(whole));
  std::string digits = text;
  for (int pos = static_cast<int>(digits.size()) - 3; pos > 0; pos -= 3)
    digits.insert(static_cast<std::size_t>(pos), ",");
  return negative ? "-" + digits : digits;
}

std::string calculatedText(const Value& clock, double samples, double sampleRate) {
  std::string time = "?";
  if (clock.isNumeric() && clock.numel() >= 6) {
    char buf[16];
    // The record is the application's own, but a by-name caller can replace it.
    auto part = [&](std::size_t i) {
      return clampedInteger(std::floor(clock.real(i)), 0, 99).value_or(0);
    };
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", part(3), part(4), part(5));
    time = buf;
  }
  std::string text = "Calculated " + time + ", " + withThousands(samples) + " samples";
  if (sampleRate > 0) {
    const double us = samples / sampleRate * 1e6;
    text += us < 1000 ? ", " + formatG(us, 4) + " µs" : ", " + formatG(us / 1000, 4) + " ms";
  }
  return text;
}

void markOverLimit(double control, bool over, const std::string& reason) {
  QWidget* w = gfx::widgetOf(control);
  if (!w) return;
  // The control's own tooltip is kept aside while the mark is on.
  const char* kOwnTip = "dot11aOwnTooltip";
  if (!w->property(kOwnTip).isValid()) w->setProperty(kOwnTip, w->toolTip());
  if (!over) w->setProperty(kOwnTip, w->toolTip().section("\n\nOver the limit:", 0, 0));
  const QString own = w->property(kOwnTip).toString();
  if (over) {
    w->setStyleSheet("color: #b00020; font-weight: bold;");
    w->setToolTip(own + "\n\nOver the limit: " + gfx::toQ(reason));
  } else {
    w->setStyleSheet({});
    w->setToolTip(own);
  }
}

void makeContentScrollable(double fig) {
  auto* window = qobject_cast<QMainWindow*>(gfx::widgetOf(fig));
  if (!window || !window->centralWidget() || window->findChild<QScrollArea*>("scrollContent"))
    return;
  QWidget* content = window->takeCentralWidget();
  auto* central = new QWidget(window);
  central->setObjectName("centralFrame");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* scroll = new QScrollArea(central);
  scroll->setObjectName("scrollContent");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  // The last row of the layout (the action buttons) stays below the scrolled
  // part, so it is always on the screen.
  QLayout* layout = content->layout();
  QLayout* actions = nullptr;
  if (layout && layout->count() > 1)
    if (QLayoutItem* last = layout->itemAt(layout->count() - 1); last && last->layout()) {
      actions = last->layout();
      layout->takeAt(layout->count() - 1);
      actions->setParent(nullptr);
    }
  scroll->setWidget(content);
  column->addWidget(scroll, 1);
  if (actions) {
    const QMargins m = layout->contentsMargins();
    auto* row = new QWidget(central);
    row->setObjectName("actionRow");
    row->setLayout(actions);
    actions->setContentsMargins(m.left(), 0, m.right(), m.bottom() / 2);
    column->addWidget(row);
  }
  window->setCentralWidget(central);
}

QRect availableScreenArea() {
  if (!areaOverride().isEmpty()) return areaOverride();
  gfx::ensureApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

void setAvailableScreenAreaOverride(const QRect& area) {
  areaOverride() = area;
}

QRect fitRectInto(const QRect& window, const QRect& area) {
  QRect r = window;
  r.setWidth(std::min(r.width(), area.width()));
  r.setHeight(std::min(r.height(), area.height()));
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.top() < area.top()) r.moveTop(area.top());
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  return r;
}

namespace {

// The rectangle `w` takes inside the available area, its frame included.
// Before a window manager has framed the window its frame is unknown: a
// title bar's worth is kept free above it.
QRect fittedOnScreen(const QWidget* w) {
  const QRect frame = w->frameGeometry(), inner = w->geometry();
  QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                   frame.right() - inner.right(), frame.bottom() - inner.bottom());
  if (margins.isNull()) margins = QMargins(4, 30, 4, 4);
  return fitRectInto(inner + margins, availableScreenArea()) - margins;
}

// Fits each window as it is shown: a window the program placed at once,
// before it appears; a dialog, which Qt places itself while it shows it,
// once it is shown. Popups, menus and tooltips place themselves and are
// left alone.
class OnScreenFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !w->isWindow()) return false;
    const Qt::WindowType type = w->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return false;
    if (!qobject_cast<QDialog*>(w)) {
      const QRect fitted = fittedOnScreen(w);
      if (fitted != w->geometry()) w->setGeometry(fitted);
    }
    QTimer::singleShot(0, w, [window = QPointer<QWidget>(w)] {
      if (!window || !window->isVisible()) return;
      const QRect fitted = fittedOnScreen(window);
      if (fitted != window->geometry()) window->setGeometry(fitted);
    });
    return false;
  }
};

}  // namespace

void keepWindowsOnScreen() {
  static bool installed = false;
  if (installed || !qApp) return;
  installed = true;
  qApp->installEventFilter(new OnScreenFilter(qApp));
}

void fitWindowToScreen(double fig) {
  QWidget* w = gfx::widgetOf(fig);
  if (!w) return;
  // Frame margins are known once a window manager has framed the window;
  // before that a title bar's worth is kept free above it.
  const QRect frame = w->frameGeometry();
  const QRect inner = w->geometry();
  QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                   frame.right() - inner.right(), frame.bottom() - inner.bottom());
  if (!w->isVisible() || margins.isNull()) margins = QMargins(4, 30, 4, 4);
  const QRect area = availableScreenArea();
  // The size the content asks for (the scroll area reports its content's
  // size), never less than the layout's own size.
  QSize wanted = w->size().expandedTo(w->sizeHint());  // windows without scrolling
  if (auto* window = qobject_cast<QMainWindow*>(w))
    if (auto* scroll = window->findChild<QScrollArea*>("scrollContent"))
      if (scroll->widget()) {
        const QSize content = scroll->widget()->sizeHint();
        if (w->isVisible()) {
          // Laid out: what the window has besides the scrolled view is known.
          const QSize view = scroll->viewport()->size();
          wanted = QSize(content.width() + window->width() - view.width(),
                         content.height() + window->height() - view.height());
        } else {
          // Not laid out yet: estimated from the parts' own size hints.
          constexpr int kSlack = 12;
          int extra = kSlack, width = content.width();
          if (window->menuWidget()) extra += window->menuWidget()->sizeHint().height();
          if (window->statusBar()) extra += window->statusBar()->sizeHint().height();
          if (QWidget* row = window->findChild<QWidget*>("actionRow")) {
            extra += row->sizeHint().height();
            width = std::max(width, row->sizeHint().width());
          }
          wanted = QSize(width + scroll->verticalScrollBar()->sizeHint().width() + kSlack,
                         content.height() + extra);
        }
      }
  const QRect outer(inner.left() - margins.left(), inner.top() - margins.top(),
                    wanted.width() + margins.left() + margins.right(),
                    wanted.height() + margins.top() + margins.bottom());
  // Centred on where it was, then pulled inside the area.
  QRect placed = outer;
  placed.moveCenter(QRect(inner.left() - margins.left(), inner.top() - margins.top(),
                          inner.width() + margins.left() + margins.right(),
                          inner.height() + margins.top() + margins.bottom())
                        .center());
  placed = fitRectInto(placed, area);
  w->setMinimumSize(0, 0);
  w->setGeometry(placed.left() + margins.left(), placed.top() + margins.top(),
                 placed.width() - margins.left() - margins.right(),
                 placed.height() - margins.top() - margins.bottom());
}

void applyWindowIcon(double fig) {
  static const QIcon icon = [] {
    QIcon i;
    for (const char* size : {"16", "32", "64"})
      i.addFile(QString(":/layouts/icon-%1.png").arg(size));
    return i;
  }();
  if (QApplication::windowIcon().isNull() ||
      QApplication::windowIcon().cacheKey() != icon.cacheKey())
    QApplication::setWindowIcon(icon);
  if (QWidget* w = gfx::widgetOf(fig)) w->setWindowIcon(icon);
}

void commitFocusedEntry(double fig) {
  QWidget* w = gfx::widgetOf(fig);
  if (!w) return;
  auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (!edit || !w->isAncestorOf(edit) || !edit->isModified()) return;
  edit->setModified(false);
  gfx::runCallback(gfx::handleOf(edit));
}

std::string waitForAnswer(double fig) {
  gfx::uiwait(fig);
  if (!gfx::isHandle(fig) || fig == 0) return "Cancel";
  const Value data = gfx::guidata(fig);
  if (data.isRecord() && data.hasField("answer") && data.field("answer").isText())
    return data.field("answer").str();
  return "Cancel";
}

std::string showOverMainAndWait(double fig, double focus) {
  if (const double main = gfx::findFigure("main");
      main != 0 && gfx::getString(main, "Visible") == "on")
    feval("positionChildWindow", 0, {main, fig});
  gfx::setString(fig, "Visible", "on");
  if (QWidget* w = focus != 0 ? gfx::widgetOf(focus) : nullptr) {
    w->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
  }
  const std::string answer = waitForAnswer(fig);
  if (gfx::isHandle(fig)) gfx::setString(fig, "Visible", "off");
  return answer;
}

}  // namespace dot11a::gui
