#!/usr/bin/env bash
# Saves pictures of the splash, the main window (default state, unframed mode,
# after Calculate), every question the shell asks, the about box, the
# connection dialog for each interface, the MAC header and sub-carrier dialogs,
# the Signal menu's Impairments and Frame Sequence dialogs,
# the plot windows the Plot menu opens, and every plot window (of the default
# frame, the largest frame and an all-zero waveform), and the measurement
# views (averaged spectrum, gated CCDF, Demodulate, also of a shared capture)
# into build/screenshots/,
# or DOT11A_SCREENSHOT_DIR when set, on Qt's offscreen platform with a
# 1366x768 screen.
#   scripts/screenshots.sh            (96 dpi)
#   QT_FONT_DPI=120 scripts/screenshots.sh
#   DOT11A_SCREENSHOT_DIR=/tmp/shots scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build -j2 --target test_gui >/dev/null
# The pictures show what a user of a 1366x768 laptop screen sees (windows are
# fitted into the screen as they open).
export QT_QPA_PLATFORM="offscreen:configfile=$PWD/scripts/offscreen-1366x768.json"
export DOT11A_SCREENSHOT_DIR="${DOT11A_SCREENSHOT_DIR:-$PWD/build/screenshots${QT_FONT_DPI:+-${QT_FONT_DPI}dpi}}"
# The Signal menu's dialogs and the window they leave.
build/bin/test_gui --gtest_filter='SignalMenu.Screenshots:SignalMenu.ReceiverTestIsDotGensPresetAndItsFileKeepsIt' 2>&1 | grep -v 'This plugin does not support' | tail -1
# The shared captures lie beside the main work tree.
main_tree="$(dirname "$(git rev-parse --path-format=absolute --git-common-dir)")"
capture="${DOT11A_SCREENSHOT_CAPTURE:-$main_tree/../shared/captures/ap-conducted-24mbps.sigmf-meta}"
[ -f "$capture" ] && export DOT11A_SCREENSHOT_CAPTURE="$capture"
build/bin/test_gui --gtest_filter='Screenshots.*:ShellScreenshots.*:ConnectionDialogScreenshots.*:DialogScreenshots.*:PlotMenuTest.Screenshots:PlotScreenshots.*:MeasurementViews.Screenshots:ShellTest.DownloadToAStalledInstrumentShowsProgressAndCancels:InstrumentRangesTest.TheBoundsAreThoseOfTheInstrumentLastReached:ConnectionMenuTest.TheConnectionChosenIsTheOneDownloadUses' 2>&1 | grep -v 'This plugin does not support' | tail -3
# The level sweep's dialog, progress and plot, against the simulated generator.
build/bin/test_gui --gtest_filter='LevelSweep.*' 2>&1 | grep -v 'This plugin does not support' | tail -1
ls "$DOT11A_SCREENSHOT_DIR"/*.png
