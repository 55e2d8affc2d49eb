#!/usr/bin/env python3
"""Turns the benchmark's JSON into bench/results/results.md and the gnuplot data."""
import json
import os
import platform
import statistics
import subprocess
import sys

src, dst = sys.argv[1], sys.argv[2]


def load(name):
    path = os.path.join(src, name)
    if not os.path.exists(path):
        return None, {}
    doc = json.load(open(path))
    runs = {}
    for b in doc["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        key = b["run_name"].split("/iterations")[0]
        runs.setdefault(key, []).append(b["cpu_time"])  # ms per call, process CPU time
    return doc["context"], runs


ctx, after = load("after.json")
# A separate run of the passes alone, when made, replaces those entries.
_, extra = load("pass.json")
after.update(extra)
_, before = load("before.json")

cpu = "unknown"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        cpu = line.split(":", 1)[1].strip()
        break
mhz = ctx.get("mhz_per_cpu", 0)


def mn(runs, key):
    v = runs.get(key)
    return min(v) if v else None


def med(runs, key):
    v = runs.get(key)
    return statistics.median(v) if v else None


def spread(runs, key):
    v = runs.get(key)
    return (max(v) / min(v) - 1) * 100 if v else 0


pairs = []
for size in ["0.3MP", "2MP", "12MP"]:
    for fmt in ["png", "jpg"]:
        for var in ["identical", "differing", "resized"]:
            pairs.append(f"{size}/{fmt}/{var}")

lines = []
lines.append("# Benchmark results\n")
lines.append(f"Processor: **{cpu}** ({ctx.get('num_cpus')} cores, {mhz} MHz reported), "
             f"{platform.system()} {platform.release()}; {ctx.get('date', '')}.  ")
lines.append(f"Library PNG compressor: {os.environ.get('RANVIQUE_BENCH_COMPRESSOR_NAME', 'as built (see README)')}. "
             "Times are process CPU time per call in ms, the minimum of the repetitions "
             "(median in the detail table); the machine's 2 cores are shared, so wall-clock time is not used.\n")
lines.append("Limit = stb_image decode of both files (`stbi_load`, 4 channels, including release), "
             "plus the resampler when the sizes differ; for `diff` also the PNG encoder of the difference image. "
             "Own = call − limit. Bound = one dependent double addition per canvas pixel (measured).\n")
lines.append("| pair | decode | resample | encode | bound | similarity | ratio | own/bound | stats | own/bound | diff | ratio | own (pre-encode)/bound | perceptual | own (ms) |")
lines.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
plot = []
misses = []
for i, p in enumerate(pairs):
    dec = mn(after, f"decode/{p}")
    if dec is None:
        continue
    res = mn(after, f"resample/{p}") or 0.0
    enc = mn(after, f"encode/{p}") or 0.0
    bound = mn(after, f"add_chain/{p}")
    sim = mn(after, f"similarity/{p}")
    st = mn(after, f"stats/{p}")
    df = mn(after, f"diff/{p}")
    pc = mn(after, f"perceptual/{p}")
    lim = dec + res
    r_sim = sim / lim
    o_sim = (sim - lim) / bound
    o_st = (st - lim) / bound
    r_df = df / (lim + enc)
    o_df = (df - lim - enc) / bound
    o_pc = pc - dec
    lines.append(f"| {p} | {dec:.2f} | {res:.2f} | {enc:.2f} | {bound:.3f} | {sim:.2f} | {r_sim:.3f} | {o_sim:.2f} | "
                 f"{st:.2f} | {o_st:.2f} | {df:.2f} | {r_df:.3f} | {o_df:.2f} | {pc:.2f} | {o_pc:.3f} |")
    plot.append(f"{i} \"{p}\" {r_sim:.4f} {st / lim:.4f} {r_df:.4f} {pc / dec:.4f}")
    if o_sim > 1.5: misses.append(f"{p}: similarity own {o_sim:.2f}x bound")
    if o_st > 1.5: misses.append(f"{p}: stats own {o_st:.2f}x bound")
    if o_df > 2.0: misses.append(f"{p}: diff own before encoding {o_df:.2f}x bound")
    if o_pc > 1.0: misses.append(f"{p}: perceptual own {o_pc:.3f} ms")
    if p.endswith("png/identical") or p.endswith("png/differing") or p.endswith("png/resized"):
        if not p.startswith("0.3MP") and r_sim > 1.05: misses.append(f"{p}: similarity {r_sim:.3f}x decode limit")
    if p.startswith("12MP/png") and p.endswith("differing") or p.startswith("12MP/png/identical"):
        if df / dec > 2.0: misses.append(f"{p}: diff PNG {df / dec:.2f}x decode-only limit")

lines.append("")
lines.append("Pixel pass (library's own time per canvas pixel, similarity) beside the bound:\n")
lines.append("| pair | own ns/pixel | bound ns/pixel (one dependent add) | diff/decode-only |")
lines.append("|---|---:|---:|---:|")
for p in pairs:
    dec = mn(after, f"decode/{p}")
    if dec is None:
        continue
    res = mn(after, f"resample/{p}") or 0.0
    px = {"0.3MP": 640 * 480, "2MP": 1920 * 1080, "12MP": 4000 * 3000}[p.split("/")[0]]
    own = (mn(after, f"similarity/{p}") - dec - res) * 1e6 / px
    bnd = mn(after, f"add_chain/{p}") * 1e6 / px
    lines.append(f"| {p} | {own:.3f} | {bnd:.3f} | {mn(after, f'diff/{p}') / dec:.3f} |")

lines.append("")
lines.append("The library's own passes alone, on decoded buffers (compiled from its source into the benchmark), "
             "beside the straightforward pass they replaced and the bound (ns per canvas pixel, minimum):\n")
lines.append("| pair | pass | pass / bound | reference pass | render (diff, before encoding) | render / bound | bound |")
lines.append("|---|---:|---:|---:|---:|---:|---:|")
for p in pairs:
    if mn(after, f"pass/{p}") is None:
        continue
    px = {"0.3MP": 640 * 480, "2MP": 1920 * 1080, "12MP": 4000 * 3000}[p.split("/")[0]]
    f = lambda k: mn(after, f"{k}/{p}") * 1e6 / px
    lines.append(f"| {p} | {f('pass'):.3f} | {f('pass') / f('add_chain'):.2f} | {f('pass_reference'):.3f} | "
                 f"{f('render'):.3f} | {f('render') / f('add_chain'):.2f} | {f('add_chain'):.3f} |")

lines.append("")
lines.append("Targets missed in this run (export minus limit; at 0.3 to 12 MP the difference of two noisy "
             "timings, see Noise): " + ("none." if not misses else ""))
for m in misses:
    lines.append(f"- {m}")

if before:
    lines.append("\n## Before and after, same run (ms, minimum; baseline module vs this build)\n")
    lines.append("| benchmark | before | after | after/before |")
    lines.append("|---|---:|---:|---:|")
    for key in sorted(before):
        b, a = min(before[key]), mn(after, key)
        if a:
            lines.append(f"| {key} | {b:.2f} | {a:.2f} | {a / b:.3f} |")

lines.append("\n## Noise\n")
worst = sorted(((spread(after, k), k) for k in after), reverse=True)[:5]
lines.append("Largest spread (max/min − 1) of the repetitions: " +
             ", ".join(f"{k} {s:.0f}%" for s, k in worst) + f". Load average at start: {ctx.get('load_avg')}.\n")

for name, title in [("compressors.md", "PNG compressor of the difference image (best of 3–5)"),
                    ("memory.md", "Peak resident memory per export, 12 MP PNG pair")]:
    path = os.path.join(src, name)
    if os.path.exists(path):
        lines.append(f"\n## {title}\n")
        lines.append(open(path).read())

lines.append("\n![ratios](ratios.png)\n")
open(os.path.join(dst, "results.md"), "w").write("\n".join(lines) + "\n")
open(os.path.join(dst, "ratios.dat"), "w").write("\n".join(plot) + "\n")
open(os.path.join(dst, "ratios.gp"), "w").write(f"""set terminal pngcairo size 1200,600 noenhanced
set output 'bench/results/ratios.png'
set title "Export time / its limit (CPU time, min of repetitions) - {cpu}"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set xtics rotate by -45
set yrange [0:*]
set ylabel 'call / limit'
set key top left
plot 'bench/results/ratios.dat' using 3:xtic(2) title 'similarity / decode(+resample)', \\
     '' using 4 title 'stats / decode(+resample)', \\
     '' using 5 title 'diff / decode(+resample)+encode', \\
     '' using 6 title 'perceptual / decode', \\
     1 with lines lw 2 lc rgb 'black' title 'limit'
""")
