// The MAC header dialog opened from the main window and used as a user uses
// it: the start record, hexadecimal entries with their clamps, refused text,
// the two fields that are always sent, OK / Cancel / close box / Escape, a
// record of another layout, and a shortened header through Save and Open.
#include <QLineEdit>
#include <QTest>
#include <filesystem>

#include "dialog_fixture.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/size_estimate.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

class MacHeaderDialog : public MainWindowDialogTest {
 protected:
  MacHeaderDialog() : MainWindowDialogTest("MACheader", "pbMACheaderSetup") {}
  void SetUp() override {
    MainWindowDialogTest::SetUp();
    if (HasFatalFailure()) return;
    choose("chkMACheader", 1);  // the set-up button needs an active header
    ASSERT_TRUE(enabled("pbMACheaderSetup"));
  }
  static const Value& header() { return params().field("MACheader"); }
  static double contents(std::string_view field) {
    return header().field("Contents").field(field).field("Contents").toScalar();
  }
  std::string status() const { return textOf(dialog, "txtStatusMessage"); }
};

TEST_F(MacHeaderDialog, OpensWithTheStartRecordAndSaysWhatEachFieldIs) {
  openWith([this] {
    for (const char* f : {"FrameCntrl", "DurationID", "SeqCntrl"})
      EXPECT_EQ(textOf(dialog, std::string("txt") + f), "0000") << f;
    for (const char* f : {"Address1", "Address2", "Address3", "Address4"})
      EXPECT_EQ(textOf(dialog, std::string("txt") + f), "000000000000") << f;
    for (std::string_view f : kMacFieldsRecordOrder) {
      EXPECT_EQ(gfx::getNumber(control(dialog, "chk" + std::string(f)), "Value"), 1) << f;
      EXPECT_TRUE(isOn(dialog, "txt" + std::string(f))) << f;
    }
    EXPECT_EQ(textOf(dialog, "txtHeaderLength"), "30");
    EXPECT_EQ(gfx::getString(control(dialog, "txtAddress1"), "TooltipString"),
              "Address 1 Field.\nLength: 6 bytes\nHexadecimal representation.");
    EXPECT_EQ(gfx::getString(control(dialog, "txtSeqCntrl"), "TooltipString"),
              "Sequence Control Field.\nLength: 2 bytes\nHexadecimal representation.");
    EXPECT_EQ(gfx::getString(control(dialog, "chkFrameCntrl"), "TooltipString"),
              "Frame Control Field.\nAlways active");
    EXPECT_EQ(gfx::getString(control(dialog, "chkAddress4"), "TooltipString"),
              "Includes/excludes the\nAddress 4 Field.");
    EXPECT_EQ(gfx::getString(dialog, "Visible"), "on");
    EXPECT_TRUE(gfx::widgetOf(dialog)->isModal());
    // Tab walks each field's check box and value in the order they are sent.
    EXPECT_EQ(tabChain(dialog, "chkFrameCntrl", 16),
              (std::vector<std::string>{
                  "chkFrameCntrl", "txtFrameCntrl", "chkDurationID", "txtDurationID", "chkAddress1",
                  "txtAddress1", "chkAddress2", "txtAddress2", "chkAddress3", "txtAddress3",
                  "chkSeqCntrl", "txtSeqCntrl", "chkAddress4", "txtAddress4", "pbOK", "pbCancel"}));
    press(dialog, "pbOK");
  });
  EXPECT_EQ(gfx::getString(dialog, "Visible"), "off");  // hidden, kept for the next time
  EXPECT_TRUE(gfx::isHandle(dialog));
  EXPECT_EQ(header().field("Length").toScalar(), 30);
  EXPECT_EQ(header().field("Contents"), defaultMACheader());
}

TEST_F(MacHeaderDialog, HexadecimalEntriesAreClampedAndShownWithLeadingZeros) {
  openWith([this] {
    typeInto(dialog, "txtDurationID", "1ffff");  // too large: the largest value
    EXPECT_EQ(textOf(dialog, "txtDurationID"), "FFFF");
    EXPECT_NE(status().find("Duration/ID limited to FFFF"), std::string::npos) << status();
    typeInto(dialog, "txtAddress2", "ab");  // lower case, rewritten in upper case
    EXPECT_EQ(textOf(dialog, "txtAddress2"), "0000000000AB");
    EXPECT_EQ(status(), "");              // an accepted entry clears the message
    typeInto(dialog, "txtSeqCntrl", "");  // empty: the largest value
    EXPECT_EQ(textOf(dialog, "txtSeqCntrl"), "FFFF");
    typeInto(dialog, "txtFrameCntrl", " 0108 ");
    typeInto(dialog, "txtAddress1", "001122334455");
    press(dialog, "pbOK");
  });
  EXPECT_EQ(contents("DurationID"), 65535);
  EXPECT_EQ(contents("Address2"), 171);
  EXPECT_EQ(contents("SeqCntrl"), 65535);
  EXPECT_EQ(contents("Address1"), 0x001122334455);
  // The stored bit stream is that of the fields, in the order they are sent:
  // Frame Control 0x0108 low byte first, each byte least significant bit first,
  // Address 1 from bit 33, Sequence Control after Address 3.
  const Value& bits = header().field("Contents").field("BitStream");
  ASSERT_EQ(bits.numel(), 240u);
  const double fc[] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bits.real(i), fc[i]) << i;
  EXPECT_EQ(bits.real(32), 1);  // 0x55 = 01010101, LSB first
  EXPECT_EQ(bits.real(33), 0);
  for (int i = 176; i < 192; ++i) EXPECT_EQ(bits.real(i), 1) << i;  // SeqCntrl FFFF
  EXPECT_EQ(bits, Value::bits(macHeaderBits(header().field("Contents"))));
}

// An address typed as people write it goes on air in the order written; the
// number the field stores (and files keep) is the same as the hexadecimal
// entry that sends those octets.
TEST_F(MacHeaderDialog, AddressesAreReadInTransmissionOrderAndShownAsSent) {
  openWith([this] {
    typeInto(dialog, "txtAddress1", "0013A2FFEE01");  // a number: its low octet first
    EXPECT_EQ(textOf(dialog, "lblSizeAddress1"), "hex, 6 bytes\non air 01:EE:FF:A2:13:00");
    typeInto(dialog, "txtAddress1", "00:13:A2:FF:EE:01");
    EXPECT_EQ(textOf(dialog, "txtAddress1"), "01EEFFA21300");
    EXPECT_EQ(textOf(dialog, "lblSizeAddress1"), "hex, 6 bytes\non air 00:13:A2:FF:EE:01");
    typeInto(dialog, "txtAddress2", "02-00-00-00-00-0f");
    for (const char* bad : {"00:13:A2:FF:EE", "00:13-A2:FF:EE:01", "00:13:A2:FF:EE:0G"}) {
      typeInto(dialog, "txtAddress2", bad);
      EXPECT_NE(status().find("is not an address of six octets"), std::string::npos) << bad;
      EXPECT_EQ(textOf(dialog, "txtAddress2"), "0F0000000002") << bad;
    }
    QCoreApplication::processEvents();  // a refusal holds OK back for its key press
    press(dialog, "pbOK");
  });
  EXPECT_EQ(contents("Address1"), 0x01EEFFA21300);
  // The first octet on air is 0x00: bit 0 of the first address octet (the
  // group bit, 33rd bit of the header) stays clear.
  const Value& bits = header().field("Contents").field("BitStream");
  for (int i = 32; i < 40; ++i) EXPECT_EQ(bits.real(i), 0) << i;
  EXPECT_EQ(bits.real(40), 1);  // 0x13 = 00010011, LSB first
  EXPECT_EQ(bits.real(41), 1);
}

// A host program reads the record being edited from the shared global.
TEST_F(MacHeaderDialog, TheSharedGlobalHoldsTheRecordBeingEdited) {
  openWith([this] {
    EXPECT_EQ(global("MACheader"), defaultMACheader());
    typeInto(dialog, "txtAddress2", "ab");
    setAndFire(dialog, "chkAddress4", 0);
    const Value& working = global("MACheader");
    EXPECT_TRUE(working.isRecord());
    if (working.isRecord()) {
      EXPECT_EQ(working.field("Address2").field("Contents").toScalar(), 171);
      EXPECT_EQ(working.field("BitStream").numel(), 192u);
    }
    press(dialog, "pbCancel");
  });
}

TEST_F(MacHeaderDialog, RefusedTextIsReplacedByTheStoredValueAndExplained) {
  openWith([this] {
    typeInto(dialog, "txtAddress3", "12");
    typeInto(dialog, "txtAddress3", "12G4");
    // The box shows what OK returns, and the dialog says why.
    EXPECT_EQ(textOf(dialog, "txtAddress3"), "000000000012");
    EXPECT_EQ(status(),
              "Address 3: \"12G4\" is not a hexadecimal number (digits 0-9 and A-F); it stays "
              "000000000012.");
    QCoreApplication::processEvents();

    // Enter on a refused entry keeps the dialog open so the message is read.
    auto* edit = qobject_cast<QLineEdit*>(gfx::widgetOf(control(dialog, "txtDurationID")));
    ASSERT_NE(edit, nullptr);
    edit->clear();
    QTest::keyClicks(edit, "zz");  // typed: only a changed field is read again
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(gfx::getString(dialog, "Visible"), "on");
    EXPECT_EQ(edit->text(), "0000");
    EXPECT_NE(status().find("\"zz\" is not a hexadecimal number"), std::string::npos);
    QCoreApplication::processEvents();
    edit->clear();
    QTest::keyClicks(edit, "00a1");
    QTest::keyClick(edit, Qt::Key_Return);  // Enter is OK
  });
  EXPECT_EQ(gfx::getString(dialog, "Visible"), "off");
  EXPECT_EQ(contents("Address3"), 0x12);
  EXPECT_EQ(contents("DurationID"), 0xA1);
}

TEST_F(MacHeaderDialog, FrameControlAndDurationCannotBeLeftOut) {
  openWith([this] {
    EXPECT_FALSE(isOn(dialog, "chkFrameCntrl"));
    EXPECT_FALSE(isOn(dialog, "chkDurationID"));
    EXPECT_TRUE(isOn(dialog, "chkSeqCntrl"));
    setAndFire(dialog, "chkFrameCntrl", 0);  // a callback that runs anyway changes nothing
    EXPECT_EQ(gfx::getNumber(control(dialog, "chkFrameCntrl"), "Value"), 1);
    EXPECT_NE(status().find("Frame Control is part of every frame"), std::string::npos);
    EXPECT_EQ(textOf(dialog, "txtHeaderLength"), "30");
    press(dialog, "pbOK");
  });
  EXPECT_EQ(header().field("Contents").field("FrameCntrl").field("Active").toScalar(), 1);
  EXPECT_EQ(header().field("Length").toScalar(), 30);

  // A record stored without Duration/ID (an older file) shows it left out and
  // lets the user include it again, after which it stays included.
  Value old = defaultMACheader();
  setMacFieldActive(old, "DurationID", false);
  params().field("MACheader").setField("Contents", old);
  openWith([this] {
    EXPECT_TRUE(isOn(dialog, "chkDurationID"));
    EXPECT_FALSE(isOn(dialog, "txtDurationID"));
    EXPECT_EQ(textOf(dialog, "txtHeaderLength"), "28");
    setAndFire(dialog, "chkDurationID", 1);
    EXPECT_FALSE(isOn(dialog, "chkDurationID"));
    EXPECT_TRUE(isOn(dialog, "txtDurationID"));
    press(dialog, "pbOK");
  });
  EXPECT_EQ(header().field("Length").toScalar(), 30);
}

TEST_F(MacHeaderDialog, OkUpdatesTheLengthsOfTheMainWindow) {
  const std::string projectedBefore = str("txtNumberOfSamples");
  openWith([this] {
    setAndFire(dialog, "chkAddress4", 0);
    EXPECT_FALSE(isOn(dialog, "txtAddress4"));
    EXPECT_EQ(textOf(dialog, "txtHeaderLength"), "24");
    // The working record follows every edit.
    EXPECT_EQ(feval("dot11_MACconfig", 1, {Value("recalcBitField"), Value("Address4")})[0].numel(),
              0u);
    press(dialog, "pbOK");
  });
  EXPECT_EQ(header().field("Length").toScalar(), 24);
  EXPECT_EQ(header().field("Contents").field("BitStream").numel(), 192u);
  EXPECT_EQ(str("txtTotalLength"), std::to_string(1024 + 24));
  EXPECT_EQ(str("txtNumberOfSamples"), std::to_string(sizeEstimate(params())) + " Samples");
  EXPECT_NE(str("txtNumberOfSamples"), projectedBefore);
}

TEST_F(MacHeaderDialog, CancelCloseBoxAndEscapeChangeNothing) {
  const Value before = params();
  openWith([this] {
    typeInto(dialog, "txtAddress1", "FFFF");
    setAndFire(dialog, "chkAddress2", 0);
    press(dialog, "pbCancel");
  });
  EXPECT_EQ(params(), before);
  openWith([this] {
    typeInto(dialog, "txtAddress1", "FFFF");
    gfx::widgetOf(dialog)->close();  // the close box
  });
  EXPECT_EQ(params(), before);
  EXPECT_TRUE(gfx::isHandle(dialog));  // still there for the next opening
  openWith([this] {
    // The next opening starts again from the parameter set.
    EXPECT_EQ(textOf(dialog, "txtAddress1"), "000000000000");
    typeInto(dialog, "txtAddress1", "FFFF");
    QTest::keyClick(gfx::widgetOf(dialog), Qt::Key_Escape);
  });
  EXPECT_EQ(params(), before);

  // Called directly, the module answers "Cancel" and hands back its working record.
  whileOpen(dialog, [this] {
    typeInto(dialog, "txtSeqCntrl", "7");
    press(dialog, "pbCancel");
  });
  const std::vector<Value> out = feval("dot11_MACconfig", 2, {dialog});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], Value("Cancel"));
  EXPECT_EQ(out[1].field("SeqCntrl").field("Contents").toScalar(), 7);
}

TEST_F(MacHeaderDialog, RecordsOfAnotherLayoutOpenAsTheirFieldsSay) {
  // Fields in another order, no bit stream, Address 4 missing: the dialog shows
  // the fields given, the start values for the missing one, and returns a
  // record in its own layout whose bit stream matches.
  Value given = Value::record();
  given.setField("Address1",
                 Value::record({{"Contents", double(0xABCDEF)}, {"Size", 6.0}, {"Active", 1.0}}));
  given.setField("FrameCntrl",
                 Value::record({{"Contents", double(0x0208)}, {"Size", 2.0}, {"Active", 1.0}}));
  given.setField("SeqCntrl", Value::record({{"Contents", 5.0}, {"Size", 2.0}, {"Active", 0.0}}));
  whileOpen(dialog, [this] {
    EXPECT_EQ(textOf(dialog, "txtAddress1"), "000000ABCDEF");
    EXPECT_EQ(textOf(dialog, "txtFrameCntrl"), "0208");
    EXPECT_EQ(textOf(dialog, "txtSeqCntrl"), "0005");
    EXPECT_FALSE(isOn(dialog, "txtSeqCntrl"));
    EXPECT_EQ(textOf(dialog, "txtAddress4"), "000000000000");
    press(dialog, "pbOK");
  });
  const std::vector<Value> out = feval("dot11_MACconfig", 2, {dialog, given});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], Value("OK"));
  Value expected = defaultMACheader();
  setMacField(expected, "Address1", 0xABCDEF);
  setMacField(expected, "FrameCntrl", 0x0208);
  setMacField(expected, "SeqCntrl", 5);
  setMacFieldActive(expected, "SeqCntrl", false);
  EXPECT_EQ(out[1], expected);

  // Something that is no header at all is refused before the window shows.
  EXPECT_THROW(feval("dot11_MACconfig", 2, {dialog, Value::row({1, 2})}), Error);
  EXPECT_EQ(gfx::getString(dialog, "Visible"), "off");
}

TEST_F(MacHeaderDialog, ShortenedHeaderSurvivesSaveAndOpen) {
  openWith([this] {
    typeInto(dialog, "txtFrameCntrl", "0108");
    typeInto(dialog, "txtAddress1", "001122334455");
    for (const char* f : {"chkSeqCntrl", "chkAddress2", "chkAddress3", "chkAddress4"})
      setAndFire(dialog, f, 0);
    EXPECT_EQ(textOf(dialog, "txtHeaderLength"), "10");
    press(dialog, "pbOK");
  });
  ASSERT_EQ(header().field("Length").toScalar(), 10);
  choose("chkMACfcs", 1);
  gfx::runCallback(h("pbCalculate"));
  const Value saved = params();
  const Value frame = global("waveform");
  ASSERT_FALSE(frame.isEmpty());
  const std::string file = (fs::current_path() / "short-header").string();
  script->answer(file);
  gfx::runCallback(h("menuFileSaveAs"));
  ASSERT_TRUE(fs::exists(file + ".mat"));

  // A restart in the same folder, then Open.
  gfx::runCallback(h("menuFileExit"));
  ASSERT_FALSE(gfx::isHandle(fig));
  global("waveform") = Value::empty();
  fig = feval1("dot11a_GUI_b", {}).toScalar();
  ASSERT_TRUE(gfx::isHandle(fig));
  handles = gfx::guihandles(fig);
  EXPECT_EQ(header().field("Length").toScalar(), 10);  // the file the title names is open
  gfx::runCallback(h("menuFileNew"));
  EXPECT_EQ(header().field("Length").toScalar(), 30);
  script->answer(file + ".mat");
  gfx::runCallback(h("menuFileOpen"));
  EXPECT_TRUE(feval1("compareStruct", {params(), saved}).truthy());
  EXPECT_EQ(str("txtTotalLength"), std::to_string(1024 + 10 + 4));
  gfx::runCallback(h("pbCalculate"));
  EXPECT_EQ(global("waveform"), frame);

  // The dialog opened again shows the header as it was saved.
  dialog = global("figureList").field("MACheader").toScalar();
  openWith([this] {
    EXPECT_EQ(textOf(dialog, "txtFrameCntrl"), "0108");
    EXPECT_EQ(gfx::getNumber(control(dialog, "chkAddress3"), "Value"), 0);
    EXPECT_EQ(textOf(dialog, "txtHeaderLength"), "10");
    press(dialog, "pbOK");
  });
  EXPECT_TRUE(feval1("compareStruct", {params(), saved}).truthy());
}

}  // namespace
}  // namespace dot11a::test
