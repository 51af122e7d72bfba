"""veltora.per_curve: the packet error rate against the SNR, per rate.

The same sweep as dot11a-per, by the same engine: locally on threads, or
farmed out to a Dask cluster in chunks of frames. The counts depend on the
seed and the settings only, so both give the same result.
"""

from . import _veltora

# Frames per Dask task: long enough that a task outweighs its scheduling,
# short enough that a point stopping at its Nth error wastes little.
_DASK_CHUNK_FRAMES = 32


def _chunk(settings, point, first, count):
    # The task a Dask worker runs: veltora must be importable there.
    return _veltora._per_chunk(settings, point, first, count)


def _follow(head, chunk):
    """`chunk` appended to `head`, the frames before it: one chunk that
    stands for both (the errors' indices are the sweep's own)."""
    return dict(
        point=head["point"],
        first=head["first"],
        frames=head["frames"] + chunk["frames"],
        errors=head["errors"] + chunk["errors"],
        missed=head["missed"] + chunk["missed"],
        errors_at=head["errors_at"] + chunk["errors_at"],
        missed_at=head["missed_at"] + chunk["missed_at"],
    )


def _farm(settings, plan, client, chunk_frames):
    """Runs the sweep's frames on the cluster, the earliest point that needs
    frames first, and returns a chunk a point: its frames from the first on.
    Chunks are handed out as workers free up, never listed in advance, and
    each point keeps only those that came back ahead of a gap, so memory
    stays bounded however many frames are asked for. A point that has its
    count (every frame, or its Nth error) gets no more tasks and its
    outstanding ones are cancelled."""
    from distributed import as_completed

    frames = plan["frames"]
    count = len(plan["points"])
    issued = [0] * count  # frames handed out, from the first on
    head = [None] * count  # what was counted without a gap
    ahead = [dict() for _ in range(count)]  # chunks back before a gap closed
    done = [False] * count
    # Enough tasks in flight to keep every worker thread busy.
    in_flight = 2 * (sum(client.nthreads().values()) or 1)
    futures = {}
    running = as_completed()
    cursor = 0

    def submit_more():
        nonlocal cursor
        while len(futures) < in_flight:
            while cursor < count and (done[cursor] or issued[cursor] >= frames):
                cursor += 1
            if cursor == count:
                return
            p, first = cursor, issued[cursor]
            n = min(chunk_frames, frames - first)
            issued[p] += n
            f = client.submit(_chunk, settings, p, first, n, pure=False)
            futures[f] = p
            running.add(f)

    submit_more()
    for future in running:
        # A cancelled task of a point already counted comes out here too.
        p = futures.pop(future, None)
        if p is None or future.cancelled():
            submit_more()
            continue
        chunk = future.result()
        if not done[p]:
            ahead[p][chunk["first"]] = chunk
            nxt = 0 if head[p] is None else head[p]["frames"]
            while nxt in ahead[p]:
                c = ahead[p].pop(nxt)
                head[p] = c if head[p] is None else _follow(head[p], c)
                nxt = head[p]["frames"]
            if head[p] is not None and _veltora._per_combine_point(settings, p, [head[p]])["complete"]:
                done[p] = True
                ahead[p].clear()
                stale = [f for f, q in futures.items() if q == p]
                for f in stale:
                    del futures[f]
                client.cancel(stale)
        submit_more()
    return [h for h in head if h is not None]


def per_curve(
    rates=(6, 9, 12, 18, 24, 36, 48, 54),
    snr=None,
    frames=1000,
    channel="awgn",
    seed=1,
    ideal=False,
    workers=None,
    scheduler=None,
    *,
    stop_after_errors=0,
    psdu_octets=1000,
    fcs=True,
    oversampling=1,
    plot=None,
    **impairments
):
    """The packet error rate of each rate at each SNR.

    rates      Mbit/s, any of 6 9 12 18 24 36 48 54
    snr        dB in the occupied band: "FROM:TO:STEP", a list, or a number
    frames     frames per point; stop_after_errors ends a point at its Nth loss
    channel    "awgn" or "exp:RMS_NS[,rician:K_DB]" (multipath)
    seed       every frame's draws; the same seed gives the same counts
    ideal      decode with the ideal receiver (start, offset and channel known)
    workers    local threads (None: one per core)
    scheduler  None (local threads), a Dask scheduler's address
               ("tcp://host:port") or a dask.distributed Client
    plot       a PNG file to draw PER against SNR into, as dot11a-per --plot
    impairments  as synthesize() takes them: cfo, cfo_ppm (with frequency),
               clock_ppm, iq_imbalance, dc, phase_noise, pa, interferer

    Returns the dict dot11a-per --json writes: "settings", "points" (rate_mbps,
    snr_db, frames, errors, missed, per, complete), "thresholds" (rate_mbps,
    snr_db_at_per_10, snr_db_limit) and "complete".
    """
    if snr is None:
        raise _veltora.Error('per_curve needs snr: "FROM:TO:STEP", a list or a number, in dB.')
    settings = dict(
        rates=list(rates) if not isinstance(rates, (int, float)) else [rates],
        snr=snr if isinstance(snr, (str, int, float)) else list(snr),
        frames=frames,
        stop_after_errors=stop_after_errors,
        psdu_octets=psdu_octets,
        fcs=fcs,
        oversampling=oversampling,
        seed=seed,
        ideal=ideal,
        channel=channel,
        **impairments
    )
    if workers is not None and (isinstance(workers, bool) or not isinstance(workers, int) or workers < 1):
        raise _veltora.Error("workers must be a whole number from 1, not %r." % (workers,))
    plan = _veltora._per_plan(settings)  # the settings' errors before any work
    if scheduler is None:
        result = _veltora._per_run(settings, workers or 0)
    else:
        from distributed import Client

        own = not isinstance(scheduler, Client)
        client = Client(scheduler) if own else scheduler
        try:
            chunks = _farm(settings, plan, client, _DASK_CHUNK_FRAMES)
        finally:
            if own:
                client.close()
        result = _veltora._per_combine(settings, chunks)
    if plot is not None:
        from .per_plot import plot as draw

        draw(result, plot)
    return result
