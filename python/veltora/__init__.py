"""IEEE 802.11a OFDM test frames from Python.

synthesize()  makes a frame, or a sequence with impairments for receiver tests:
              complex samples (numpy) and a dict of their facts
verify()      decodes and measures frames; the report dict of dot11a-verify --json
read()        reads a capture: .mat, .sigmf-meta/.sigmf-data, .bin (16-bit), .cf32
write()       writes .mat, .bin (16-bit) or SigMF
call()        any operation of the library by name (numpy in, numpy out)
per_curve()   the packet error rate against the SNR per rate, as dot11a-per
              counts it: on local threads or on a Dask cluster

Errors raise veltora.Error (a ValueError) with the library's message.
"""

from ._veltora import Error, call, read, synthesize, verify, write
from ._per import per_curve

__all__ = ["Error", "call", "per_curve", "read", "synthesize", "verify", "write"]
