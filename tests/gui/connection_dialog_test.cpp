// The connection dialog, driven through its layout while it waits as a user
// would: the lists it offers, what it reads back, the limits applied to the
// record it opens with and the ways to leave it.
#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "connection_dialog_driver.hpp"
#include "dot11a/instrument.hpp"

namespace dot11a::test {
namespace {

// ---- the layout and the defaults ---------------------------------------------------

TEST_F(ConnectionDialogTest, OpensWithTheDefaultsAndTheListsTheFieldsNeed) {
  const auto out = withDialog([](Dialog& d) {
    EXPECT_EQ(gfx::getString(d.fig, "Name"), "Signal Generator IO Connection");
    EXPECT_EQ(d.list("pmConnection"), texts({"GPIB", "RS232", "TCP/IP"}));
    EXPECT_EQ(d.list("pmGpibBoard").size(), 16u);
    EXPECT_EQ(d.list("pmPrimaryAddress").size(), 31u);
    const auto secondary = d.list("pmSecondaryAddress");
    ASSERT_EQ(secondary.size(), 33u);
    EXPECT_EQ(secondary.front(), "none");
    EXPECT_EQ(secondary[1], "0");
    EXPECT_EQ(secondary.back(), "31");
    EXPECT_EQ(d.list("pmPortNumber").size(), 9u);
    // The baud rates are the ones the gateway and the model know, as numbers.
    std::vector<std::string> rates;
    for (double r : kBaudRates) rates.push_back(std::to_string(static_cast<long>(r)));
    EXPECT_EQ(d.list("pmBaudRate"), rates);
    const auto handshake = d.list("pmHandShake");
    ASSERT_EQ(handshake.size(), 3u);
    EXPECT_EQ(handshake[1], "Xon/Xoff");
    EXPECT_EQ(handshake[2], "RTS/CTS");

    EXPECT_EQ(d.shown("pmConnection"), "GPIB");
    EXPECT_EQ(d.value("pmGpibBoard"), 1);
    EXPECT_EQ(d.shown("pmPrimaryAddress"), "19");
    EXPECT_EQ(d.shown("pmSecondaryAddress"), "none");
    EXPECT_EQ(d.value("pmPortNumber"), 1);
    EXPECT_EQ(d.shown("pmBaudRate"), "9600");
    EXPECT_EQ(d.shown("pmHandShake"), "Xon/Xoff");
    EXPECT_EQ(d.str("editTCPIPAddress"), "0.0.0.0");
    EXPECT_EQ(d.status(), "");

    // Only the GPIB controls show.
    for (const char* tag : {"pmGpibBoard", "pmPrimaryAddress", "lblSecondaryAddress"})
      EXPECT_TRUE(d.visible(tag)) << tag;
    for (const char* tag : {"pmPortNumber", "lblHandShake", "editTCPIPAddress"})
      EXPECT_FALSE(d.visible(tag)) << tag;

    // Modal, and the Tab key walks the fields top to bottom, then the buttons.
    EXPECT_TRUE(gfx::widgetOf(d.fig)->isModal());
    std::vector<std::string> chain;
    QWidget* w = d.widget("pmConnection");
    for (int step = 0; step < 200 && chain.size() < 11; ++step, w = w->nextInFocusChain())
      if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w->objectName().toStdString());
    EXPECT_EQ(chain, texts({"pmConnection", "pmGpibBoard", "pmPrimaryAddress", "pmSecondaryAddress",
                            "pmPortNumber", "pmBaudRate", "pmHandShake", "editTCPIPAddress",
                            "pbCheckHardware", "pbOK", "pbCancel"}));
    EXPECT_EQ(d.tip("pmBaudRate"),
              "Select the communication baud rate.\r\nNOTE: This must agree with the instrument.");
    EXPECT_EQ(d.tip("pmPrimaryAddress"),
              "Select the primary address of your source.\r\nThe default factory setting is 19.");
    EXPECT_EQ(d.tip("lblHandShake"),
              "Set the following Instrument Parameters\r\n  Transmit Pace = None\r\n"
              "  Receive Pace  = Xon\r\n  RTS/CTS       = Off");
    d.press("pbOK");
  });
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].str(), "OK");
  EXPECT_EQ(out[1], initConfig());
}

TEST_F(ConnectionDialogTest, SwitchingTheInterfaceShowsItsControlsAndKeepsTheWindowSize) {
  withDialog({Value(0.0), initConfig(), Value("Lab")}, [](Dialog& d) {
    EXPECT_EQ(gfx::getString(d.fig, "Name"), "Lab IO Connection");
    const Value size = gfx::get(d.fig, "Position");
    const Value labelAt = gfx::get(d.h("lblConnection"), "Position");
    d.choose("pmConnection", "RS232");
    for (const char* tag : {"pmPortNumber", "pmBaudRate", "pmHandShake", "lblHandShake"})
      EXPECT_TRUE(d.visible(tag)) << tag;
    EXPECT_FALSE(d.visible("pmGpibBoard"));
    EXPECT_EQ(gfx::guidata(d.fig).field("handlesLastConnection").toScalar(), 2);
    d.choose("pmHandShake", 3);
    const std::string pacing =
        "Set the following Instrument Parameters\r\n  Transmit Pace = None\r\n"
        "  Receive Pace  = None\r\n  RTS/CTS       = RTS/CTS Pacing";
    EXPECT_EQ(d.tip("pmHandShake"), pacing);
    EXPECT_EQ(d.tip("lblHandShake"), pacing);
    d.choose("pmConnection", "TCP/IP");
    EXPECT_TRUE(d.visible("editTCPIPAddress"));
    EXPECT_FALSE(d.visible("pmPortNumber"));
    EXPECT_FALSE(d.visible("pmPrimaryAddress"));
    QCoreApplication::processEvents();
    EXPECT_EQ(gfx::get(d.fig, "Position").real(2), size.real(2));
    EXPECT_EQ(gfx::get(d.fig, "Position").real(3), size.real(3));
    EXPECT_EQ(gfx::get(d.h("lblConnection"), "Position"), labelAt);
    d.press("pbCancel");
  });
}

// On a 96 dpi screen the fonts grow once, all alike.
TEST_F(ConnectionDialogTest, FontsAreScaledOnceOnAStandardResolutionScreen) {
  gfx::setPixelsPerInchOverride(96);
  withDialog([](Dialog& d) {
    const double size = gfx::getNumber(d.h("lblSecondaryAddress"), "FontSize");
    for (const char* tag : {"lblConnection", "pmConnection", "lblGpibBoard", "pmGpibBoard",
                            "lblPortNumber", "editTCPIPAddress", "lblTCPIPAddress", "pbOK"})
      EXPECT_EQ(gfx::getNumber(d.h(tag), "FontSize"), size) << tag;
    d.press("pbCancel");
  });
  gfx::setPixelsPerInchOverride(0);
}

// ---- the platform's interfaces -------------------------------------------------------

TEST_F(ConnectionDialogTest, PlatformDecidesTheInterfacesOffered) {
  // B: RS-232 and GPIB; a TCP/IP record shows GPIB.
  withDialog({Value(0.0), connection("TCPIP"), Value("b")}, [](Dialog& d) {
    EXPECT_EQ(d.list("pmConnection"), texts({"RS232", "GPIB"}));
    EXPECT_EQ(d.shown("pmConnection"), "GPIB");
    EXPECT_TRUE(d.visible("pmPrimaryAddress"));
    EXPECT_EQ(gfx::getString(d.fig, "Name"), "Signal Generator IO Connection");
    d.press("pbCancel");
  });
  withDialog({Value(0.0), connection("rs232"), Value("B")}, [](Dialog& d) {
    EXPECT_EQ(d.shown("pmConnection"), "RS232");
    EXPECT_TRUE(d.visible("pmBaudRate"));
    d.press("pbCancel");
  });
  // C: GPIB and TCP/IP; an RS-232 record shows GPIB, a TCP/IP one TCP/IP.
  withDialog({Value(0.0), connection("RS232"), Value("c")}, [](Dialog& d) {
    EXPECT_EQ(d.list("pmConnection"), texts({"GPIB", "TCP/IP"}));
    EXPECT_EQ(d.shown("pmConnection"), "GPIB");
    d.press("pbCancel");
  });
  const auto out = withDialog({Value(0.0), connection("tcpip"), Value("c")}, [](Dialog& d) {
    EXPECT_EQ(d.shown("pmConnection"), "TCP/IP");
    EXPECT_TRUE(d.visible("editTCPIPAddress"));
    d.press("pbOK");
  });
  EXPECT_EQ(out[1].field("type").str(), "TCPIP");
}

// The Alt letters of the labels and buttons on screen for each interface:
// two alike would only move the focus between them instead of acting.
std::vector<QChar> mnemonicsOnScreen(const Dialog& d) {
  std::vector<QChar> letters;
  QWidget* window = gfx::widgetOf(d.fig);
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window)) continue;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
    for (int i = 0; i + 1 < text.size(); ++i)
      if (text[i] == '&') {
        if (text[i + 1] != '&') letters.push_back(text[i + 1].toLower());
        ++i;
      }
  }
  return letters;
}

TEST_F(ConnectionDialogTest, AltLettersAreUniqueAndSwitchingInterfaceClearsTheStatus) {
  for (const char* family : {"b", "c"})
    withDialog({Value(0.0), defaultConfiguration(), Value(family)}, [&](Dialog& d) {
      for (const std::string& entry : d.list("pmConnection")) {
        d.choose("pmConnection", entry);
        std::vector<QChar> letters = mnemonicsOnScreen(d);
        EXPECT_GE(letters.size(), 3u) << entry;
        std::sort(letters.begin(), letters.end());
        EXPECT_EQ(std::adjacent_find(letters.begin(), letters.end()), letters.end())
            << "an Alt letter is used twice with " << entry;
      }
      d.press("pbCancel");
    });
  withDialog({Value(0.0), connection("tcpip"), Value("c")}, [](Dialog& d) {
    d.type("editTCPIPAddress", "0.0.0.0");
    d.check();
    EXPECT_NE(d.status(), "");
    d.choose("pmConnection", "GPIB");
    EXPECT_EQ(d.status(), "");  // not left under the GPIB controls
    d.press("pbCancel");
  });
}

TEST_F(ConnectionDialogTest, TcpipIsReadBackAsTCPIPAndOtherFieldsPassThrough) {
  Value config = defaultConfiguration();
  config.setField("LastParameterFilename", Value("/data/frame.mat"));
  config.setField("timeout", Value(3.0));
  config.field("GPIB").setField("primary", Value(7.0));
  const auto out = withDialog({Value(0.0), config, Value("c")}, [](Dialog& d) {
    d.choose("pmConnection", "TCP/IP");
    d.type("editTCPIPAddress", "  tgx-lab.example:5025 ");
    EXPECT_EQ(d.status(), "");  // a well-formed address draws no remark
    d.press("pbOK");
  });
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].str(), "OK");
  const Value& c = out[1];
  EXPECT_EQ(c.field("type").str(), "TCPIP");
  EXPECT_EQ(c.field("TCPIP").field("address").str(), "tgx-lab.example:5025");
  EXPECT_EQ(c.field("TCPIP").field("board").toScalar(), 0);
  EXPECT_EQ(c.field("GPIB").field("primary").toScalar(), 7);
  EXPECT_EQ(c.field("BBGtype").str(), "M32");
  EXPECT_EQ(c.field("LastParameterFilename").str(), "/data/frame.mat");
  EXPECT_EQ(c.field("timeout").toScalar(), 3);
}

// The time-out is typed with its unit; OK refuses text that is no time from
// 0.1 s to 1 h and keeps the dialog open, saying why.
TEST_F(ConnectionDialogTest, TimeOutIsTypedWithItsUnit) {
  Value config = defaultConfiguration();
  config.setField("timeout", Value(0.5));
  const auto out = withDialog({Value(0.0), config, Value("c")}, [](Dialog& d) {
    EXPECT_EQ(d.str("editTimeout"), "500 ms");
    for (const char* wrong : {"10 MHz", "soon", "0.01 s", "2 h"}) {
      d.type("editTimeout", wrong);
      d.press("pbOK");
      EXPECT_NE(d.status().find("is not a time"), std::string::npos) << wrong << d.status();
    }
    d.type("editTimeout", "2500 ms");
    d.press("pbOK");
  });
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].str(), "OK");
  EXPECT_EQ(out[1].field("timeout").toScalar(), 2.5);
}

// ---- the record the dialog opens with ------------------------------------------------

// The start record with settings of its interfaces changed.
struct Setting {
  const char* group;  // GPIB, RS232 or TCPIP
  const char* field;
  double value;
};
Value initConfigWith(std::initializer_list<Setting> settings) {
  Value config = initConfig();
  for (const Setting& s : settings) config.field(s.group).setField(s.field, Value(s.value));
  return config;
}

TEST_F(ConnectionDialogTest, LimitsApplyOnOpening) {
  Value config = initConfigWith({{"GPIB", "board", 20},
                                 {"GPIB", "primary", 45},
                                 {"GPIB", "secondary", -5},
                                 {"RS232", "port", 0},
                                 {"RS232", "baudrate", 1e6},
                                 {"TCPIP", "board", 7}});
  const auto out = withDialog({Value(0.0), config}, [](Dialog& d) {
    EXPECT_EQ(d.shown("pmGpibBoard"), "GPIB15");
    EXPECT_EQ(d.shown("pmPrimaryAddress"), "30");
    EXPECT_EQ(d.shown("pmSecondaryAddress"), "none");
    EXPECT_EQ(d.value("pmPortNumber"), 1);
    EXPECT_EQ(d.shown("pmBaudRate"), "115200");
    d.press("pbOK");
  });
  const Value& c = out[1];
  EXPECT_EQ(c.field("GPIB").field("board").toScalar(), 15);
  EXPECT_EQ(c.field("GPIB").field("primary").toScalar(), 30);
  EXPECT_EQ(c.field("GPIB").field("secondary").toScalar(), -1);
  EXPECT_EQ(c.field("RS232").field("port").toScalar(), 1);
  EXPECT_EQ(c.field("RS232").field("baudrate").toScalar(), 115200);
  EXPECT_EQ(c.field("TCPIP").field("board").toScalar(), 0);

  // The bounds themselves stay; Cancel returns the limited record too.
  config = initConfigWith({{"GPIB", "primary", 0},
                           {"GPIB", "secondary", 31},
                           {"RS232", "port", 9},
                           {"RS232", "baudrate", 50}});
  const auto cancelled = withDialog({Value(0.0), config}, [](Dialog& d) {
    EXPECT_EQ(d.shown("pmPrimaryAddress"), "0");
    EXPECT_EQ(d.shown("pmSecondaryAddress"), "31");
    EXPECT_EQ(d.value("pmPortNumber"), 9);
    EXPECT_EQ(d.shown("pmBaudRate"), "300");
    d.press("pbCancel");
  });
  EXPECT_EQ(cancelled[0].str(), "Cancel");
  EXPECT_EQ(cancelled[1].field("RS232").field("baudrate").toScalar(), 300);
  EXPECT_EQ(cancelled[1].field("GPIB").field("secondary").toScalar(), 31);

  // A rate inside the range that the list does not offer shows the first entry.
  config.field("RS232").setField("baudrate", Value(14400.0));
  const auto unlisted = withDialog({Value(0.0), config}, [](Dialog& d) {
    EXPECT_EQ(d.value("pmBaudRate"), 1);
    d.press("pbOK");
  });
  EXPECT_EQ(unlisted[1].field("RS232").field("baudrate").toScalar(), 300);
}

TEST_F(ConnectionDialogTest, RecordsOfTheOlderLayoutOpenConverted) {
  auto old = [](double connection) {
    return Value::record({{"Connection", connection},
                          {"GPIBboard", 1.0},
                          {"Primary", 5.0},
                          {"Secondary", 2.0},
                          {"RS232Port", 3.0},
                          {"BaudRate", 19200.0},
                          {"HandShake", 0.0},
                          {"BBGtype", Value("M08")}});
  };
  const auto serial = withDialog({Value(0.0), old(1), Value("b")}, [](Dialog& d) {
    EXPECT_EQ(d.shown("pmConnection"), "RS232");
    EXPECT_EQ(d.value("pmPortNumber"), 3);
    EXPECT_EQ(d.shown("pmBaudRate"), "19200");
    EXPECT_EQ(d.value("pmHandShake"), 1);
    d.press("pbOK");
  });
  const Value& c = serial[1];
  EXPECT_EQ(c.field("type").str(), "RS232");
  EXPECT_EQ(c.field("RS232").field("handshake").str(), "None");
  EXPECT_EQ(c.field("TCPIP").field("address").str(), "0.0.0.0");
  EXPECT_EQ(c.field("BBGtype").str(), "M08");
  for (const char* gone :
       {"Connection", "GPIBboard", "Primary", "Secondary", "RS232Port", "BaudRate", "HandShake"})
    EXPECT_FALSE(c.hasField(gone)) << gone;

  for (double other : {2.0, 7.0}) {
    const auto gpib = withDialog({Value(0.0), old(other), Value("b")}, [](Dialog& d) {
      EXPECT_EQ(d.shown("pmConnection"), "GPIB");
      EXPECT_EQ(d.shown("pmGpibBoard"), "GPIB1");
      EXPECT_EQ(d.shown("pmPrimaryAddress"), "5");
      EXPECT_EQ(d.shown("pmSecondaryAddress"), "2");
      d.press("pbCancel");
    });
    EXPECT_EQ(gpib[1].field("type").str(), "GPIB");
  }
}

// ---- leaving the dialog ---------------------------------------------------------------

TEST_F(ConnectionDialogTest, CancelEscapeAndTheCloseBoxReturnCancel) {
  const Value config = connection("RS232");
  auto edit = [](Dialog& d) {
    d.choose("pmConnection", "GPIB");
    d.choose("pmPrimaryAddress", 3);
  };
  const auto cancelled = withDialog({Value(0.0), config}, [&](Dialog& d) {
    edit(d);
    d.press("pbCancel");
  });
  EXPECT_EQ(cancelled[0].str(), "Cancel");
  EXPECT_EQ(cancelled[1], config);

  const auto escaped = withDialog({Value(0.0), config}, [&](Dialog& d) {
    edit(d);
    QTest::keyClick(d.widget("pmPrimaryAddress"), Qt::Key_Escape);
  });
  EXPECT_EQ(escaped[0].str(), "Cancel");
  EXPECT_EQ(escaped[1], config);

  const auto closed = withDialog({Value(0.0), config}, [&](Dialog& d) {
    edit(d);
    gfx::widgetOf(d.fig)->close();
  });
  EXPECT_EQ(closed[0].str(), "Cancel");
  EXPECT_EQ(closed[1], config);
}

TEST_F(ConnectionDialogTest, EnterInTheAddressFieldIsOK) {
  const auto out = withDialog({Value(0.0), connection("TCPIP"), Value("c")}, [](Dialog& d) {
    auto* field = qobject_cast<QLineEdit*>(d.widget("editTCPIPAddress"));
    ASSERT_NE(field, nullptr);
    field->clear();
    QTest::keyClicks(field, "tgx-lab");
    QTest::keyClick(field, Qt::Key_Return);
  });
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].str(), "OK");
  EXPECT_EQ(out[1].field("TCPIP").field("address").str(), "tgx-lab");
}

TEST_F(ConnectionDialogTest, OpensOverItsParentWithTopEdgesAligned) {
  const double parent = gfx::newFigure();
  gfx::set(parent, "Position", Value::row({100, 100, 800, 600}));
  withDialog({Value(parent), initConfig()}, [](Dialog& d) {
    const Value p = gfx::get(d.fig, "Position");
    EXPECT_NEAR(p.real(0) + p.real(2) / 2, 500, 1);
    EXPECT_NEAR(p.real(1) + p.real(3), 700, 1);
    d.press("pbCancel");
  });
  gfx::deleteFigure(parent);
}

// ---- the callback form --------------------------------------------------------------------

TEST_F(ConnectionDialogTest, CallbackFormReachesTheLocalOperations) {
  withDialog({Value(0.0), initConfig(), Value("c")}, [](Dialog& d) {
    auto call = [](std::initializer_list<Value> in) { return feval1("KS_SigGen", in); };
    const Value list = d.handles.field("pmConnection");
    EXPECT_EQ(call({Value("ConvertStringToIndex"), list, Value("tcpip")}).toScalar(), 2);
    EXPECT_EQ(call({Value("ConvertStringToIndex"), list, Value("serial")}).toScalar(), 1);
    EXPECT_EQ(call({Value("ConvertIndexToString"), list, Value(2.0)}).str(), "TCPIP");
    EXPECT_EQ(call({Value("ConvertIndexToString"), list, Value(0.0)}).str(), "GPIB");
    EXPECT_EQ(call({Value("ConvertIndexToString"), list, Value(3.0)}).str(), "GPIB");
    const Value shown = call({Value("UpdateConfig"), gfx::guidata(d.fig)});
    EXPECT_EQ(shown, initConfig());
    // Another record shown through the same operation the dialog uses.
    Value other = initConfig();
    other.setField("type", Value("TCPIP"));
    other.field("TCPIP").setField("address", Value("tgx-lab"));
    feval("KS_SigGen", 0, {Value("UpdateGuiObjects"), gfx::guidata(d.fig), other});
    EXPECT_EQ(d.shown("pmConnection"), "TCP/IP");
    EXPECT_EQ(d.str("editTCPIPAddress"), "tgx-lab");
    // A value the list cannot show is reported in the status line.
    other.field("GPIB").setField("board", Value(40.0));
    feval("KS_SigGen", 0, {Value("UpdateGuiObjects"), gfx::guidata(d.fig), other});
    EXPECT_NE(d.status().find("pmGpibBoard"), std::string::npos) << d.status();
    d.press("pbCancel");
  });
}

}  // namespace
}  // namespace dot11a::test
