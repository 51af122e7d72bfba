// The sub-carrier mask dialog opened from the main window: the rows under the
// scroll bar and the DC row, the presets and their counts, the error for an
// empty mask, the plot, OK / Cancel / close box / Escape and the keyboard.
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <vector>

#include "dialog_fixture.hpp"
#include "dot11a/parameters.hpp"
#include "gui/graphics/graphics.hpp"

namespace dot11a::test {
namespace {

std::vector<double> maskOf(const Value& v) {
  return {v.re().begin(), v.re().end()};
}
int countOn(const std::vector<double>& m) {
  return static_cast<int>(std::count_if(m.begin(), m.end(), [](double v) { return v != 0; }));
}

class SubCarrierDialog : public MainWindowDialogTest {
 protected:
  SubCarrierDialog() : MainWindowDialogTest("SubCarriersMask", "pbSubCarriers") {}
  std::string rowLabel(int row) const { return textOf(dialog, "checkbox" + std::to_string(row)); }
  double rowValue(int row) const {
    return gfx::getNumber(control(dialog, "checkbox" + std::to_string(row)), "Value");
  }
  bool rowEnabled(int row) const { return isOn(dialog, "checkbox" + std::to_string(row)); }
  void scrollTo(double value) { setAndFire(dialog, "scrollbar", value); }
  static std::vector<double> mask() { return maskOf(params().field("SubCarriers")); }
};

TEST_F(SubCarrierDialog, RowsFollowTheScrollBarAndTheDcRowIsAlwaysOff) {
  // A mask with DC on (possible in a parameter file) still shows DC off.
  std::vector<double> withDc(53, 1.0);
  params().setField("SubCarriers", Value::row(withDc));
  openWith([this] {
    EXPECT_EQ(gfx::getNumber(control(dialog, "scrollbar"), "Value"), 43);
    EXPECT_EQ(gfx::getNumber(control(dialog, "scrollbar"), "Max"), 43);
    for (int i = 1; i <= 10; ++i) {
      EXPECT_EQ(rowLabel(i), "Sub-carrier " + std::to_string(i - 27)) << i;
      EXPECT_EQ(rowValue(i), 1) << i;
    }
    EXPECT_EQ(gfx::getString(control(dialog, "checkbox3"), "TooltipString"),
              "Enables/Disables this sub-carrier.");
    EXPECT_EQ(gfx::getString(control(dialog, "pdFastEditCarriers"), "TooltipString"),
              "FastEdit:\nSelects a predefined\nsub-carrier configuration.");
    EXPECT_TRUE(gfx::widgetOf(dialog)->isModal());
    EXPECT_EQ(
        tabChain(dialog, "checkbox1", 14),
        (std::vector<std::string>{"checkbox1", "checkbox2", "checkbox3", "checkbox4", "checkbox5",
                                  "checkbox6", "checkbox7", "checkbox8", "checkbox9", "checkbox10",
                                  "scrollbar", "pdFastEditCarriers", "pbOK", "pbCancel"}));
    scrollTo(0);  // the bottom: entries 44 to 53
    EXPECT_EQ(rowLabel(1), "Sub-carrier 17");
    EXPECT_EQ(rowLabel(10), "Sub-carrier 26");
    scrollTo(23);  // entries 21 to 30, DC in row 7
    EXPECT_EQ(rowLabel(7), "Sub-carrier 0");
    EXPECT_EQ(rowValue(7), 0);
    EXPECT_FALSE(rowEnabled(7));
    EXPECT_TRUE(rowEnabled(6));
    scrollTo(22.6);  // rounded to 23
    EXPECT_EQ(rowLabel(7), "Sub-carrier 0");
    scrollTo(26);  // DC in row 10, row 7 back to a sub-carrier of its own
    EXPECT_TRUE(rowEnabled(7));
    EXPECT_EQ(rowValue(7), 1);
    EXPECT_FALSE(rowEnabled(10));
    press(dialog, "pbOK");
  });
  EXPECT_EQ(mask(), withDc);  // the dialog never switches DC by itself
}

TEST_F(SubCarrierDialog, UntickingAfterScrollingSwitchesTheEntryUnderTheRow) {
  openWith([this] {
    scrollTo(33);                        // offset 10: row 1 is entry 11, sub-carrier -16
    setAndFire(dialog, "checkbox1", 0);  // what a click does: the box toggles, the callback runs
    scrollTo(43);
    EXPECT_EQ(rowValue(1), 1);  // entry 1 untouched
    press(dialog, "pbOK");
  });
  std::vector<double> expected(53, 1.0);
  expected[26] = 0;
  expected[10] = 0;
  EXPECT_EQ(mask(), expected);
}

// A host program reads the dialog's working values from the shared globals
// while the dialog is open.
TEST_F(SubCarrierDialog, SharedGlobalsHoldTheMaskTheLabelsAndThePlot) {
  openWith([this] {
    const Value& names = global("names");
    ASSERT_EQ(names.numel(), 53u);
    EXPECT_EQ(names.cellAt(0).str(), "Sub-carrier -26");
    EXPECT_EQ(names.cellAt(52).str(), "Sub-carrier 26");
    EXPECT_EQ(global("hdlPlotArea").toScalar(), gfx::guidata(dialog).field("plotArea").toScalar());
    scrollTo(33);
    setAndFire(dialog, "checkbox1", 0);  // entry 11
    std::vector<double> expected(53, 1.0);
    expected[26] = 0;
    expected[10] = 0;
    EXPECT_EQ(global("states"), Value::row(expected));
    setAndFire(dialog, "pdFastEditCarriers", 7);
    EXPECT_EQ(countOn(maskOf(global("states"))), 2);
    press(dialog, "pbCancel");
  });
}

TEST_F(SubCarrierDialog, PresetsSwitchTheirSubCarriers) {
  struct Preset {
    int item, count;
    std::vector<int> on;  // some sub-carriers that must be on
    std::vector<int> off;
  };
  const Preset presets[] = {
      {1, 52, {-26, -1, 1, 26}, {0}},
      {2, 26, {-25, -1, 1, 25}, {-26, -2, 0, 2, 26}},
      {3, 14, {-25, -21, -1, 1, 5, 25}, {-26, -24, -3, 0, 3, 26}},
      {4, 26, {1, 26}, {-1, 0}},
      {5, 26, {-26, -1}, {0, 1}},
      {6, 26, {-26, -14, 14, 26}, {-13, 0, 13}},
      {7, 2, {-26, 26}, {-25, 0, 25}},
  };
  for (const Preset& p : presets) {
    openWith([this, &p] {
      setAndFire(dialog, "pdFastEditCarriers", p.item);
      // The rows on the screen show the new mask at once.
      EXPECT_EQ(rowValue(1), p.item == 1 || p.item == 5 || p.item == 6 || p.item == 7 ? 1 : 0)
          << p.item;
      press(dialog, "pbOK");
    });
    const std::vector<double> m = mask();
    EXPECT_EQ(countOn(m), p.count) << "preset " << p.item;
    for (int k : p.on) EXPECT_EQ(m[k + 26], 1) << "preset " << p.item << ", sub-carrier " << k;
    for (int k : p.off) EXPECT_EQ(m[k + 26], 0) << "preset " << p.item << ", sub-carrier " << k;
  }
  auto* list = qobject_cast<QComboBox*>(gfx::widgetOf(control(dialog, "pdFastEditCarriers")));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count(), 9);
  EXPECT_EQ(list->itemText(8), "Custom");
}

TEST_F(SubCarrierDialog, AnEmptyMaskIsRefusedAndTheDialogStaysOpen) {
  openWith([this] {
    setAndFire(dialog, "pdFastEditCarriers", 8);
    press(dialog, "pbOK");
    ASSERT_EQ(script->shown.size(), 1u);
    EXPECT_EQ(script->shown[0].kind, "error");
    EXPECT_EQ(script->shown[0].title, "Invalid configuration");
    EXPECT_EQ(script->shown[0].text, "At least one carrier must be active to produce a signal.");
    EXPECT_EQ(gfx::getString(dialog, "Visible"), "on");
    scrollTo(0);
    EXPECT_EQ(gfx::getNumber(control(dialog, "pdFastEditCarriers"), "Value"), 8);
    setAndFire(dialog, "checkbox10", 1);  // sub-carrier 26
    EXPECT_EQ(textOf(dialog, "txtActiveCount"), "1 sub-carrier");
    // Edited by hand, the mask is no preset any more.
    EXPECT_EQ(gfx::getNumber(control(dialog, "pdFastEditCarriers"), "Value"), 9);
    press(dialog, "pbOK");
  });
  EXPECT_EQ(gfx::getString(dialog, "Visible"), "off");
  EXPECT_EQ(countOn(mask()), 1);
  EXPECT_EQ(mask()[52], 1);
}

TEST_F(SubCarrierDialog, ThePlotShowsTheWholeMaskInBinsFromMinus32To31) {
  openWith([this] {
    setAndFire(dialog, "pdFastEditCarriers", 4);
    const Value handlesOfDialog = gfx::guidata(dialog);
    ASSERT_TRUE(handlesOfDialog.hasField("plotArea"));
    const double axes = handlesOfDialog.field("plotArea").toScalar();
    EXPECT_EQ(gfx::getString(axes, "Type"), "axes");
    EXPECT_EQ(gfx::figureOf(axes).id(), dialog);
    EXPECT_EQ(gfx::get(axes, "XLim"), Value::row({-32, 31}));
    EXPECT_EQ(gfx::get(axes, "YLim"), Value::row({0, 2}));
    EXPECT_EQ(gfx::getString(axes, "XLabel"), "Sub-Carrier Number");
    EXPECT_EQ(gfx::getString(axes, "YLabel"), " Nominal Gain (linear)");
    EXPECT_EQ(gfx::getString(axes, "Title"), "Sub-Carrier Plot");
    const Value lines = gfx::get(axes, "Children");
    ASSERT_EQ(lines.numel(), 1u);
    const Value x = gfx::get(lines.real(0), "XData"), y = gfx::get(lines.real(0), "YData");
    ASSERT_EQ(x.numel(), 64u);
    ASSERT_EQ(y.numel(), 64u);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(x.real(i), i - 32);
      EXPECT_EQ(y.real(i), i - 32 >= 1 && i - 32 <= 26 ? 1 : 0) << i;
    }
    press(dialog, "pbCancel");
  });
}

TEST_F(SubCarrierDialog, OkGoesIntoTheNextFrameAndCancelCloseBoxAndEscapeDoNot) {
  gfx::runCallback(h("pbCalculate"));
  const Value defaultFrame = global("waveform");
  const Value before = params();
  openWith([this] {
    setAndFire(dialog, "pdFastEditCarriers", 7);
    press(dialog, "pbCancel");
  });
  EXPECT_EQ(params(), before);
  openWith([this] {
    EXPECT_EQ(rowValue(2), 1);  // every opening starts from the parameter set
    setAndFire(dialog, "pdFastEditCarriers", 7);
    gfx::widgetOf(dialog)->close();
  });
  EXPECT_EQ(params(), before);
  openWith([this] {
    setAndFire(dialog, "pdFastEditCarriers", 7);
    QTest::keyClick(gfx::widgetOf(dialog), Qt::Key_Escape);
  });
  EXPECT_EQ(params(), before);
  EXPECT_EQ(gfx::getString(dialog, "Visible"), "off");

  openWith([this] {
    setAndFire(dialog, "pdFastEditCarriers", 3);
    QTest::keyClick(gfx::widgetOf(control(dialog, "checkbox1")), Qt::Key_Return);  // Enter is OK
  });
  EXPECT_EQ(countOn(mask()), 14);
  gfx::runCallback(h("pbCalculate"));
  EXPECT_EQ(global("waveform"), calculateFrame(params()).waveform);
  EXPECT_NE(global("waveform"), defaultFrame);
}

TEST_F(SubCarrierDialog, KeyboardAndWheelScrollTheRows) {
  openWith([this] {
    QWidget* bar = gfx::widgetOf(control(dialog, "scrollbar"));
    ASSERT_NE(bar, nullptr);
    QTest::keyClick(bar, Qt::Key_Down);  // one row further down the list
    EXPECT_EQ(rowLabel(1), "Sub-carrier -25");
    QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_EQ(rowLabel(1), "Sub-carrier -15");
    QTest::keyClick(bar, Qt::Key_End);  // End is the bottom of the list
    EXPECT_EQ(rowLabel(10), "Sub-carrier 26");
    QTest::keyClick(bar, Qt::Key_Home);
    EXPECT_EQ(rowLabel(1), "Sub-carrier -26");
    // The wheel turned down over the rows moves them as over the bar.
    QWidget* row = gfx::widgetOf(control(dialog, "checkbox4"));
    QWheelEvent wheel(QPointF(5, 5), row->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(row, &wheel);
    EXPECT_EQ(rowLabel(1), "Sub-carrier " + std::to_string(-26 + QApplication::wheelScrollLines()));
    press(dialog, "pbCancel");
  });
}

// Walking the list with the arrows on the rows: past the last row the list
// scrolls under the focus instead of the focus leaving for the scroll bar, and
// Page/Home/End act on the rows as on the bar.
TEST_F(SubCarrierDialog, ArrowsOnTheRowsScrollPastTheEdgesOfTheList) {
  openWith([this] {
    QWidget* last = gfx::widgetOf(control(dialog, "checkbox10"));
    QWidget* first = gfx::widgetOf(control(dialog, "checkbox1"));
    ASSERT_TRUE(last && first);
    EXPECT_EQ(gfx::widgetOf(dialog)->focusWidget(), first);  // the keyboard starts on row 1
    last->setFocus();
    QTest::keyClick(last, Qt::Key_Down);
    EXPECT_EQ(rowLabel(10), "Sub-carrier -16");
    EXPECT_EQ(rowLabel(1), "Sub-carrier -25");
    QTest::keyClick(last, Qt::Key_Space);  // unticks the entry now under the row
    EXPECT_EQ(rowValue(10), 0);
    QTest::keyClick(first, Qt::Key_Up);
    QTest::keyClick(first, Qt::Key_Up);  // already at the top: stays there
    EXPECT_EQ(rowLabel(1), "Sub-carrier -26");
    QTest::keyClick(first, Qt::Key_PageDown);
    EXPECT_EQ(rowLabel(1), "Sub-carrier -16");
    QTest::keyClick(first, Qt::Key_End);
    EXPECT_EQ(rowLabel(10), "Sub-carrier 26");
    QTest::keyClick(last, Qt::Key_Down);  // the bottom: nothing further
    EXPECT_EQ(rowLabel(10), "Sub-carrier 26");
    QTest::keyClick(last, Qt::Key_PageUp);
    EXPECT_EQ(rowLabel(10), "Sub-carrier 16");
    QTest::keyClick(last, Qt::Key_Home);
    EXPECT_EQ(rowLabel(1), "Sub-carrier -26");
    press(dialog, "pbOK");
  });
  const std::vector<double> m = mask();
  EXPECT_EQ(m[-16 + 26], 0);  // the entry unticked after scrolling
  EXPECT_EQ(countOn(m), 51);
  // Opened again after the focus was elsewhere: back on the first row.
  openWith([this] {
    QWidget* fastEdit = gfx::widgetOf(control(dialog, "pdFastEditCarriers"));
    EXPECT_EQ(gfx::widgetOf(dialog)->focusWidget(), gfx::widgetOf(control(dialog, "checkbox1")));
    fastEdit->setFocus();
    press(dialog, "pbCancel");
  });
  openWith([this] {
    EXPECT_EQ(gfx::widgetOf(dialog)->focusWidget(), gfx::widgetOf(control(dialog, "checkbox1")));
    press(dialog, "pbCancel");
  });
}

TEST_F(SubCarrierDialog, MasksAreTakenAsRowsOrColumnsOf53) {
  std::vector<double> m(53, 0.0);
  m[0] = 1;
  m[52] = 2;  // any entry that is not 0 is on
  whileOpen(dialog, [this] {
    EXPECT_EQ(rowValue(1), 1);
    EXPECT_EQ(rowValue(2), 0);
    press(dialog, "pbOK");
  });
  const std::vector<Value> out = feval("dot11a_GUI_SubCarrierMask", 2, {dialog, Value::column(m)});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], Value("OK"));
  EXPECT_EQ(out[1].rows(), 1u);
  EXPECT_EQ(countOn(maskOf(out[1])), 2);
  EXPECT_EQ(out[1].real(52), 1);
  // A mask in bin order (64 entries) is not a mask of this dialog.
  EXPECT_THROW(feval("dot11a_GUI_SubCarrierMask", 2, {dialog, Value::zeros(1, 64)}), Error);
  EXPECT_EQ(gfx::getString(dialog, "Visible"), "off");
}

}  // namespace
}  // namespace dot11a::test
