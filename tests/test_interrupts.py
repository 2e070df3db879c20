"""Ctrl-C during a long run: KeyboardInterrupt soon after, and no output file left behind.

Each run happens in a child interpreter, so that SIGINT reaches that
interpreter and never pytest's own handling. The child labels a synthetic
network large enough to take several seconds and says "GO" when the stage
under test starts; a timer thread here then sends SIGINT, as a terminal's
Ctrl-C would. The child reports what happened as a JSON line.
"""
import json
import os
import pathlib
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

TESTS_DIR = pathlib.Path(__file__).resolve().parent

CHILD = textwrap.dedent(r"""
    import json
    import os
    import sys
    import time
    import warnings

    import geopandas as gpd
    from shapely.geometry import LineString

    import glyphway_accel_avx2 as gw
    from font_factory import build_font

    work, stage, lines = sys.argv[1], sys.argv[2], int(sys.argv[3])
    font = str(build_font(os.path.join(work, "font.ttf"), "ttf"))
    shp = os.path.join(work, "roads.shp")
    if stage == "read":
        # A large table in degrees, written the quick way: the run spends
        # its first seconds reading it and finding its UTM zone.
        import numpy as np
        import pyogrio
        import shapely
        points = 12
        rng = np.random.default_rng(1)
        xy = np.cumsum(rng.normal(0.0, 1e-4, size=(lines * points, 2)), axis=0) % 0.5
        xy += [113.8, 22.4]
        wkb = shapely.to_wkb(shapely.linestrings(xy, indices=np.repeat(np.arange(lines), points)))
        pyogrio.raw.write(shp, wkb, [np.full(lines, "中一中一中", dtype=object)], ["name"],
                          driver="ESRI Shapefile", geometry_type="LineString", crs="EPSG:4326",
                          encoding="UTF-8")
    else:
        # Parallel streets of one name: many candidates on every line, many
        # labels competing for space, many glyphs to write.
        geometries = [LineString([(0.0, 40.0 * i), (3000.0, 40.0 * i + 5.0)]) for i in range(lines)]
        frame = gpd.GeoDataFrame({"name": ["中一中一中" for _ in geometries]},
                                 geometry=geometries, crs="EPSG:3857")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            frame.to_file(shp)

    out = os.path.join(work, "labels." + ("csv" if stage == "csv" else "obj"))
    go = None
    outcome = "finished"
    try:
        if stage == "export":
            engine = gw._new_engine({"shp_path": shp, "distance_interval": 100.0}, font)
            prepared = engine._prepare_data()
            engine._prepare_data = lambda: prepared
            go = time.monotonic()
            print("\nGO", flush=True)
            engine.export_obj(out)
        else:
            go = time.monotonic()
            print("\nGO", flush=True)
            run = gw.generate if stage == "obj" else gw.generate_csv
            run(shp, out, distance_interval=100.0, font_path=font, use_utm=stage == "read")
        # A late signal lands here, so the report tells a run that simply
        # ended first.
        time.sleep(2.0)
    except KeyboardInterrupt:
        outcome = "interrupted"
    print("\nREPORT " + json.dumps({
        "outcome": outcome,
        "after_go": time.monotonic() - go if go is not None else None,
        "left": sorted(os.listdir(work)),
    }), flush=True)
""")


def interrupted_run(tmp_path, stage, delay, lines=30000):
    script = tmp_path / "child.py"
    script.write_text(CHILD, encoding="utf-8")
    work = tmp_path / "work"
    work.mkdir()
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        [str(TESTS_DIR)] + [p for p in env.get("PYTHONPATH", "").split(os.pathsep) if p])
    child = subprocess.Popen([sys.executable, str(script), str(work), stage, str(lines)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
    sent = []
    try:
        out = []
        for line in child.stdout:
            out.append(line)
            if line.strip() == "GO":
                def interrupt():
                    sent.append(time.monotonic())
                    child.send_signal(signal.SIGINT)
                threading.Timer(delay, interrupt).start()
                break
        rest, err = child.communicate(timeout=600)
    finally:
        if child.poll() is None:
            child.kill()
    out.append(rest)
    assert child.returncode == 0, err
    reports = [l for l in "".join(out).splitlines() if l.startswith("REPORT ")]
    assert reports, "".join(out) + err
    assert sent, "the child never reached the stage under test"
    return json.loads(reports[-1][len("REPORT "):])


@pytest.mark.parametrize("stage, delay", [
    ("obj", 0.5),      # sampling and placement of generate
    ("csv", 0.5),      # the same stages of generate_csv
    ("export", 0.3),   # writing the OBJ meshes of labels already placed
])
def test_ctrl_c_stops_the_run_and_leaves_no_file(tmp_path, stage, delay):
    report = interrupted_run(tmp_path, stage, delay)
    assert report["outcome"] == "interrupted", report
    # A behaviour check, not a speed one: the run stops soon after the key
    # press rather than at its end.
    assert report["after_go"] < delay + 5.0, report
    # Neither the output nor its temporary: only the inputs remain.
    left = [name for name in report["left"] if not name.startswith("roads.") and name != "font.ttf"]
    assert left == [], report


def test_ctrl_c_while_a_large_table_is_read(tmp_path):
    # Ctrl-C half a second in: the table is being read (in chunks of rows)
    # or its UTM centre found (tile by tile), each of which looks at the key
    # between its steps, as the stages after them do.
    report = interrupted_run(tmp_path, "read", 0.5, lines=400000)
    assert report["outcome"] == "interrupted", report
    assert report["after_go"] < 0.5 + 3.0, report
