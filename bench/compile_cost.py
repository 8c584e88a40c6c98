"""What the user's compiler pays for vantrel's output, for bench/run.

For a 1024 x 1024 and a 2048 x 2048 picture of random colours, each form is
compiled to an object at -O2 by gcc and by clang: the header form through a
C file that includes it, the split and assembler forms' sources as they
are. Time and peak memory are given as ratios to the header form's. The
conversions themselves are timed too: --split, --asm and the layouts NV12
and YUYV against the header form, on the 4096 x 4096 bitmap bench/run makes.
"""

import os
import shutil
import statistics
import subprocess

from pictures import bitmap

FORMS = (("header", []), ("split", ["--split"]), ("asm", ["--asm"]))


def measured(measure, argv, cwd, runs, output=None):
    """Median wall seconds and median peak MiB of argv over runs runs; the
    previous output, if given, removed inside each run's time."""
    walls, peaks = [], []
    removal = ["-r", str(output)] if output else []
    for _ in range(runs):
        done = subprocess.run([measure, *removal, "/dev/null", *argv], cwd=cwd, stdout=subprocess.PIPE, text=True)
        if done.returncode != 0:
            raise SystemExit(f"bench: failed: {' '.join(map(str, argv))}")
        wall, _cpu, peak = done.stdout.split()
        walls.append(float(wall))
        peaks.append(int(peak) / 1024)
    return statistics.median(walls), statistics.median(peaks)


def run(measure, vantrel, scratch, rng, runs):
    """Prints the figures; returns the targets as (label, value, relation,
    limit, unit, note) rows for bench/run's table."""
    compilers = [c for c in ("gcc", "clang") if shutil.which(c)]
    targets = []
    print(f"\n{'compiling':<33} {'wall s':>7} {'peak MiB':>9} {'time x':>7} {'memory x':>9}")
    for size in (1024, 2048):
        folder = scratch / f"compile{size}"
        folder.mkdir()
        bitmap(folder / "pic.bmp", size, size, rng)
        for form, option in FORMS:
            (folder / form).mkdir()
            # An absolute folder, as the CMake function gives: the assembler
            # looks the word files up by the path the source names.
            subprocess.run([vantrel, *option, "--output-dir", str(folder / form), "pic.bmp"], cwd=folder, check=True,
                           stdout=subprocess.DEVNULL)
        (folder / "header" / "pic.c").write_text('#include "pic.h"\n')
        for cc in compilers:
            base = None
            for form, _ in FORMS:
                wall, peak = measured(measure, [cc, "-O2", "-c", "pic.c", "-o", "pic.o"], folder / form, runs)
                base = base or (wall, peak)
                print(f"{f'{cc} {size}x{size} {form}':<33} {wall:7.2f} {peak:9.1f} {wall / base[0]:7.3f} "
                      f"{peak / base[1]:9.3f}")
                if form == "asm":
                    targets.append((f"{cc} {size}x{size} asm time / header", wall / base[0], "<=", 0.1, "x",
                                    "goal 0.02"))
                    targets.append((f"{cc} {size}x{size} asm memory / header", peak / base[1], "<=", 0.5, "x",
                                    "goal 0.25"))
    # Converting: the same picture in each form, several times. The layouts
    # are converted as the header form, their bytes in place of words. The
    # forms take turns, in a new order each round after one that warms up,
    # and what the previous run wrote goes to disk first: run one after
    # another, each form would pay for the write-back of the one before.
    big = scratch / "convert"
    big.mkdir()
    shutil.copy(scratch / "big.bmp", big / "big.bmp")
    conversions = FORMS + (("nv12", ["--layout", "nv12"]), ("yuyv", ["--layout", "yuyv"]))
    walls = {form: [] for form, _ in conversions}
    for round_ in range(max(runs, 5) + 1):
        for form, option in rng.sample(conversions, len(conversions)):
            (big / form).mkdir(exist_ok=True)
            os.sync()
            wall, _ = measured(measure, [vantrel, *option, "--output-dir", form, "big.bmp"], big, 1)
            if round_ > 0:
                walls[form].append(wall)
    times = {form: statistics.median(w) for form, w in walls.items()}
    for form, _ in conversions:
        print(f"{f'vantrel 4096x4096 {form}':<33} {times[form]:7.3f}")
    for form in ("split", "asm"):
        targets.append((f"convert --{form} / header form", times[form] / times["header"], "<=", 1.1, "x", ""))
    for layout in ("nv12", "yuyv"):
        targets.append((f"convert --layout {layout} / header form", times[layout] / times["header"], "<=", 1.1, "x", ""))
    return targets
