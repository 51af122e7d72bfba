"""veltora.per_curve against dot11a-per, and its Dask path against its local one."""

import json
import os
import signal
import subprocess
import tempfile

import pytest

import veltora

BIN = os.environ.get("DOT11A_BIN_DIR", "build/bin")

# Points on both sides of the thresholds, a multipath channel, a carrier
# offset and a point without noise to speak of; short frames to stay quick.
KEYWORDS = dict(
    rates=[12, 54],
    snr=[3, 9, 19, 100],
    frames=24,
    stop_after_errors=6,
    channel="exp:50",
    seed=11,
    psdu_octets=60,
    cfo=3000,
)
OPTIONS = [
    "--rates", "12,54", "--snr", "3,9,19,100", "--frames", "24", "--stop-after-errors", "6",
    "--channel", "exp:50", "--seed", "11", "--psdu-octets", "60", "--cfo", "3000",
]  # fmt: skip


def counts(result):
    return [(p["rate_mbps"], p["snr_db"], p["frames"], p["errors"], p["missed"]) for p in result["points"]]


def test_per_curve_counts_what_the_tool_counts_and_draws_its_plot():
    with tempfile.TemporaryDirectory(prefix="veltora-per-") as d:
        out = os.path.join(d, "tool.json")
        subprocess.run([os.path.join(BIN, "dot11a-per"), *OPTIONS, "--json", out],
                       check=True, capture_output=True)  # fmt: skip
        with open(out, encoding="utf-8") as f:
            tool = json.load(f)
        png = os.path.join(d, "curve.png")
        mine = veltora.per_curve(workers=3, plot=png, **KEYWORDS)
        assert counts(mine) == counts(tool)
        assert mine["thresholds"] == tool["thresholds"]
        assert mine["settings"] == tool["settings"]
        # Frames lost and received on both curves; none lost without noise.
        assert any(0 < p["errors"] for p in mine["points"])
        assert all(p["errors"] == 0 for p in mine["points"] if p["snr_db"] == 100)
        # Points that ended at their sixth error, and points that ran to the end.
        assert {p["frames"] < 24 for p in mine["points"]} == {True, False}
        with open(png, "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n"
        assert set(os.listdir(d)) == {"tool.json", "curve.png"}


def test_narrow_channels_count_alike_in_the_tool_and_python():
    with tempfile.TemporaryDirectory(prefix="veltora-per-") as d:
        out = os.path.join(d, "tool.json")
        subprocess.run([os.path.join(BIN, "dot11a-per"), "--channel-spacing", "10", "--rates", "6,27",
                        "--snr", "5,20", "--frames", "12", "--psdu-octets", "60", "--json", out],
                       check=True, capture_output=True)  # fmt: skip
        with open(out, encoding="utf-8") as f:
            tool = json.load(f)
    mine = veltora.per_curve(channel_spacing=10e6, rates=[6, 27], snr=[5, 20], frames=12, psdu_octets=60)
    assert counts(mine) == counts(tool)
    assert mine["thresholds"] == tool["thresholds"]
    assert mine["settings"]["channel_spacing_mhz"] == 10
    # The limits of the 12 and 54 Mbit/s rows, as at 20 MHz within 0.01 dB.
    wide = veltora.per_curve(rates=[12, 54], snr=[5], frames=1, psdu_octets=60)
    for narrow, full in zip(mine["thresholds"], wide["thresholds"]):
        assert abs(narrow["snr_db_limit"] - full["snr_db_limit"]) < 0.011


def test_dask_cluster_counts_what_local_threads_count(monkeypatch):
    distributed = pytest.importorskip("distributed")
    # Several tasks a point, so that points end at their Nth error while
    # later chunks are queued or running and must be left out.
    monkeypatch.setattr("veltora._per._DASK_CHUNK_FRAMES", 5)
    local = veltora.per_curve(workers=1, **KEYWORDS)
    # The workers' scratch space in a folder of the test's own.
    with tempfile.TemporaryDirectory(prefix="veltora-dask-") as space, distributed.LocalCluster(
        n_workers=2,
        threads_per_worker=2,
        processes=False,
        dashboard_address=None,
        local_directory=space,
    ) as cluster, distributed.Client(cluster) as client:
        assert veltora.per_curve(scheduler=client, **KEYWORDS) == local
        assert veltora.per_curve(scheduler=cluster.scheduler_address, **KEYWORDS) == local


@pytest.mark.parametrize(
    "keywords, words",
    [
        (dict(rates=[7]), "rates"),
        (dict(rates=[6, 6]), "twice"),
        (dict(frames=0), "frames"),
        (dict(channel="exp:-1"), "delay spread"),
        (dict(snr="3:1:1"), "snr"),
        (dict(snr=None), "snr"),
        (dict(colour="red"), "colour"),
        (dict(workers=0), "workers"),
        (dict(workers=5000), "at most 1024 workers"),
        (dict(channel_spacing=7e6), "channel_spacing"),
        (dict(channel_spacing=10e6, rates=[54]), "27 Mbit/s at 10 MHz"),
    ],
)
def test_bad_settings_raise_naming_the_keyword(keywords, words):
    settings = dict(rates=[6], snr=5, frames=2)
    settings.update(keywords)
    with pytest.raises(veltora.Error, match=words):
        veltora.per_curve(**settings)


def test_tool_refuses_an_unwritable_output_before_the_sweep_and_writes_what_was_counted_on_ctrl_c():
    tool = os.path.join(BIN, "dot11a-per")
    run = ["--rates", "54", "--snr", "0,40", "--frames", "200000", "--stop-after-errors", "5",
           "--psdu-octets", "60", "--workers", "2"]  # fmt: skip
    with tempfile.TemporaryDirectory(prefix="veltora-per-") as d:
        missing = os.path.join(d, "no-such-folder", "r.json")
        r = subprocess.run([tool, *run, "--json", missing], capture_output=True, text=True, timeout=20)
        assert r.returncode == 1 and "does not exist" in r.stderr
        out = os.path.join(d, "r.json")
        p = subprocess.Popen([tool, *run, "--json", out], stdout=subprocess.PIPE, text=True)
        # The first point ends at its fifth error; the second would take minutes.
        assert "PER" in p.stdout.readline()
        p.send_signal(signal.SIGINT)
        assert p.wait(timeout=20) == 130
        with open(out, encoding="utf-8") as f:
            result = json.load(f)
        first, second = result["points"]
        assert first["complete"] and first["errors"] == 5
        assert not second["complete"] and not result["complete"]
        assert second["frames"] < 200000
