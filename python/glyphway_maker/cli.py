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
import os
import re
import sys
import time

import glyphway_maker
from glyphway_maker.progress_bar import StageIndicator

# The option table of the native module (src/pipeline/options.def): every
# option's name, default, the entry points that take it, and its flag,
# metavar, choices and help here.
_OPTION_TABLE = glyphway_maker.glyphway_accel_avx2._option_table
_TYPES = {"real": float, "optional_real": float, "integer": int, "optional_integer": int}
# The argument groups in the order a command lists them (each command has
# those its options fall in).
_GROUPS = ("billboard output", "input", "text layout", "placement style", "label selection",
           "candidate sampling", "text size", "glTF output")


def _options_taken_by(taker: str) -> tuple[dict, ...]:
    """The rows of the option table that `taker` takes besides its paths, in order."""
    return tuple(row for row in _OPTION_TABLE if taker in row["takers"] and not row["required"])


def _row(name: str) -> dict:
    return next(row for row in _OPTION_TABLE if row["name"] == name)


class _Repeatable(argparse.Action):
    """A value that may be given more than once (``--font A --font B``): one
    stays a str, as the entry points have always been handed it; several
    become a list, in the order given."""

    def __call__(self, parser, namespace, values, option_string=None):
        current = getattr(namespace, self.dest, None)
        if current is None:
            setattr(namespace, self.dest, values)
        elif isinstance(current, list):
            current.append(values)
        else:
            setattr(namespace, self.dest, [current, values])


def _add_option(g, row: dict) -> None:
    """One option's argument: a flag's switch turns its default around; any
    other option takes a value, converted as the entry point's kind says (a
    list of paths is the option repeated)."""
    keywords = {"dest": row["name"], "help": row["help"]}
    if row["kind"] == "flag":
        keywords["action"] = "store_false" if row["default"] else "store_true"
    else:
        if row["kind"] == "paths":
            keywords["action"] = _Repeatable
        keywords["default"] = row["default"]
        if row["kind"] in _TYPES:
            keywords["type"] = _TYPES[row["kind"]]
        if row["choices"]:
            keywords["choices"] = row["choices"]
        if row["metavar"]:
            keywords["metavar"] = row["metavar"]
        if row["default"] is not None:
            keywords["help"] += " (default: %(default)s)"
    g.add_argument(row["cli_flag"], **keywords)


def _add_options(p: argparse.ArgumentParser, taker: str, groups: tuple[str, ...]) -> None:
    """The options `taker` takes that fall in `groups`, one argument group each."""
    rows = _options_taken_by(taker)
    for title in groups:
        in_group = [row for row in rows if row["cli_group"] == title]
        if in_group:
            g = p.add_argument_group(title)
            for row in in_group:
                _add_option(g, row)


def _add_common(p: argparse.ArgumentParser, taker: str) -> None:
    """The engine and run options `taker` takes, from input to text size,
    each group in the order of the entry point's parameters: csv has no
    auto-fit limits (the CSV export fixes them itself), labels and preview
    no mesh options."""
    _add_options(p, taker, _GROUPS[1:-1])


def _add_font(g) -> None:
    _add_option(g, _row("font_path"))


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


_ROADS_HELP = ("roads: a shapefile, GeoPackage, GeoParquet, OpenStreetMap .osm or .osm.pbf, "
               "or any vector file GDAL reads (polylines with a name)")


def build_parser(prog: str | None = None) -> argparse.ArgumentParser:
    parser = _Parser(
        prog=prog or "glyphway-maker",
        description="Place road-name labels along the roads of a road network (a shapefile, "
                    "GeoPackage, GeoParquet or OpenStreetMap file) and write them as "
                    "3D text (OBJ or GLB) or as a billboard CSV.")
    parser.add_argument("--version", action="store_true", help="print the version and exit")
    parser.add_argument("--traceback", action="store_true",
                        help="show the full traceback when a run fails")
    parser.add_argument("--quiet", action="store_true", help=_QUIET_HELP)
    sub = parser.add_subparsers(dest="command", metavar="{obj,glb,csv,labels,preview,demo}")

    p = sub.add_parser("obj", help="write extruded 3D text as a Wavefront OBJ file",
                       description="Write one extruded 3D text mesh per visible label.")
    p.add_argument("shp_path", metavar="SHP", help=_ROADS_HELP)
    p.add_argument("output_obj", metavar="OUT.obj", help="OBJ file to write")
    _add_common(p, "generate")

    p = sub.add_parser("glb", help="write the 3D text as a binary glTF (GLB) file",
                       description="Write the obj command's 3D text as binary glTF 2.0: each "
                                   "distinct glyph mesh once, drawn per label by GPU "
                                   "instancing, with a table of the labels.")
    p.add_argument("shp_path", metavar="SHP", help=_ROADS_HELP)
    p.add_argument("output_glb", metavar="OUT.glb", help="GLB file to write")
    _add_common(p, "generate_glb")
    _add_options(p, "generate_glb", _GROUPS[-1:])

    p = sub.add_parser("csv", help="write a billboard CSV (position, rotation, text)",
                       description="Write one row per visible label: id, x, y, z, rotation, "
                                   "name.")
    p.add_argument("shp_path", metavar="SHP", help=_ROADS_HELP)
    p.add_argument("output_csv", metavar="OUT.csv", help="CSV file to write (UTF-8 with BOM)")
    _add_options(p, "generate_csv", _GROUPS[:1])
    _add_common(p, "generate_csv")

    p = sub.add_parser("labels", help="write the placed labels as GeoPackage or GeoJSON points",
                       description="Write one point per visible label (anchor in the working "
                                   "CRS) with text, fitted text, size, group, weight, "
                                   "rotation and line key.")
    p.add_argument("shp_path", metavar="SHP", help=_ROADS_HELP)
    p.add_argument("output", metavar="OUT.gpkg",
                   help="file to write: .gpkg (GeoPackage), .geojson or .json (GeoJSON)")
    _add_common(p, "labels")

    p = sub.add_parser("preview", help="draw the roads and placed labels as a PNG picture",
                       description="Draw the roads and every visible label's glyphs at "
                                   "their true size and angle, with a scale bar.")
    p.add_argument("shp_path", metavar="SHP", help=_ROADS_HELP)
    p.add_argument("output_png", metavar="OUT.png", help="PNG file to write")
    g = p.add_argument_group("picture")
    g.add_argument("--width-px", type=int, default=1600, metavar="PX",
                   help="picture width in pixels (default: %(default)s)")
    g.add_argument("--height-px", type=int, default=1200, metavar="PX",
                   help="picture height in pixels (default: %(default)s)")
    g.add_argument("--dpi", type=float, default=100.0,
                   help="dots per inch; sets how large texts and lines are drawn "
                        "(default: %(default)s)")
    g.add_argument("--footprints", action="store_true",
                   help="also draw each label's box (each glyph's box in the cartographic "
                        "style) under the text, coloured by road")
    _add_common(p, "labels")

    p = sub.add_parser("demo", help="label the bundled sample city into OUTDIR",
                       description="Write OUTDIR/sample.obj and OUTDIR/sample.csv from the "
                                   "bundled sample city.")
    p.add_argument("outdir", metavar="OUTDIR", help="folder to write into (created if missing)")
    _add_font(p)
    for command in sub.choices.values():
        _add_quiet(command)
    return parser


# The options each command passes on, besides the two paths.
_OBJ_OPTIONS = tuple(row["name"] for row in _options_taken_by("generate"))
_CSV_OPTIONS = tuple(row["name"] for row in _options_taken_by("generate_csv"))
_GLB_OPTIONS = tuple(row["name"] for row in _options_taken_by("generate_glb"))
# The engine and run options of `labels` and `preview`: generate()'s, less
# what only a mesh uses.
_LABEL_OPTIONS = tuple(row["name"] for row in _options_taken_by("labels"))


class NothingWritten(Exception):
    """The run found no label to write (the library then writes no file)."""


def _file_identity(path: str):
    try:
        st = os.stat(path)
    except (OSError, ValueError):  # ValueError: a NUL in the path, refused by the writer
        return None
    return (st.st_ino, st.st_mtime_ns, st.st_size)


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
               dpi=args.dpi, footprints=args.footprints, **options)
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


def run_demo(outdir: str, font_path: str | list[str] | None = None) -> tuple[str, str]:
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
