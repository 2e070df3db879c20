"""Command line: ``glyphway-maker obj|glb|csv|labels|preview|demo ...`` (also
``python -m glyphway_maker``).

Every parameter of :func:`glyphway_maker.generate`,
:func:`glyphway_maker.generate_glb` and :func:`glyphway_maker.generate_csv`
is an option with the same default. The
library's progress lines go to standard output unchanged; what this command
adds (timings, errors) goes to standard error, so stdout stays the
library's own log. On a terminal, a one-line stage indicator is drawn on
standard error while the run lasts (not with --quiet, never when standard
error is redirected).
"""
from __future__ import annotations

import argparse
import inspect
import os
import re
import sys
import time

import glyphway_maker
from glyphway_maker.progress_bar import StageIndicator

DENSITIES = ("very_dense", "dense", "moderate", "sparse", "very_sparse")
REPEAT_MODES = ("name_connected", "name", "feature")
POSTURES = ("flat", "upright")
# Any strategy other than "truncate" keeps the whole name at the smallest
# scale; "keep" is the name this command gives to that choice.
OVERFLOW_STRATEGIES = ("truncate", "keep")
ANGLE_UNITS = ("degree", "radian")
STYLES = ("interval", "cartographic")


def _add_common(p: argparse.ArgumentParser, *, fit: bool, mesh: bool) -> None:
    """Options shared by the commands, in the order of generate()'s parameters.

    `fit`: the auto-fit limits the CSV export fixes itself; `mesh`: the OBJ
    mesh options, which only the obj command has a use for."""
    g = p.add_argument_group("input")
    g.add_argument("--name-field", default="name", metavar="COLUMN",
                   help="attribute column holding the road name (default: %(default)s)")
    g.add_argument("--weight-field", default="weight", metavar="COLUMN",
                   help="attribute column holding the label weight; of two colliding "
                        "labels the one with the greater weight gives way (default: "
                        "%(default)s)")
    g.add_argument("--use-utm", action="store_true",
                   help="measure in the UTM zone around the data instead of EPSG:3857 "
                        "(lengths in true metres)")

    g = p.add_argument_group("text layout")
    g.add_argument("--posture", choices=POSTURES, default="flat",
                   help="flat: text lies on the ground; upright: it stands up along the road "
                        "(default: %(default)s)")
    g.add_argument("--no-curved-text", dest="curved_text", action="store_false",
                   help="place each name as one straight label instead of bending it glyph "
                        "by glyph along the road (also turns off auto-fit and density-based "
                        "selection)")
    g.add_argument("--no-auto-fit", dest="auto_fit_text", action="store_false",
                   help="do not shrink, tighten or truncate names longer than their road")
    g.add_argument("--min-font-scale", type=float, default=0.35, metavar="SCALE",
                   help="auto-fit never shrinks the font below this fraction of --font-size "
                        "(default: %(default)s)")
    if fit:
        g.add_argument("--min-letter-spacing", type=float, default=0.0, metavar="UNITS",
                       help="auto-fit never tightens letter spacing below this "
                            "(default: %(default)s)")
        g.add_argument("--overflow-strategy", choices=OVERFLOW_STRATEGIES, default="truncate",
                       help="a name that still does not fit: truncate cuts it and adds an "
                            "ellipsis, keep leaves it whole (default: %(default)s)")

    g = p.add_argument_group("placement style")
    g.add_argument("--style", choices=STYLES, default="interval",
                   help="interval: candidates every --distance-interval on each piece; "
                        "cartographic: along whole merged roads, repeated at the density's "
                        "interval, upright, shaped with the font's kerning, off sharp bends "
                        "(default: %(default)s)")
    g.add_argument("--max-char-angle", type=float, default=30.0, metavar="DEG",
                   help="cartographic style: the largest turn between adjacent glyphs "
                        "(default: %(default)s)")

    g = p.add_argument_group("label selection")
    g.add_argument("--density", choices=DENSITIES, default="moderate",
                   help="how far apart labels must be and how many one road may carry "
                        "(default: %(default)s)")
    g.add_argument("--repeat-mode", choices=REPEAT_MODES, default="name_connected",
                   help="what counts as one road when limiting repeats: touching pieces with "
                        "the same name, every piece with the same name, or each feature "
                        "(default: %(default)s)")
    g.add_argument("--connect-eps", type=float, default=None, metavar="DIST",
                   help="end points closer than this join pieces of one road "
                        "(default: half the typical font size)")
    g.add_argument("--max-global-iterations", type=int, default=None, metavar="N",
                   help="selection passes, overriding the density's own count")

    g = p.add_argument_group("candidate sampling")
    g.add_argument("--text-count", type=int, default=None, metavar="N",
                   help="exactly N candidates per line instead of one every "
                        "--distance-interval")
    g.add_argument("--distance-interval", type=float, default=500.0, metavar="DIST",
                   help="spacing of candidates along a line, in working-CRS metres "
                        "(default: %(default)s)")
    g.add_argument("--add-at-endpoints", action="store_true",
                   help="also put candidates at the ends of every line")

    g = p.add_argument_group("text size")
    g.add_argument("--font-size", type=float, default=15.0, metavar="SIZE",
                   help="label height in working-CRS metres (default: %(default)s)")
    if mesh:
        g.add_argument("--extrusion-depth", type=float, default=2.0, metavar="DEPTH",
                       help="thickness of the 3D text; 0 for flat faces (default: %(default)s)")
    g.add_argument("--letter-spacing", type=float, default=0.0, metavar="UNITS",
                   help="extra space between letters (default: %(default)s)")
    if mesh:
        g.add_argument("--no-separate-objects", dest="separate_objects", action="store_false",
                       help="write all labels as one OBJ object instead of one object per "
                            "label")
    _add_font(g)


def _add_csv_output(p: argparse.ArgumentParser) -> None:
    g = p.add_argument_group("billboard output")
    g.add_argument("--target-crs", default="EPSG:3857", metavar="CRS",
                   help="coordinate system of the written x, y (anything pyproj accepts; an "
                        "empty string keeps the working system) (default: %(default)s)")
    g.add_argument("--no-quaternion", dest="output_quaternion", action="store_false",
                   help="write Euler angles instead of a quaternion")
    g.add_argument("--both-angles", dest="output_both_angles", action="store_true",
                   help="write the quaternion and the Euler angles")
    g.add_argument("--angle-unit", choices=ANGLE_UNITS, default="degree",
                   help="unit of the Euler angles (default: %(default)s)")
    g.add_argument("--angle-precision", type=int, default=10, metavar="DIGITS",
                   help="decimals of quaternions and angles (default: %(default)s)")


def _add_font(g) -> None:
    g.add_argument("--font", dest="font_path", default=None, metavar="PATH",
                   help="font file to draw with (default: an installed CJK font, else a "
                        "downloaded Noto Sans SC)")


class _Parser(argparse.ArgumentParser):
    """An argument parser that reads every negative number as a value.

    argparse takes ``-1`` and ``-0.5`` for numbers but ``-1e9``, ``-1E-3``,
    ``-inf`` or ``-nan`` for unknown options, so ``--letter-spacing -1e9``
    would fail with "expected one argument". None of our options looks like
    a number, so widening the pattern cannot hide one."""

    _NUMBER = re.compile(r"^-(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$|^-(inf|infinity|nan)$",
                         re.IGNORECASE)

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self._negative_number_matcher = self._NUMBER


_QUIET_HELP = ("draw no stage indicator on standard error (it is drawn only when standard "
               "error is a terminal)")


def _add_quiet(p: argparse.ArgumentParser) -> None:
    # Also after the command; SUPPRESS keeps a --quiet given before it.
    p.add_argument("--quiet", action="store_true", default=argparse.SUPPRESS, help=_QUIET_HELP)


def build_parser(prog: str | None = None) -> argparse.ArgumentParser:
    parser = _Parser(
        prog=prog or "glyphway-maker",
        description="Place road-name labels along the roads of a shapefile and write them as "
                    "3D text (OBJ or GLB) or as a billboard CSV.")
    parser.add_argument("--version", action="store_true", help="print the version and exit")
    parser.add_argument("--traceback", action="store_true",
                        help="show the full traceback when a run fails")
    parser.add_argument("--quiet", action="store_true", help=_QUIET_HELP)
    sub = parser.add_subparsers(dest="command", metavar="{obj,glb,csv,labels,preview,demo}")

    p = sub.add_parser("obj", help="write extruded 3D text as a Wavefront OBJ file",
                       description="Write one extruded 3D text mesh per visible label.")
    p.add_argument("shp_path", metavar="SHP", help="road shapefile (polylines with a name column)")
    p.add_argument("output_obj", metavar="OUT.obj", help="OBJ file to write")
    _add_common(p, fit=True, mesh=True)

    p = sub.add_parser("glb", help="write the 3D text as a binary glTF (GLB) file",
                       description="Write the obj command's 3D text as binary glTF 2.0: each "
                                   "distinct glyph mesh once, drawn per label by GPU "
                                   "instancing, with a table of the labels.")
    p.add_argument("shp_path", metavar="SHP", help="road shapefile (polylines with a name column)")
    p.add_argument("output_glb", metavar="OUT.glb", help="GLB file to write")
    _add_common(p, fit=True, mesh=True)
    g = p.add_argument_group("glTF output")
    g.add_argument("--no-instancing", dest="instancing", action="store_false",
                   help="write plain meshes (one per label) for viewers without "
                        "EXT_mesh_gpu_instancing")

    p = sub.add_parser("csv", help="write a billboard CSV (position, rotation, text)",
                       description="Write one row per visible label: id, x, y, z, rotation, "
                                   "name.")
    p.add_argument("shp_path", metavar="SHP", help="road shapefile (polylines with a name column)")
    p.add_argument("output_csv", metavar="OUT.csv", help="CSV file to write (UTF-8 with BOM)")
    _add_csv_output(p)
    _add_common(p, fit=False, mesh=False)

    p = sub.add_parser("labels", help="write the placed labels as GeoPackage or GeoJSON points",
                       description="Write one point per visible label (anchor in the working "
                                   "CRS) with text, fitted text, size, group, weight, "
                                   "rotation and line key.")
    p.add_argument("shp_path", metavar="SHP", help="road shapefile (polylines with a name column)")
    p.add_argument("output", metavar="OUT.gpkg",
                   help="file to write: .gpkg (GeoPackage), .geojson or .json (GeoJSON)")
    _add_common(p, fit=True, mesh=False)

    p = sub.add_parser("preview", help="draw the roads and placed labels as a PNG picture",
                       description="Draw the roads, each visible label's footprint coloured "
                                   "by road, the texts and a scale bar.")
    p.add_argument("shp_path", metavar="SHP", help="road shapefile (polylines with a name column)")
    p.add_argument("output_png", metavar="OUT.png", help="PNG file to write")
    g = p.add_argument_group("picture")
    g.add_argument("--width-px", type=int, default=1600, metavar="PX",
                   help="picture width in pixels (default: %(default)s)")
    g.add_argument("--height-px", type=int, default=1200, metavar="PX",
                   help="picture height in pixels (default: %(default)s)")
    g.add_argument("--dpi", type=float, default=100.0,
                   help="dots per inch; sets how large texts and lines are drawn "
                        "(default: %(default)s)")
    _add_common(p, fit=True, mesh=False)

    p = sub.add_parser("demo", help="label the bundled sample city into OUTDIR",
                       description="Write OUTDIR/sample.obj and OUTDIR/sample.csv from the "
                                   "bundled sample city.")
    p.add_argument("outdir", metavar="OUTDIR", help="folder to write into (created if missing)")
    _add_font(p)
    for command in sub.choices.values():
        _add_quiet(command)
    return parser


def _options_of(function) -> tuple[str, ...]:
    """The parameters of an entry point after its two paths, in order: the
    native signature is the one list of options, so a new one reaches the
    command as soon as it has a flag."""
    return tuple(list(inspect.signature(function).parameters)[2:])


# The parameters of each entry point that come from options, besides the two paths.
_OBJ_OPTIONS = _options_of(glyphway_maker.glyphway_accel_avx2.generate)
_CSV_OPTIONS = _options_of(glyphway_maker.glyphway_accel_avx2.generate_csv)
_GLB_OPTIONS = _options_of(glyphway_maker.glyphway_accel_avx2.generate_glb)


class NothingWritten(Exception):
    """The run found no label to write (the library then writes no file)."""


def _file_identity(path: str):
    try:
        st = os.stat(path)
    except (OSError, ValueError):  # ValueError: a NUL in the path, refused by the writer
        return None
    return (st.st_ino, st.st_mtime_ns, st.st_size)


# The engine options of `labels` and `preview`: generate()'s, less what
# only a mesh uses.
_LABEL_OPTIONS = tuple(n for n in _OBJ_OPTIONS
                       if n not in ("extrusion_depth", "separate_objects"))


def _timed(label: str, function, *args, **kwargs) -> None:
    # The library returns quietly without a file when there is nothing to
    # label (no name column, no usable line); say so instead of "wrote".
    # A device or FIFO shows no change when written, so the native writers'
    # own count of completed files tells those apart.
    output = args[1]
    before = _file_identity(output)
    writes = glyphway_maker.glyphway_accel_avx2._outputs_written()
    start = time.perf_counter()
    function(*args, **kwargs)
    after = _file_identity(output)
    wrote = glyphway_maker.glyphway_accel_avx2._outputs_written() != writes
    if not wrote and (after is None or after == before):
        raise NothingWritten(f"no labels were placed; nothing written to {output}")
    print(f"glyphway-maker: {label} in {time.perf_counter() - start:.2f} s", file=sys.stderr)


def _run(args: argparse.Namespace) -> None:
    if args.command == "obj":
        options = {name: getattr(args, name) for name in _OBJ_OPTIONS}
        _timed(f"wrote {args.output_obj}", glyphway_maker.generate, args.shp_path,
               args.output_obj, **options)
    elif args.command == "glb":
        options = {name: getattr(args, name) for name in _GLB_OPTIONS}
        _timed(f"wrote {args.output_glb}", glyphway_maker.generate_glb, args.shp_path,
               args.output_glb, **options)
    elif args.command == "csv":
        options = {name: getattr(args, name) for name in _CSV_OPTIONS}
        _timed(f"wrote {args.output_csv}", glyphway_maker.generate_csv, args.shp_path,
               args.output_csv, **options)
    elif args.command == "labels":
        options = {name: getattr(args, name) for name in _LABEL_OPTIONS}
        _timed(f"wrote {args.output}", _write_label_file, args.shp_path, args.output, options)
    elif args.command == "preview":
        options = {name: getattr(args, name) for name in _LABEL_OPTIONS}
        _timed(f"wrote {args.output_png}", glyphway_maker.preview, args.shp_path,
               args.output_png, width_px=args.width_px, height_px=args.height_px,
               dpi=args.dpi, **options)
    else:
        run_demo(args.outdir, font_path=args.font_path)


def _write_label_file(shp_path: str, output: str, options: dict) -> None:
    from glyphway_maker import labels
    # Refuse a wrong extension or a target it could not write before the
    # (possibly long) placement runs.
    labels.check_label_path(output)
    glyphway_maker.glyphway_accel_avx2._check_output(output)
    frame = glyphway_maker.place_labels(shp_path, **options)
    if len(frame) == 0:  # as obj and csv: no empty file, a failed run
        raise NothingWritten(f"no labels were placed; nothing written to {output}")
    labels.write_labels(frame, output)


def run_demo(outdir: str, font_path: str | None = None) -> tuple[str, str]:
    """Labels the bundled sample city into outdir/sample.obj and outdir/sample.csv."""
    os.makedirs(outdir, exist_ok=True)
    shp = glyphway_maker.sample_data_path()
    obj = os.path.join(outdir, "sample.obj")
    csv = os.path.join(outdir, "sample.csv")
    # The sample is in longitude/latitude; its UTM zone gives true metres,
    # and the billboard positions go back to longitude/latitude.
    _timed(f"wrote {obj}", glyphway_maker.generate, shp, obj, use_utm=True, font_path=font_path)
    _timed(f"wrote {csv}", glyphway_maker.generate_csv, shp, csv, target_crs="EPSG:4326",
           use_utm=True, font_path=font_path)
    return obj, csv


def main(argv: list[str] | None = None, prog: str | None = None) -> int:
    parser = build_parser(prog)
    args = parser.parse_args(argv)
    if args.version:
        print(f"glyphway_maker {glyphway_maker.__version__}")
        return 0
    if args.command is None:
        parser.print_usage(sys.stderr)
        print(f"{parser.prog}: error: a command is required (obj, glb, csv, labels, preview or demo)", file=sys.stderr)
        return 2
    try:
        with StageIndicator.for_terminal(args.command, args.quiet):
            _run(args)
    except Exception as e:  # a failed run: a message, not a traceback, unless asked
        if args.traceback:
            raise
        print(f"{parser.prog}: error: {type(e).__name__}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
