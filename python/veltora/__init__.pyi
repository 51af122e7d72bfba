from typing import Any, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

class Error(ValueError): ...

def synthesize(
    *,
    params: Optional[str] = None,
    rate: Optional[float] = None,
    modulation: Optional[str] = None,
    coding: Optional[str] = None,
    unframed: bool = False,
    length: Optional[int] = None,
    source: Optional[str] = None,
    mac_header: Optional[bool] = None,
    fcs: Optional[bool] = None,
    scrambler_init: Optional[int] = None,
    scrambler: Optional[bool] = None,
    interleaver: Optional[bool] = None,
    service: Optional[int] = None,
    oversampling: Optional[int] = None,
    window: Optional[int] = None,
    idle_us: Optional[float] = None,
    mirror: bool = False,
    mask: Optional[Sequence[float]] = None,
    frames: Optional[int] = None,
    gap_us: Optional[Union[float, str]] = None,
    seed_step: bool = False,
    sequence: Optional[str] = None,
    pa: Optional[str] = None,
    iq_imbalance: Optional[Union[Tuple[float, float], str]] = None,
    dc: Optional[Union[float, str]] = None,
    phase_noise: Optional[Union[float, Tuple[float, float], str]] = None,
    channel: Optional[str] = None,
    cfo: Optional[Union[float, str]] = None,
    cfo_ppm: Optional[Union[float, str]] = None,
    clock_ppm: Optional[Union[float, str]] = None,
    snr: Optional[Union[float, str]] = None,
    interferer: Optional[Union[Tuple[float, float], str]] = None,
    seed: Optional[Union[int, str]] = None,
    test: Optional[str] = None,
    frequency: Optional[float] = None,
) -> Tuple[npt.NDArray[np.complex128], dict[str, Any]]: ...
def verify(
    samples: npt.ArrayLike,
    sample_rate: float = 20e6,
    *,
    fcs: str = "auto",
    dac_droop: bool = False,
    fft_backoff: float = 4.0,
    channel_estimate: str = "preamble",
    max_frames: int = 256,
    expect_psdu: Optional[bytes] = None,
) -> dict[str, Any]: ...
def read(path: str, format: str = "auto") -> Tuple[npt.NDArray[np.complex128], dict[str, Any]]: ...
def write(
    path: str,
    samples: npt.ArrayLike,
    sample_rate: float = 20e6,
    *,
    frequency: Optional[float] = None,
    description: str = "",
    dac_precompensated: bool = False,
    impairments: str = "",
) -> None: ...
def call(name: str, *args: Any, nout: int = 1) -> Any: ...
def per_curve(
    rates: Union[float, Sequence[float]] = (6, 9, 12, 18, 24, 36, 48, 54),
    snr: Union[str, float, Sequence[float], None] = None,
    frames: int = 1000,
    channel: str = "awgn",
    seed: Union[int, str] = 1,
    ideal: bool = False,
    workers: Optional[int] = None,
    scheduler: Any = None,
    *,
    stop_after_errors: int = 0,
    psdu_octets: int = 1000,
    fcs: bool = True,
    oversampling: int = 1,
    plot: Optional[str] = None,
    **impairments: Any,
) -> dict[str, Any]: ...
