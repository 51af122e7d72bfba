"""The packet error rate against the SNR, a curve per rate, on a log PER axis
with the 10 % line: the picture of dot11a-per --plot and of
veltora.per_curve(plot=...).

It needs matplotlib only, so dot11a-per runs it on its own:
    python3 per_plot.py RESULT.json|- OUT.png
(RESULT as dot11a-per --json writes it; "-" reads it from standard input).
"""

import json
import os
import sys
import tempfile


def plot(result, path):
    """Draws `result` (a dict of dot11a-per --json) as a PNG at `path`.

    The file is replaced whole: the picture is drawn into a temporary file
    beside it, which then takes its name.
    """
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    settings = result["settings"]
    thresholds = {t["rate_mbps"]: t["snr_db_at_per_10"] for t in result["thresholds"]}
    limits = {t["rate_mbps"]: t.get("snr_db_limit") for t in result["thresholds"]}
    fig, ax = plt.subplots(figsize=(9, 5), dpi=100)
    floor = 1.0
    for n, rate in enumerate(settings["rates"]):
        points = sorted(
            (p for p in result["points"] if p["rate_mbps"] == rate and p["frames"] > 0),
            key=lambda p: p["snr_db"],
        )
        if not points:
            continue
        colour = "C%d" % (n % 10)
        at = thresholds.get(rate)
        label = "%g Mbit/s" % rate + ("" if at is None else " (%.2f dB)" % at)
        # The SNR the rate's minimum sensitivity leaves a receiver with a
        # 10 dB noise figure: the curve must cross 10 % to its left.
        limit = limits.get(rate)
        if limit is not None:
            ax.axvline(limit, color=colour, linestyle="--", linewidth=1,
                       label="%g Mbit/s limit %.1f dB" % (rate, limit))
        lost = [p for p in points if p["errors"] > 0]
        ax.plot(
            [p["snr_db"] for p in lost],
            [p["per"] for p in lost],
            "o-",
            color=colour,
            markersize=4,
            label=label,
        )
        floor = min([floor] + [p["per"] for p in lost])
        # A point that lost no frame has no place on a log axis: the first
        # one above the curve is shown at half a frame lost, hollow and
        # pointing down; those above it say nothing more.
        top = max((p["snr_db"] for p in lost), default=None)
        clean = [p for p in points if p["errors"] == 0 and (top is None or p["snr_db"] > top)]
        if clean:
            p = clean[0]
            floor = min(floor, 0.5 / p["frames"])
            ax.plot(
                [p["snr_db"]],
                [0.5 / p["frames"]],
                "v",
                color=colour,
                markerfacecolor="none",
                markersize=6,
                label=None if lost else label,
            )
            if lost:
                ax.plot(
                    [lost[-1]["snr_db"], p["snr_db"]],
                    [lost[-1]["per"], 0.5 / p["frames"]],
                    ":",
                    color=colour,
                )
    ax.axhline(0.1, color="0.3", linestyle="--", linewidth=1, label="PER 10 %")
    ax.set_yscale("log")
    ax.set_ylim(max(min(floor, 0.05) / 2, 1e-9), 1.2)
    ax.set_xlabel("SNR in the occupied band (dB)")
    ax.set_ylabel("Packet error rate")
    receiver = "ideal receiver" if settings["ideal"] else "receiver"
    title = "%s, PSDU %d octets, %g MHz" % (
        receiver,
        settings["psdu_octets"],
        settings["sample_rate"] / 1e6,
    )
    if settings.get("impairments"):
        title += "; " + settings["impairments"]
    if not result.get("complete", True):
        title += " (interrupted)"
    ax.set_title(title, fontsize=10)
    ax.grid(True, which="both", linewidth=0.3)
    ax.plot([], [], "v", color="0.3", markerfacecolor="none", label="no frame lost")
    ax.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    fig.tight_layout()
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(prefix=".per-plot-", suffix=".png", dir=folder)
    try:
        with os.fdopen(fd, "wb") as out:
            fig.savefig(out, format="png")
        # As any new file: readable as the umask allows (mkstemp makes it private).
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
    finally:
        plt.close(fig)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: per_plot.py RESULT.json|- OUT.png\n")
        return 2
    if argv[1] == "-":
        result = json.load(sys.stdin)
    else:
        with open(argv[1], encoding="utf-8") as f:
            result = json.load(f)
    try:
        plot(result, argv[2])
    except OSError as e:
        sys.stderr.write("%s: %s\n" % (argv[2], e.strerror or e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
