// The connection dialog's Check Hardware against the simulated signal
// generator, the Configuration menu feeding Download, and pictures of every
// interface.
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "connection_dialog_driver.hpp"
#include "dot11a/instrument.hpp"
#include "instrument/sim_process.hpp"
#include "screenshots.hpp"

namespace dot11a::test {
namespace {

// ---- Check Hardware ------------------------------------------------------------------------

Value tcpip(const std::string& address) {
  Value c = connection("TCPIP");
  c.field("TCPIP").setField("address", Value(address));
  c.setField("timeout", Value(5.0));
  return c;
}

// The status line's first line: the identity; the instrument's ranges follow.
std::string identity(const std::string& status) {
  return status.substr(0, status.find('\n'));
}

TEST_F(ConnectionDialogTest, CheckHardwareShowsTheIdentityOfTheAddressOnScreen) {
  SimProcess sim({"--idn", "Kestrin,TGX4438B,US40051234,C.05.20"});
  const auto out = withDialog({Value(0.0), tcpip("0.0.0.0"), Value("c")}, [&](Dialog& d) {
    // The default address is the gateway's "not configured", not a connection.
    d.check();
    EXPECT_NE(d.status().find("not configured"), std::string::npos) << d.status();
    // The address typed, not the one the dialog opened with, is checked.
    d.type("editTCPIPAddress", sim.address());
    d.check();
    EXPECT_EQ(identity(d.status()), "Kestrin,TGX4438B,US40051234,C.05.20");
    EXPECT_EQ(gfx::getString(d.fig, "Pointer"), "arrow");
    d.press("pbCancel");
  });
  EXPECT_EQ(out[0].str(), "Cancel");
  EXPECT_EQ(out[1].field("TCPIP").field("address").str(), "0.0.0.0");
  EXPECT_EQ(sim.log().front(), "*IDN?");
}

TEST_F(ConnectionDialogTest, CheckHardwareReportsARefusedPortAtOnce) {
  int port = 0;
  {
    SimProcess gone;  // a port nobody listens on any more
    port = gone.port();
  }
  withDialog({Value(0.0), tcpip("127.0.0.1:" + std::to_string(port)), Value("c")}, [](Dialog& d) {
    QElapsedTimer clock;
    clock.start();
    d.check();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_NE(d.status().find("refused"), std::string::npos) << d.status();
    d.press("pbCancel");
  });
}

// An instrument that never answers keeps the check waiting for its whole
// time-out; the dialog answers the user meanwhile, and a late answer never
// lands in a status line that has moved on.
TEST_F(ConnectionDialogTest, SilentInstrumentLeavesTheDialogResponsive) {
  SimProcess silent({"--stall-on", "*IDN"});
  Value config = tcpip(silent.address());
  config.setField("timeout", Value(2.0));
  QElapsedTimer clock;
  clock.start();
  const auto out = withDialog({Value(0.0), config, Value("c")}, [&](Dialog& d) {
    d.press("pbCheckHardware");
    EXPECT_LT(clock.elapsed(), 1500) << "the press waited for the instrument";
    EXPECT_TRUE(d.checking());
    EXPECT_EQ(d.status(), "... Checking ...");
    d.press("pbCheckHardware");  // a second press while one runs starts nothing
    // The controls still work: the user switches to GPIB, which drops the
    // pending answer, then back.
    d.choose("pmConnection", "GPIB");
    d.choose("pmConnection", "TCP/IP");
    while (d.checking() && clock.elapsed() < 15000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(d.checking());
    EXPECT_EQ(d.status(), "") << "the answer of a check the user switched away from";
    // Checked again and left alone, the time-out is reported.
    d.check();
    EXPECT_NE(d.status(), "");
    EXPECT_NE(d.status(), "... Checking ...");
    d.press("pbCheckHardware");
    d.press("pbOK");  // closes at once, the check still running
  });
  EXPECT_EQ(out[0].str(), "OK");
  EXPECT_LT(clock.elapsed(), 12000);
  // The next opening waits for the check the closed dialog left running.
  withDialog({Value(0.0), config, Value("c")}, [&](Dialog& d) {
    EXPECT_EQ(d.status(), "");
    while (d.checking() && clock.elapsed() < 20000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(d.checking());
    EXPECT_EQ(d.status(), "") << "an answer that belongs to the closed dialog";
    d.press("pbCancel");
  });
}

TEST_F(ConnectionDialogTest, AnAddressThatIsNoHostOrHostPortIsReportedBeforeConnecting) {
  SimProcess sim;
  const std::string port = std::to_string(sim.port());
  withDialog({Value(0.0), tcpip(sim.address()), Value("c")}, [&](Dialog& d) {
    for (const std::string& bad : std::vector<std::string>{
             std::string("127.0.0.1:") + port + ":1", "127.0.0.1 " + port, "tgx lab",
             "tgx_lab:", "tgx-lab:0", "tgx-lab:65536", "[::1" + std::string("]:") + port + "x",
             "127.0.0.256:" + port, "-tgx:" + port, std::string("   ")}) {
      d.type("editTCPIPAddress", bad);
      EXPECT_NE(d.status().find("TCP/IP address"), std::string::npos) << bad << ": " << d.status();
      d.check();
      EXPECT_NE(d.status().find("TCP/IP address"), std::string::npos) << bad << ": " << d.status();
    }
    // A corrected address takes the remark away; a check result stays.
    d.type("editTCPIPAddress", "tgx lab");
    d.type("editTCPIPAddress", "tgx-lab");
    EXPECT_EQ(d.status(), "");
    // Well-formed forms pass the check and reach the instrument.
    for (const std::string& good :
         std::vector<std::string>{"127.0.0.1:" + port, "localhost:" + port}) {
      d.type("editTCPIPAddress", good);
      d.check();
      EXPECT_EQ(identity(d.status()), "Kestrin Veltora,TGX-SIM,000001,1.0") << good;
    }
    d.type("editTCPIPAddress", "localhost:" + port);
    EXPECT_EQ(identity(d.status()), "Kestrin Veltora,TGX-SIM,000001,1.0");
    d.press("pbCancel");
  });
  // Only the two well-formed addresses connected (identity and six range queries each).
  EXPECT_EQ(sim.log().size(), 14u);
}

// ---- the Configuration menu and Download -------------------------------------------------

class ConnectionMenuTest : public MainWindowTest {};

TEST_F(ConnectionMenuTest, TheConnectionChosenIsTheOneDownloadUses) {
  SimProcess sim;
  global("appInfo").setField("Platform", Value("c"));
  global("configuration").setField("timeout", Value(5.0));
  const Value before = global("configuration");

  auto openMenu = [&](const std::function<void(Dialog&)>& act) {
    drive([&] { gfx::runCallback(h("menuConfigSigGenIO")); }, act);
  };
  // Cancel keeps the configuration whatever was chosen.
  openMenu([&](Dialog& d) {
    d.choose("pmConnection", "TCP/IP");
    d.type("editTCPIPAddress", sim.address());
    d.press("pbCancel");
  });
  EXPECT_EQ(global("configuration"), before);

  global("SigGenSettings").setField("Amplitude", Value(30.0));  // more than this one gives
  openMenu([&](Dialog& d) {
    EXPECT_EQ(d.list("pmConnection"), texts({"GPIB", "TCP/IP"}));
    d.choose("pmConnection", "TCP/IP");
    d.type("editTCPIPAddress", sim.address());
    d.check();
    EXPECT_EQ(identity(d.status()), "Kestrin Veltora,TGX-SIM,000001,1.0");
    if (const char* dir = std::getenv("DOT11A_SCREENSHOT_DIR")) {  // scripts/screenshots.sh
      std::filesystem::create_directories(dir);
      gfx::widgetOf(d.fig)->grab().save(
          QString::fromStdString(std::string(dir) + "/connection-ranges.png"));
    }
    d.press("pbOK");
  });
  const Value& config = global("configuration");
  EXPECT_EQ(config.field("type").str(), "TCPIP");
  EXPECT_EQ(config.field("TCPIP").field("address").str(), sim.address());
  EXPECT_EQ(config.field("BBGtype"), before.field("BBGtype"));
  // The check asked the generator for its ranges; OK keeps them for this address.
  ASSERT_TRUE(storedInstrumentLimits(config, "c"));
  EXPECT_EQ(storedInstrumentLimits(config, "c")->frequencyMax, 6e9);
  // The fields are brought within the ranges at once, and the user is told.
  EXPECT_EQ(sigGen("Amplitude"), 25);
  EXPECT_NE(message().find("amplitude 30 dBm to 25 dBm"), std::string::npos) << message();

  gfx::runCallback(h("pbCalculate"));
  gfx::runCallback(h("pbDownload"));
  ASSERT_EQ(script->shown.size(), 1u) << script->shown.back().text;
  EXPECT_EQ(script->shown[0].title, "Download Completed");
  EXPECT_EQ(sim.readFile("DOT11A.iq").size(), global("waveform").numel() * 4);
}

// The analyzer's connection shares the dialog: its check asks the identity
// and nothing a signal generator would be asked.
TEST_F(ConnectionMenuTest, TheAnalyzerIsNotAskedForGeneratorRanges) {
  SimProcess sim;
  global("appInfo").setField("Platform", Value("c"));
  drive([&] { gfx::runCallback(h("menuConfigSpecAnIO")); },
        [&](Dialog& d) {
          d.choose("pmConnection", "TCP/IP");
          d.type("editTCPIPAddress", sim.address());
          d.check();
          EXPECT_EQ(d.status(), "Kestrin Veltora,TGX-SIM,000001,1.0");
          d.press("pbOK");
        });
  EXPECT_EQ(sim.log(), std::vector<std::string>{"*IDN?"});
  EXPECT_FALSE(global("configurationSA").hasField("InstrumentRanges"));
}

// ---- pictures ------------------------------------------------------------------------------

// Pictures of the dialog for each interface, and of the dialog over the main
// window as Configuration > Sig Gen I/O opens it; only when
// DOT11A_SCREENSHOT_DIR names a folder (scripts/screenshots.sh sets it).
class ConnectionDialogScreenshots : public MainWindowTest {};

TEST_F(ConnectionDialogScreenshots, EveryInterface) {
  const std::string dirText = screenshotFolder();
  const char* dir = dirText.c_str();
  std::filesystem::create_directories(dir);
  SimProcess sim;
  SimProcess silent({"--stall-on", "*IDN"});
  auto save = [&](Dialog& d, const std::string& name) {
    QCoreApplication::processEvents();
    const std::string path = std::string(dir) + "/" + name;
    EXPECT_TRUE(gfx::widgetOf(d.fig)->grab().save(QString::fromStdString(path))) << path;
  };
  withDialog({Value(0.0), initConfig()}, [&](Dialog& d) {
    save(d, "connection-gpib.png");
    d.choose("pmConnection", "RS232");
    d.choose("pmHandShake", "RTS/CTS");
    save(d, "connection-rs232.png");
    d.choose("pmConnection", "TCP/IP");
    d.type("editTCPIPAddress", sim.address());
    d.check();
    save(d, "connection-tcpip.png");
    d.type("editTCPIPAddress", "tgx lab");
    d.check();
    save(d, "connection-tcpip-error.png");
    // A check that waits for a silent instrument: the button is off meanwhile.
    d.type("editTCPIPAddress", silent.address());
    d.press("pbCheckHardware");
    save(d, "connection-tcpip-checking.png");
    d.press("pbCancel");
  });
  // Over the main window: both drawn where they stand on the screen.
  gfx::setString(fig, "Visible", "on");
  drive([&] { gfx::runCallback(h("menuConfigSigGenIO")); },
        [&](Dialog& d) {
          QCoreApplication::processEvents();
          QWidget* main = gfx::widgetOf(fig);
          QWidget* dialog = gfx::widgetOf(d.fig);
          QPixmap picture = main->grab();
          QPainter painter(&picture);
          const QPoint at = dialog->geometry().topLeft() - main->geometry().topLeft();
          painter.drawPixmap(at, dialog->grab());
          // The window system draws the dialog's frame; a line stands for it.
          painter.setPen(Qt::darkGray);
          painter.drawRect(QRect(at, dialog->size()).adjusted(0, 0, -1, -1));
          painter.end();
          const std::string path = std::string(dir) + "/connection-over-main.png";
          EXPECT_TRUE(picture.save(QString::fromStdString(path))) << path;
          d.press("pbCancel");
        });
}

}  // namespace
}  // namespace dot11a::test
