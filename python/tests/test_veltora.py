"""The Python module against the command-line tools, the receiver and itself."""

import concurrent.futures
import json
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
import pytest

import veltora

BIN = os.environ.get("DOT11A_BIN_DIR", "build/bin")


@pytest.fixture
def folder():
    with tempfile.TemporaryDirectory(prefix="veltora-") as d:
        yield d


def gen(*args):
    subprocess.run([os.path.join(BIN, "dot11a-gen"), *args], check=True, capture_output=True)


# Keywords and the dot11a-gen options that say the same.
FRAMES = [
    ({}, []),
    (dict(rate=24, length=100, mac_header=True, fcs=True, scrambler_init=0x5A, service=0x1234,
          oversampling=1),
     ["--rate", "24", "--length", "100", "--mac-header", "on", "--fcs", "on",
      "--scrambler-init", "5A", "--service", "1234", "--oversampling", "1"]),
    (dict(modulation="qpsk", coding="2/3", oversampling=4, window=16, idle_us=3.5, mirror=True,
          source="pn9", interleaver=False, mask=[1] * 20 + [0] * 13 + [1] * 20),
     ["--modulation", "qpsk", "--coding", "2/3", "--oversampling", "4", "--window", "16",
      "--idle-us", "3.5", "--mirror", "--source", "pn9", "--no-interleaver",
      "--mask", "1" * 20 + "0" * 13 + "1" * 20]),
    (dict(channel_spacing=10e6, rate=27, length=80, oversampling=3, idle_us=7),
     ["--channel-spacing", "10", "--rate", "27", "--length", "80", "--oversampling", "3",
      "--idle-us", "7"]),
    (dict(rate=6, length=50, scrambler_init=0), ["--rate", "6", "--length", "50", "--scrambler-init", "0"]),
    (dict(unframed=True, rate=6, length=1, oversampling=1, scrambler=False),
     ["--unframed", "--rate", "6", "--length", "1", "--oversampling", "1", "--no-scrambler"]),
]


@pytest.mark.parametrize("keywords,options", FRAMES)
def test_frames_and_files_equal_the_generators(folder, keywords, options):
    samples, facts = veltora.synthesize(**keywords)
    for ext in (".mat", ".bin", ".sigmf-meta"):
        theirs, ours = os.path.join(folder, "gen" + ext), os.path.join(folder, "py" + ext)
        gen(*options, "-o", theirs)
        veltora.write(ours, samples, facts["sample_rate"], dac_precompensated=True)
        if ext == ".mat":
            read, _ = veltora.read(theirs)
            np.testing.assert_array_equal(read, samples)
        else:
            data = ".sigmf-data" if ext == ".sigmf-meta" else ext
            with open(theirs.replace(ext, data), "rb") as a, open(ours.replace(ext, data), "rb") as b:
                assert a.read() == b.read()
    assert len(samples) == facts["samples"] == len(facts["marker2"])
    _, info = veltora.read(os.path.join(folder, "py.sigmf-meta"))
    assert info["sample_rate"] == facts["sample_rate"] and info["dac_precompensated"]
    if keywords.get("scrambler_init") == 0:
        assert facts["scrambler"] == "not scrambled (seed 0)"
    # The generator's recording says the spacing when it is not 20 MHz.
    _, recorded = veltora.read(os.path.join(folder, "gen.sigmf-meta"))
    assert recorded.get("channel_spacing", 20e6) == facts["channel_spacing"]
    assert recorded["sample_rate"] == facts["sample_rate"]


def test_a_narrow_channel_is_made_and_measured_alike(folder):
    keywords = dict(channel_spacing=5e6, rate=4.5, length=120, oversampling=4, cfo=500)
    samples, facts = veltora.synthesize(**keywords)
    path = os.path.join(folder, "n.sigmf-meta")
    gen("--channel-spacing", "5", "--rate", "4.5", "--length", "120", "--oversampling", "4",
        "--cfo", "500", "-o", path)
    out = subprocess.run([os.path.join(BIN, "dot11a-verify"), path, "--json"],
                         capture_output=True, text=True)
    for report in (json.loads(out.stdout), veltora.verify(samples, facts["sample_rate"])):
        assert report["pass"], report["reasons"]
        frame = report["frames"][0]
        assert frame["channel_spacing"] == 5e6 and frame["signal"]["rate_mbps"] == 4.5
        assert abs(frame["cfo_hz"] - 500) < 25
    told = veltora.verify(samples, facts["sample_rate"], channel_spacing=20e6)
    assert not any(f["decoded"] for f in told["frames"])


def test_verify_passes_with_the_keys_of_the_tool(folder):
    samples, facts = veltora.synthesize(rate=36, length=200, fcs=True, oversampling=2)
    report = veltora.verify(samples, facts["sample_rate"], fcs="on", dac_droop=True,
                            expect_psdu=facts["psdu"])
    assert report["pass"], report["reasons"]
    assert [f["signal"]["rate_mbps"] for f in report["frames"]] == [36]
    assert bytes(report["frames"][0]["psdu"]) == facts["psdu"]

    path = os.path.join(folder, "f.sigmf-meta")
    veltora.write(path, samples, facts["sample_rate"], dac_precompensated=True)
    out = subprocess.run([os.path.join(BIN, "dot11a-verify"), path, "--json", "--fcs", "on"],
                         capture_output=True, text=True)
    tool = json.loads(out.stdout)
    assert set(report) | {"file", "format"} == set(tool)
    assert set(report["frames"][0]) == set(tool["frames"][0])

    wrong = veltora.verify(samples, facts["sample_rate"], expect_psdu=b"\0" * 200)
    assert not wrong["pass"]

    # With the defaults of both, and with each channel estimate, Python and
    # the tool measure the same samples alike, noisy and noise-free (a long
    # window makes the FFT's back-off tell).
    clean, _ = veltora.synthesize(rate=24, length=300, window=16, frames=3, seed=1)
    noisy, facts = veltora.synthesize(rate=24, length=300, window=16, frames=3, snr=30, seed=1)
    for samples in (noisy, clean):
        veltora.write(path, samples, facts["sample_rate"], dac_precompensated=True)
        single = samples.astype(np.complex64).astype(complex)  # as the file holds them
        for estimate in (None, "preamble", "smoothed", "data-aided"):
            keys = {} if estimate is None else {"channel_estimate": estimate}
            flags = [] if estimate is None else ["--channel-estimate", estimate]
            mine = veltora.verify(single, facts["sample_rate"], dac_droop=True, **keys)["frames"]
            out = subprocess.run([os.path.join(BIN, "dot11a-verify"), path, "--json"] + flags,
                                 capture_output=True, text=True)
            theirs = json.loads(out.stdout)["frames"]
            assert [f["start"] for f in mine] == [f["start"] for f in theirs]
            for a, b in zip(mine, theirs):
                assert abs(a["evm"]["rms_db"] - b["evm"]["rms_db"]) < 0.01, estimate
                margins = [f["flatness"]["worst_margin_db"] for f in (a, b)]
                assert abs(margins[0] - margins[1]) < 0.01, estimate


def test_bad_arguments_raise_with_the_reason(folder):
    cases = [
        (lambda: veltora.synthesize(rate=7), "rate must be one of 6, 9"),
        (lambda: veltora.synthesize(length=4096), "length must be a whole number from 1 to 4095"),
        (lambda: veltora.synthesize(length=4095, mac_header=True), "from 1 to 4065"),
        (lambda: veltora.synthesize(oversampling=2.5), "oversampling must be a whole number"),
        (lambda: veltora.synthesize(scrambler_init=128), "scrambler_init must be a whole number from 0"),
        (lambda: veltora.synthesize(mask=[1] * 52), "mask must be 53 values"),
        (lambda: veltora.synthesize(coding="5/6"), "coding must be 1/2"),
        (lambda: veltora.synthesize(source=os.path.join(folder, "none")), "source:"),
        (lambda: veltora.synthesize(cfo_ppm=-8, frequency=-5.5e9), "frequency must be"),
        (lambda: veltora.verify(np.zeros((2, 100), complex)), "one-dimensional"),
        (lambda: veltora.verify(np.zeros(100, complex), fcs="yes"), "fcs must be"),
        (lambda: veltora.verify(np.zeros(100, complex), channel_estimate="ls"),
         "channel_estimate must be"),
        (lambda: veltora.write(os.path.join(folder, "x.wav"), np.zeros(4, complex)), "must end in"),
        (lambda: veltora.read(os.path.join(folder, "missing.bin")), "missing.bin"),
        (lambda: veltora.call("noSuchOperation"), "noSuchOperation"),
    ]
    for make, message in cases:
        with pytest.raises(ValueError, match=message):
            make()
    assert os.listdir(folder) == []


def test_threads_give_the_results_of_one_thread():
    settings = [dict(rate=r, length=40 * r, oversampling=1 + r % 4) for r in (6, 9, 12, 18, 24, 36, 48, 54)]
    settings += [dict(rate=r, length=100, frames=2, channel="exp:50", snr=30, cfo=-1e4, seed=r)
                 for r in (12, 24)]

    def work(kw):
        samples, facts = veltora.synthesize(**kw)
        report = veltora.verify(samples, facts["sample_rate"], dac_droop=True)
        return samples, report["frames"][0]["evm"]["rms_db"], veltora.call("dot11a_ConvolEncode", [1, 0, 1], 0.5)

    alone = [work(kw) for kw in settings]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(work, settings * 3))
    for i, (samples, evm, coded) in enumerate(together):
        np.testing.assert_array_equal(samples, alone[i % len(settings)][0])
        assert evm == alone[i % len(settings)][1]
        np.testing.assert_array_equal(coded, alone[i % len(settings)][2])


# Sequence and impairment keywords and the dot11a-gen options that say the same.
IMPAIRED = (
    dict(rate=24, length=300, oversampling=2, frames=3, gap_us="SIFS", seed_step=True,
         iq_imbalance=(0.5, 2), phase_noise=1, channel="exp:50,rician:6", clock_ppm=20, snr=25,
         seed=9),
    ["--rate", "24", "--length", "300", "--oversampling", "2", "--frames", "3", "--gap-us", "SIFS",
     "--seed-step", "--iq-imbalance", "0.5,2", "--phase-noise", "1", "--channel",
     "exp:50,rician:6", "--clock-ppm", "20", "--snr", "25", "--seed", "9"],
)


def test_impaired_sequence_equals_the_generators(folder):
    keywords, options = IMPAIRED
    listed = os.path.join(folder, "sequence.json")
    with open(listed, "w") as f:
        json.dump({"frames": [{"rate": 6, "length": 50}, {"source": "pn15"}]}, f)
    samples, facts = veltora.synthesize(**keywords, sequence=listed)
    path = os.path.join(folder, "gen.sigmf-meta")
    gen(*options, "--sequence", listed, "-o", path)
    theirs, _ = veltora.read(path)  # SigMF holds 32-bit floats
    np.testing.assert_array_equal(theirs, samples.astype(np.complex64))
    with open(path) as f:
        assert json.load(f)["global"]["dot11a:impairments"] == facts["impairments"]
    assert facts["frames"] == len(facts["psdus"]) == 3
    assert facts["psdu"] == facts["psdus"][0] and facts["description"].startswith("6 Mbit/s")
    assert list(np.flatnonzero(facts["marker1"])) == list(facts["frame_starts"])
    report = veltora.verify(samples, facts["sample_rate"], dac_droop=True)
    assert [bytes(f["psdu"]) for f in report["frames"]] == facts["psdus"]


def test_preset_equals_the_generators_and_its_frames_count(folder):
    samples, facts = veltora.synthesize(rate=54, test="acr", frames=3, snr=30)
    path = os.path.join(folder, "acr.sigmf-meta")
    gen("--rate", "54", "--test", "acr", "--frames", "3", "--snr", "30", "-o", path)
    theirs, _ = veltora.read(path)
    np.testing.assert_array_equal(theirs, samples.astype(np.complex64))
    assert facts["receiver_test"]["frames_text"] == "3 frames, as asked"
    report = veltora.verify(samples, facts["sample_rate"], dac_droop=True)
    decoded = report["frames"]
    assert [bytes(f["psdu"]) for f in decoded] == facts["psdus"]
    # Sequence numbers one apart, seeds stepping, a good FCS on every frame.
    assert [f["psdu"][22] for f in decoded] == [0, 16, 32]
    assert [f["data"]["scrambler_seed"] for f in decoded] == [93, 94, 95]
    assert [f["fcs"] for f in decoded] == ["good"] * 3


def test_bad_impairment_keywords_raise_the_generators_message():
    # The same message, with the options spelt as keywords.
    cases = [
        (dict(iq_imbalance=(0.5,)), ["--iq-imbalance", "0.5"]),
        (dict(channel="exp:50,ricean:6"), ["--channel", "exp:50,ricean:6"]),
        (dict(dc=5), ["--dc", "5"]),
        (dict(cfo_ppm=2), ["--cfo-ppm", "2"]),
        (dict(snr=20, seed=-1), ["--snr", "20", "--seed", "-1"]),
    ]
    for keywords, options in cases:
        out = subprocess.run([os.path.join(BIN, "dot11a-gen"), *options], capture_output=True,
                             text=True)
        assert out.returncode == 1
        message = re.sub(r"--([a-z-]+)", lambda m: m.group(1).replace("-", "_"),
                         out.stderr.strip().removeprefix("dot11a-gen: "))
        with pytest.raises(veltora.Error) as raised:
            veltora.synthesize(**keywords)
        assert str(raised.value) == message


def test_verify_holds_a_10_mhz_frame_to_an_emission_class_as_the_tool_does(folder):
    samples, facts = veltora.synthesize(rate=27, length=200, oversampling=4, window=16,
                                        channel_spacing=10e6)
    path = os.path.join(folder, "p.sigmf-meta")
    veltora.write(path, samples, facts["sample_rate"], dac_precompensated=True)
    single = samples.astype(np.complex64).astype(complex)
    for mask, passes in (("standard", True), ("class-d", False)):
        mine = veltora.verify(single, facts["sample_rate"], dac_droop=True, mask=mask)
        out = subprocess.run([os.path.join(BIN, "dot11a-verify"), path, "--json", "--mask", mask],
                             capture_output=True, text=True)
        theirs = json.loads(out.stdout)
        assert mine["frames"][0]["mask"]["pass"] is passes, mask
        assert abs(mine["frames"][0]["mask"]["worst_margin_db"]
                   - theirs["frames"][0]["mask"]["worst_margin_db"]) < 0.01, mask
    with pytest.raises(veltora.Error, match="class-a"):
        veltora.verify(single, facts["sample_rate"], mask="class-e")


def test_verify_measures_the_carrier_offset_back():
    # -8 ppm of 5.5 GHz is -44 kHz.
    for offset in (dict(cfo=37e3), dict(cfo_ppm=-8, frequency=5.5e9)):
        samples, facts = veltora.synthesize(rate=24, length=200, snr=35, seed=3, **offset)
        report = veltora.verify(samples, facts["sample_rate"], dac_droop=True)
        expected = offset.get("cfo", -8e-6 * 5.5e9)
        assert report["pass"], report["reasons"]
        assert abs(report["frames"][0]["cfo_hz"] - expected) < 1e3


def test_the_documented_example_runs(folder):
    pytest.importorskip("matplotlib")
    doc = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "python.md")
    with open(doc) as f:
        example = re.search(r"```python\n(.*?)```", f.read(), re.S).group(1)
    subprocess.run([sys.executable, "-c", example], cwd=folder, check=True, capture_output=True,
                   env=dict(os.environ, MPLBACKEND="Agg",
                            PYTHONPATH=os.path.dirname(os.path.dirname(veltora.__file__))))
    assert {"spectrum.png", "frame.sigmf-meta", "frame.sigmf-data"} <= set(os.listdir(folder))


def nested(levels):
    value = "x"
    for _ in range(levels):
        value = [value]
    return value


def test_deeply_nested_values_are_refused_at_dot11a_calls_limit():
    # 255 levels reach clock2str (which refuses a cell list); one more is
    # refused as too deep, by the module and by dot11a-call alike.
    for levels in (255, 256, 30000):
        with pytest.raises(veltora.Error) as raised:
            veltora.call("clock2str", nested(levels))
        ran = subprocess.run([os.path.join(BIN, "dot11a-call"), "clock2str",
                              json.dumps(nested(min(levels, 256)))],
                             capture_output=True, text=True)
        assert ran.returncode != 0
        too_deep = levels > 255
        assert ("levels deep" in str(raised.value)) == too_deep, str(raised.value)
        assert ("levels deep" in ran.stderr) == too_deep, ran.stderr


@pytest.mark.parametrize("ext", [".mat", ".bin", ".sigmf-meta"])
def test_write_refuses_what_no_file_holds_faithfully(folder, ext):
    name = os.path.join(folder, "w" + ext)
    with pytest.raises(veltora.Error, match="Sample 2 of the waveform is not finite"):
        veltora.write(name, np.array([1, np.nan, np.inf]))
    for rate in (float("nan"), float("inf"), -1, 0):
        with pytest.raises(veltora.Error, match="sample rate must be a positive number"):
            veltora.write(name, np.array([1, 0.5j]), rate)
    assert os.listdir(folder) == []
