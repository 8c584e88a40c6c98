"""The formats read by libraries other than libpng, for bench/run.

From the 4096 x 4096 photo-like PNG bench/run draws: a JPEG of it (4:2:0,
quality 90) baseline and progressive by cjpeg, a lossy WebP by cwebp, and a
2048 x 2048 GIF of it by ImageMagick. Each is converted by vantrel and
decoded alone by bench/decode_alone.c with the same library, as vantrel
asks it to. A baseline JPEG and a GIF decode faster than their headers can
be written, so a header of each size is also copied by dd: each target's
floor is the slower of decoding alone and that copy, and its note says
which. Returns the targets as (label, value, relation, limit, unit, note)
rows for bench/run's table.
"""

import shutil
import subprocess

from compile_cost import measured


def run(measure, vantrel, scratch, runs, convert, photo, cc, decoder_source):
    folder = scratch / "formats"
    folder.mkdir()
    decode = folder / "decode_alone"
    subprocess.run([cc, "-O2", "-o", str(decode), str(decoder_source),
                    "-ljpeg", "-lwebp", "-lgif"], check=True)
    ppm = folder / "photo.ppm"
    subprocess.run([convert, str(photo), "-depth", "8", str(ppm)], check=True)
    with open(folder / "baseline.jpg", "wb") as out:
        subprocess.run(["cjpeg", "-quality", "90", "-dct", "int", str(ppm)], stdout=out, check=True)
    with open(folder / "progressive.jpg", "wb") as out:
        subprocess.run(["cjpeg", "-quality", "90", "-dct", "int", "-progressive", str(ppm)], stdout=out, check=True)
    subprocess.run(["cwebp", "-quiet", "-q", "80", str(photo), "-o", str(folder / "lossy.webp")], check=True)
    subprocess.run([convert, str(photo), "-resize", "2048x2048", str(folder / "photo.gif")], check=True)
    for name in ("photo.gif", "baseline.jpg"):
        subprocess.run([vantrel, "--quiet", name], cwd=folder, check=True)
        shutil.move(folder / (name.rsplit(".", 1)[0] + ".h"), folder / (name.rsplit(".", 1)[1] + "-header.h"))

    print(f"\n{'formats':<33} {'wall s':>7} {'peak MiB':>9}")
    rows = {}
    for name, label in (("baseline.jpg", "JPEG 4096x4096 baseline"), ("progressive.jpg", "JPEG 4096x4096 progressive"),
                        ("lossy.webp", "WebP 4096x4096 lossy"), ("photo.gif", "GIF 2048x2048")):
        header = folder / (name.rsplit(".", 1)[0] + ".h")
        rows[name] = measured(measure, [vantrel, "--quiet", name], folder, runs, header)
        rows[name + " alone"] = measured(measure, [decode, name], folder, runs, folder / "none")
        print(f"{'vantrel ' + label:<33} {rows[name][0]:7.3f} {rows[name][1]:9.1f}")
        print(f"{'decode_alone ' + label:<33} {rows[name + ' alone'][0]:7.3f} {rows[name + ' alone'][1]:9.1f}")
    for kind, label in (("gif", "GIF"), ("jpg", "4096x4096")):
        rows[kind + " copy"] = measured(measure, ["dd", f"if={kind}-header.h", f"of={kind}-copy.h", "bs=1M", "status=none"],
                                        folder, runs, folder / f"{kind}-copy.h")
        print(f"{'dd bs=1M copy of the ' + label + ' header':<33} {rows[kind + ' copy'][0]:7.3f} {rows[kind + ' copy'][1]:9.1f}")

    targets = []
    for name, label, limit, copy in (("baseline.jpg", "JPEG baseline", 1.15, "jpg copy"),
                                     ("progressive.jpg", "JPEG progressive", 1.15, "jpg copy"),
                                     ("lossy.webp", "WebP lossy", 1.15, "jpg copy"), ("photo.gif", "GIF", 1.25, "gif copy")):
        alone, written = rows[name + " alone"][0], rows[copy][0]
        targets.append((f"{label} time / floor", rows[name][0] / max(alone, written), "<=", limit, "x",
                        "floor: the dd copy" if written > alone else "floor: decoding"))
    targets.append(("JPEG baseline peak memory", rows["baseline.jpg"][1], "<=", 24.0, "MiB", ""))
    return targets
