// Instrument control: the connection configuration, the calls of the I/O
// gateway (the plugin that talks to the signal generator over TCP/IP, RS-232
// or GPIB), waveform download and the playback command sequences.
//
// The exported operations (hwPing, hwSend, hwQuery, hwDownload, hwReturnLocal,
// hwIO, formatconfig, VerifyComm, TGXDownLoadWrap, TGXPlay, TGXPlay_c) are thin
// adapters over these functions.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/siggen_settings.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// ---- connection configuration ---------------------------------------------------
//
// A record with `type` ("GPIB", "RS232" or "TCPIP", any case), `GPIB.board`,
// `GPIB.primary`, `GPIB.secondary` (-1 = none), `RS232.port`, `RS232.baudrate`,
// `RS232.handshake`, `TCPIP.address` (host, IPv4 or IPv6 address, optionally
// with ":port"; "0.0.0.0" = not configured) and `TCPIP.board`. The gateway
// also reads two optional fields: `timeout` (seconds for connecting and for
// each read or write, default 10) and `RS232.device` (a serial device path
// that replaces the one derived from the port number).

// The gateway's time-out in seconds: the configuration's `timeout` when it is
// a positive number (at most an hour), otherwise kDefaultIoTimeout.
inline constexpr double kDefaultIoTimeout = 10;
inline double ioTimeoutOf(const Value& config) {
  if (config.isRecord() && config.hasField("timeout")) {
    const Value& t = config.field("timeout");
    if (t.isNumeric() && !t.isEmpty() && t.toScalar() > 0) return std::min(t.toScalar(), 3600.0);
  }
  return kDefaultIoTimeout;
}

// The handshake entries in list order (positions 1, 2, 3).
inline constexpr std::array<const char*, 3> kHandshakeEntries = {"None", "Xon/Xoff", "RTS/CTS"};
// The baud rates offered, slowest first.
inline constexpr std::array<double, 10> kBaudRates = {300,  600,   1200,  2400,  4800,
                                                      9600, 19200, 38400, 57600, 115200};

// Sets the nine connection fields to their defaults (GPIB, board 0, primary
// 19, no secondary, port 1 at 9600 baud with Xon/Xoff, address "0.0.0.0",
// TCP/IP board 0); other fields of `configIn` survive. An empty or absent input
// starts from an empty record.
Value initConfig(const Value& configIn = Value());
// The application's start-up connection configuration: initConfig() plus
// `BBGtype` "M32" and an empty `LastParameterFilename`.
Value defaultConfiguration();
// Converts a record of the older flat layout (recognised by a field
// `Connection`) to the current one; any other record comes back unchanged.
// `handshakeEntries` are the texts of the handshake list; when empty, the
// handshake becomes "Xon/Xoff".
Value reStructureConfig(const Value& oldConfig, std::span<const std::string> handshakeEntries = {});
// Limits the address fields to their ranges (board 0..15, primary 0..30,
// secondary -1..31, port 1..9, baud rate within the offered rates) and sets
// `TCPIP.board` to 0, as a dialog does with a record it opens.
Value limitConfig(Value config);
// Every numeric address field (GPIB board/primary/secondary, RS232
// port/baudrate, TCPIP board) as a 32-bit integer: nearest, halves away from
// zero, limited to the 32-bit range. Everything else is untouched.
Value formatConfig(const Value& configIn);

// Why a TCP/IP address is not `host` or `host:port` (an IPv6 address in
// brackets when a port follows; a host made only of digits and dots must be
// a valid IPv4 address; port 1..65535), or nothing when it is one. Spaces
// around it are ignored. Checked before the gateway is asked, so a mistyped
// address never starts a name look-up or a connection.
std::optional<std::string> tcpipAddressProblem(std::string_view address);

// A configuration from a short address text:
//   tcpip:HOST[:PORT]   (IPv6 in brackets when a port follows: tcpip:[::1]:5025)
//   serial:PORT[:BAUD]  (PORT a number 1..9, or a device path such as /dev/ttyUSB0)
//   gpib:BOARD:PRIMARY[:SECONDARY]
// Raises a run-time error that shows the accepted forms for anything else.
Value configFromAddress(std::string_view address);

// ---- the gateway --------------------------------------------------------------------

// Gateway operation codes.
enum class GatewayCode : std::int32_t {
  Ping = 1,
  Send = 2,
  Query = 3,
  Download = 4,
  ReturnLocal = 5
};

// Status values the shipped gateway returns (0 = success).
namespace gateway_status {
inline constexpr int kOk = 0;
inline constexpr int kBadConfiguration = 1;  // incomplete or unusable connection settings
inline constexpr int kConnectFailed = 2;     // refused, unreachable, no such device
inline constexpr int kIoFailed = 3;          // dropped, stalled past the time-out, no answer
inline constexpr int kInstrumentError = 4;   // the instrument's error queue reported an error
inline constexpr int kBadInput = 5;          // a command, name or waveform the gateway refuses
inline constexpr int kNotInstalled = 6;      // the interface's system library is missing
}  // namespace gateway_status

struct IoResult {
  double status = 0;     // 0 = success
  std::string response;  // the instrument's answer, or what happened
  bool ok() const { return status == 0; }
};

// The raw gateway call: the plugin's outputs for these inputs (the first input
// is the operation code). Loads the plugin on first use; raises a run-time
// error when it cannot be loaded or when the gateway raises one. Calls from
// several threads are served one after the other.
std::vector<Value> callGateway(int nargout, std::span<const Value> inputs);
// Where the gateway plugin is looked for, in order: the file named by the
// environment variable DOT11A_HWIO_PLUGIN, the folder of this library, the
// installed library folder, then the dynamic linker's search path.
std::string gatewayPluginName();

IoResult hwPing(const Value& config);
IoResult hwSend(const Value& config, std::string_view command);
IoResult hwQuery(const Value& config, std::string_view query);
// Told, during a download, how many bytes of the two data commands have
// been handed to the connection (`sent`) of how many (`total`). Called on the
// thread that downloads. A gateway plugin without progress reports never
// calls it.
using TransferProgress = std::function<void(std::uint64_t sent, std::uint64_t total)>;

// Stores `data` (complex samples) and `markers` (2 x N of 0/1) under `name`.
IoResult hwDownload(const Value& config, const Value& data, const Value& markers,
                    std::string_view name, const TransferProgress& progress = {});
IoResult hwReturnLocal(const Value& config);

// ---- download and playback ----------------------------------------------------------

enum class Platform { B, C };
// "c" (any case) is the C platform; everything else the B platform.
Platform platformFromText(std::string_view letter);

// The text of the cancelled download, as TGXDownLoadWrap reports it.
inline constexpr std::string_view kDownloadCancelled = "download cancelled";

struct DownloadResult {
  double status = 0;
  std::string description;
  // True when the user declined the RS-232 transfer-time question: status is
  // 0 but nothing was sent, so the caller must neither start playback nor
  // report success.
  bool cancelled = false;
  bool ok() const { return status == 0 && !cancelled; }
};

// Asks the user whether to go ahead (title, question text); true goes ahead.
// Domain code never asks by itself: its caller passes what to ask with (the
// operations reached by name pass askOkCancel, the command-line tools their
// own answer).
using Confirm = std::function<bool(std::string_view title, std::string_view text)>;

// Estimated RS-232 transfer time in minutes of `samples` samples.
double rs232TransferMinutes(std::size_t samples, double baudrate);
// A download with its playback (downloadAndPlay), and each of tgxDownload and
// tgxPlay on its own, ends within this many gateway time-outs (ioTimeoutOf),
// not counting the time the waveform bytes spend flowing to the instrument.
// No step starts unless the four time-outs one step may take are left. A step
// that gets no answer or no connection means the instrument is gone: nothing
// more is sent, and that step's result is reported.
inline constexpr int kExchangeTimeouts = 24;

// Stores a waveform: the RS-232 time question (through `confirm`) when the
// transfer is long, the ARB state saved, ARB off, the download, and ARB on
// again when it was on. `mayStore`, when given, runs after the question and
// before the first command (the caller checks what it must, e.g. the
// instrument's ranges); false ends the download as cancelled, nothing sent.
DownloadResult tgxDownload(const Value& iq, const Value& markers, std::string_view name,
                           const Value& config, const Confirm& confirm,
                           const TransferProgress& progress = {},
                           const std::function<bool()>& mayStore = {});

// The value texts of the playback commands.
std::string reconFilterText(double reconFilter);
std::string bbFilterText(double bbFilter);
std::string alcText(double alc);
std::string onOffText(double rfBlanking);
std::string polarityText(double markerPolarity);
std::string referenceText(double arbRefSource);

// The playback command list of a platform, in the order it is sent.
std::vector<std::string> playbackCommands(std::string_view name, const SigGenSettings& s,
                                          Platform platform);
// Sends the playback list (every command, also after an instrument error;
// nothing more once the instrument is gone), then returns the front panel to
// local control. After a failure the result has the first failed command's
// status and a message naming every failed command and the instrument's
// answer to it, one line each; when all succeeded, the last command's.
IoResult tgxPlay(std::string_view name, const SigGenSettings& s, const Value& config,
                 Platform platform);

// ---- the instrument's own ranges ------------------------------------------------

// The SCPI headers of the three ranged playback settings, spelled as the
// playback sends them; the range queries ask "<header>? min" and "? max".
inline constexpr std::string_view kFrequencyHeader = ":source:freq:fix";
inline constexpr std::string_view kPowerHeader = ":source:power:level:immediate:amplitude";
inline constexpr std::string_view kSampleClockHeader = ":source:rad:arb:clock:srate";

// What the instrument said about its ranges.
struct LimitsReport {
  // Set when all six answers were numbers that make sound ranges
  // (sigGenLimitsProblem); otherwise the caller keeps the bounds it has.
  std::optional<SigGenLimits> limits;
  // For the user: the ranges, or which answer was missing or unusable.
  std::string message;
  // The status of the query that failed (0 when every query was answered).
  double status = 0;
};
// Asks the instrument for the minimum and maximum of frequency, power and
// sample clock, one query after the other, within kExchangeTimeouts
// time-outs. Stops at the first unusable answer; the error queue that such a
// query may have filled is then cleared (*CLS), so the next command is not
// blamed for it.
LimitsReport queryInstrumentLimits(const Value& config);
// A ranged value with its unit as the panel shows it: "5.18 GHz", "40 MHz".
std::string hertzText(double hz);
// "100 kHz to 6 GHz, -136 to +25 dBm, 1 Hz to 100 MHz".
std::string limitsText(const SigGenLimits& limits);

// The stored configuration keeps the ranges each instrument reported, in the
// optional field `InstrumentRanges`: a list of records with `Instrument` (the
// connection, instrumentKey), `Family` ("b" or "c") and the six bounds
// `FrequencyMin`, `FrequencyMax`, `AmplitudeMin`, `AmplitudeMax`,
// `SamplingRateMin`, `SamplingRateMax`.
//
// The connection a configuration reaches, as one text: "TCPIP host:port",
// "RS232 port 1" (or the device path), "GPIB 0:19".
std::string instrumentKey(const Value& config);
// `config` with the ranges of `instrument` (an instrumentKey) and `family`
// replaced or added.
Value withInstrumentLimits(Value config, std::string_view instrument, std::string_view family,
                           const SigGenLimits& limits);
// The stored ranges of the configured instrument and family; nothing when
// none are stored or the stored ones are not sound (a hand-edited file).
std::optional<SigGenLimits> storedInstrumentLimits(const Value& config, std::string_view family);
// The family a platform's ranges are stored under: "b" or "c".
std::string_view familyOf(Platform platform);
// The ranges the settings obey: those the configured instrument of the
// platform's family reported, otherwise the defaults.
SigGenLimits limitsInForce(const Value& config, Platform platform);

// Download, then playback when the download stored the waveform: what the
// application's Download button does.
struct DownloadAndPlayResult {
  DownloadResult download;
  IoResult playback;  // untouched when playback did not run
  bool played = false;
  bool ok() const { return download.ok() && played && playback.ok(); }
  // A one-line summary for the user.
  std::string message() const;
};
DownloadAndPlayResult downloadAndPlay(const Value& iq, const Value& markers,
                                      const SigGenSettings& settings, const Value& config,
                                      Platform platform, const Confirm& confirm);

}  // namespace dot11a

DOT11A_API_END
