"""An independent computation of what the program must show, for the end-to-end run.

It follows the model's loops literally, in plain Python, from the same coefficient files the
program reads, so that the program's export and dose list can be checked digit for digit.
"""
import math
import re

BINS = 300


def read_values(path, count):
    text = open(path, encoding="utf-8-sig").read()
    values = [float(t) for t in re.split(r"[,\s]+", text.strip()) if t]
    if len(values) < count:
        raise ValueError(f"{path}: {len(values)} of {count} values")
    return values[:count]


def load_tables(folder):
    att = read_values(f"{folder}/Att_coeff2021.dat", 7 * BINS)
    eff = read_values(f"{folder}/effEA.dat", 12 * BINS)
    t = {name: [0.0] * (BINS + 1) for name in ("W", "Al", "Cu", "Tissue")}
    effea = [[0.0] * 12 for _ in range(BINS + 1)]
    for n in range(1, BINS + 1):
        rec = att[7 * (n - 1): 7 * n]
        t["W"][n], t["Al"][n], t["Cu"][n], t["Tissue"][n] = rec[1], rec[2], rec[3], rec[4]
        effea[n] = eff[12 * (n - 1): 12 * n]
    t["EffEA"] = effea
    return t


def spectrum(t, angle, inherent_cm, al_cm, cu_cm, kv_low, kv_high, mode):
    fluence = [0.0] * (BINS + 1)
    cot = 1 / math.tan(angle * 3.14159 / 180)
    if mode != 1:
        m = (kv_high + kv_low) * 0.5
        g = 1.84 / (kv_high - m)
    n = (kv_high - kv_low) * 2 + 1
    j = 1
    while j <= n:
        kv = kv_low + (j - 1) * 0.5
        w = 1.0 if mode == 1 else 0.3989 * math.exp(-0.5 * (((kv - m) * g) ** 2))
        c = 141766 + 12157 * kv - 111.046 * kv * kv + 0.552536 * kv * kv * kv - 0.000970158 * kv * kv * kv * kv
        raw = [0.0] * (BINS + 1)
        top = int(math.floor(2 * kv))
        for i in range(2, top + 1):
            e = 0.5 * i
            s = 0.0
            tt = e
            while tt <= kv:
                d = (kv * kv - tt * tt) / (19.3 * c)
                u = e / tt
                b = 1 - 5.049 * u + 10.847 * u * u - 10.516 * u * u * u + 3.842 * u * u * u * u
                s += (math.exp(-t["W"][i] * cot * d) * b * (2.9e-5 * e + 0.03658) * (1 + 511 / tt)
                      / (1036.1 * math.exp(-0.04695 * tt) + 202.41))
                tt += 0.5
            raw[i] = s
        if kv > 70:
            k = (math.sqrt(8.79856 * kv - 595.149) - 4.55528) / 4.39928
            q = 0.01 * k * sum(raw[2: top + 1])
            raw[119] += 0.5048 * q
            raw[116] += 0.2908 * q
            raw[134] += 0.162 * q
            raw[138] += 0.0424 * q
        for i in range(2, top + 1):
            fluence[i] += (raw[i] * math.exp(-(inherent_cm + al_cm) * t["Al"][i]) * math.exp(-cu_cm * t["Cu"][i])
                        / (0.5 * i) * w)
        j += 1
    top = int(math.floor(2 * kv_high))
    total = sum(fluence[2: top + 1])
    for i in range(2, top + 1):
        fluence[i] = fluence[i] / total
        if fluence[i] < 1e-10:
            fluence[i] = 0.0
    return fluence


def sci(x):
    """The pattern "0.000E+00"."""
    if x == 0:
        return "0.000E+00"
    return "%.3E" % x


def export_bytes(fluence):
    return "".join(sci(0.5 * i) + "  " + sci(fluence[i]) + "\r\n" for i in range(1, BINS + 1)).encode("ascii")


def dose_lines(t, fluence, kv_high, area_dose):
    top = int(math.floor(2 * kv_high))
    z = 0.0
    for i in range(2, top + 1):
        z += fluence[i] * (i * 0.5) * 0.001602 * t["Tissue"][i]
    g = area_dose / z
    dose = [0.0] * 12
    for i in range(2, top + 1):
        q = fluence[i] * 1e10 * g * (i * 0.5) * 1.602e-16
        for j in range(1, 12):
            dose[j] += q * t["EffEA"][i][j]
    photons = sci(g * 1e10)
    lines = ["       " + str(2 * j + 8) + "     \u2192     " + sci(dose[j]) for j in range(1, 12)]
    return photons, lines
