"""Sound measurements shared by the quality scripts: WAVE files in and out, alignment by lag,
SNR and SI-SDR, level per frequency. numpy only (Debian: python3-numpy)."""
import wave

import numpy as np


def read_wav(path):
    """(samples as float64 array frames x channels, rate) of a PCM WAVE file (8/16/24/32 bit)."""
    with wave.open(path, "rb") as w:
        channels, width, rate, frames = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
        raw = w.readframes(frames)
    data = np.frombuffer(raw, dtype=np.uint8)
    if width == 1:
        x = (data.astype(np.float64) - 128.0) / 128.0
    elif width == 2:
        x = np.frombuffer(raw, dtype="<i2").astype(np.float64) / 32768.0
    elif width == 3:
        b = data.reshape(-1, 3).astype(np.int32)
        v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
        v = np.where(v >= 1 << 23, v - (1 << 24), v)
        x = v.astype(np.float64) / float(1 << 23)
    elif width == 4:
        x = np.frombuffer(raw, dtype="<i4").astype(np.float64) / float(1 << 31)
    else:
        raise ValueError("unsupported sample width %d" % width)
    return x.reshape(-1, channels), rate


def write_wav(path, samples, rate=44100, bits=24):
    """Writes frames x channels (or a 1-D mono array) in -1..1 as 16- or 24-bit PCM."""
    x = np.asarray(samples, dtype=np.float64)
    if x.ndim == 1:
        x = x[:, None]
    full = float(1 << (bits - 1))
    q = np.clip(np.round(x * full), -full, full - 1).astype(np.int64)
    if bits == 16:
        raw = q.astype("<i2").tobytes()
    elif bits == 24:
        u = (q & 0xFFFFFF).astype(np.uint32)
        raw = np.stack([u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF], axis=-1).astype(np.uint8).tobytes()
    else:
        raise ValueError("bits must be 16 or 24")
    with wave.open(path, "wb") as w:
        w.setnchannels(x.shape[1])
        w.setsampwidth(bits // 8)
        w.setframerate(rate)
        w.writeframes(raw)


def mono(x):
    x = np.asarray(x, dtype=np.float64)
    return x if x.ndim == 1 else x.mean(axis=1)


def best_lag(estimate, reference, search=8192):
    """Whole-sample lag d (|d| <= search) that maximises sum reference[n] * estimate[n + d]."""
    e, r = mono(estimate), mono(reference)
    n = 1 << int(np.ceil(np.log2(len(e) + len(r) + 1)))
    c = np.fft.irfft(np.fft.rfft(e, n) * np.conj(np.fft.rfft(r, n)), n)
    lags = np.concatenate([np.arange(0, search + 1), np.arange(-search, 0)])
    values = np.concatenate([c[: search + 1], c[n - search:]])
    return int(lags[np.argmax(values)])


def shifted(x, lag, length):
    """x[n + lag] for n = 0 .. length-1, zero outside x."""
    x = np.asarray(x, dtype=np.float64)
    out = np.zeros((length,) + x.shape[1:])
    lo, hi = max(0, -lag), min(length, len(x) - lag)
    if hi > lo:
        out[lo:hi] = x[lo + lag:hi + lag]
    return out


def snr_db(estimate, reference):
    """10 log10(|s|^2 / |s - e|^2) without any gain or lag."""
    s, e = np.asarray(reference, dtype=np.float64).ravel(), np.asarray(estimate, dtype=np.float64).ravel()
    return 10 * np.log10(np.sum(s * s) / max(np.sum((s - e) ** 2), 1e-300))


def si_sdr_db(estimate, reference):
    s, e = np.asarray(reference, dtype=np.float64).ravel(), np.asarray(estimate, dtype=np.float64).ravel()
    a = np.dot(s, e) / np.dot(s, s)
    return 10 * np.log10(np.sum((a * s) ** 2) / max(np.sum((a * s - e) ** 2), 1e-300))


def fractional_lag(estimate, reference, low=50.0, high=4000.0, rate=44100):
    """Lag in samples (estimate later than reference is positive) from the slope of the
    cross-spectrum phase between low and high Hz, weighted by the reference's power."""
    e, r = mono(estimate), mono(reference)
    n = min(len(e), len(r))
    E, R = np.fft.rfft(e[:n]), np.fft.rfft(r[:n])
    f = np.fft.rfftfreq(n, 1.0 / rate)
    band = (f >= low) & (f <= high)
    cross = E[band] * np.conj(R[band])
    weight = np.abs(R[band]) ** 2
    if weight.sum() <= 0:
        return 0.0
    # Refine a coarse guess by least squares on the unwrapped residual phase.
    omega = 2 * np.pi * f[band] / rate
    lag = 0.0
    for _ in range(3):
        phase = np.angle(cross * np.exp(1j * omega * lag))
        lag += -np.sum(weight * omega * phase) / np.sum(weight * omega * omega)
    return lag


def level_db(estimate, reference):
    return 10 * np.log10(np.sum(mono(estimate) ** 2) / max(np.sum(mono(reference) ** 2), 1e-300))


def band_response_db(estimate, reference, centres, rate=44100, width=1.0 / 3):
    """Level of estimate against reference in bands of `width` octaves around each centre."""
    e, r = mono(estimate), mono(reference)
    n = min(len(e), len(r))
    E, R = np.abs(np.fft.rfft(e[:n])) ** 2, np.abs(np.fft.rfft(r[:n])) ** 2
    f = np.fft.rfftfreq(n, 1.0 / rate)
    out = []
    for c in centres:
        band = (f >= c * 2 ** (-width / 2)) & (f < c * 2 ** (width / 2))
        out.append(10 * np.log10(max(E[band].sum(), 1e-300) / max(R[band].sum(), 1e-300)))
    return out


def aligned_scores(estimate, reference, search=8192):
    """Lag, then SNR and SI-SDR of estimate against reference after that whole-sample lag and
    (for SNR) the best gain, on the mono sums."""
    lag = best_lag(estimate, reference, search)
    s = mono(reference)
    e = shifted(mono(estimate), lag, len(s))
    g = np.dot(s, e) / max(np.dot(e, e), 1e-300)
    return {"lag": lag, "snr": snr_db(g * e, s), "si_sdr": si_sdr_db(e, s), "plain_snr": snr_db(e, s)}
