"""Straightforward host-side versions of the two writers (NumPy, the csv
module, format()), for byte-for-byte comparison with the native ones."""
import csv
import ctypes
import ctypes.util
import io

import numpy as np

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
for _name in ("atan2f", "sinf", "cosf", "sqrtf"):
    getattr(_libm, _name).restype = ctypes.c_float
_libm.atan2f.argtypes = [ctypes.c_float, ctypes.c_float]
_libm.sinf.argtypes = [ctypes.c_float]
_libm.cosf.argtypes = [ctypes.c_float]
_libm.sqrtf.argtypes = [ctypes.c_float]
F = np.float32


def _f(fn, *args):
    return F(getattr(_libm, fn)(*[float(a) for a in args]))


def reference_rotation(matrix):
    """The billboard rotation in plain float32 steps."""
    r = [[F(matrix[i, j]) for j in range(3)] for i in range(3)]
    t = [r[0][0] + r[1][1] + r[2][2], r[0][0] - r[1][1] - r[2][2],
         r[1][1] - r[0][0] - r[2][2], r[2][2] - r[0][0] - r[1][1]]
    best = 0
    for i in (1, 2, 3):
        if t[i] > t[best]:
            best = i
    s = _f("sqrtf", t[best] + F(1.0))
    f = F(0.5) / s
    half = F(0.5) * s
    if best == 0:
        q = ((r[2][1] - r[1][2]) * f, (r[0][2] - r[2][0]) * f, (r[1][0] - r[0][1]) * f, half)
    elif best == 1:
        q = (half, (r[0][1] + r[1][0]) * f, (r[0][2] + r[2][0]) * f, (r[2][1] - r[1][2]) * f)
    elif best == 2:
        q = ((r[0][1] + r[1][0]) * f, half, (r[1][2] + r[2][1]) * f, (r[0][2] - r[2][0]) * f)
    else:
        q = ((r[0][2] + r[2][0]) * f, (r[1][2] + r[2][1]) * f, half, (r[1][0] - r[0][1]) * f)
    rz = _f("atan2f", r[1][0], r[0][0])
    sz, cz = _f("sinf", rz), _f("cosf", rz)
    ry = _f("atan2f", -r[2][0], _f("sqrtf", r[2][1] * r[2][1] + r[2][2] * r[2][2]))
    rx = _f("atan2f", sz * r[0][2] - cz * r[1][2], cz * r[1][1] - sz * r[0][1])
    k = F(57.29578)
    return [*q, rx, ry, rz, rx * k, ry * k, rz * k]




def reference_csv(engine, labels, working_crs, target_crs, output_quaternion, output_both_angles,
                  angle_unit, angle_precision):
    """The billboard CSV's bytes, one scalar transform per row."""
    from pyproj import CRS, Transformer

    transformer = None
    output_crs = working_crs
    if target_crs:
        output_crs = target_crs
        if working_crs != target_crs:
            transformer = Transformer.from_crs(working_crs, target_crs, always_xy=True)
    xy_prec = 7 if CRS(output_crs).is_geographic else 3
    to_degrees = angle_unit.lower() == "degree"
    angle_format = "." + str(angle_precision) + "f"
    rows = []
    for label in labels:
        if label.get("hidden"):
            continue
        m = label["matrix"]
        if label.get("matrix_dirty"):
            m = engine.build_tbn_matrix(label["line"], label["distance"])
        x, y, z = m[0, 3], m[1, 3], m[2, 3]
        if transformer is not None:
            x, y = transformer.transform(x, y)
        qx, qy, qz, qw, rx, ry, rz, dx, dy, dz = reference_rotation(m)
        if to_degrees:
            rx, ry, rz = dx, dy, dz
        row = [len(rows), format(x, f".{xy_prec}f"), format(y, f".{xy_prec}f"), format(z, ".3f")]
        if output_both_angles or output_quaternion:
            row += [format(v, angle_format) for v in (qx, qy, qz, qw)]
        if output_both_angles or not output_quaternion:
            row += [format(v, angle_format) for v in (rx, ry, rz)]
        row.append(label["text"])
        rows.append(row)
    if output_both_angles:
        header = ["id", "x", "y", "z", "qx", "qy", "qz", "qw", "rot_x", "rot_y", "rot_z", "name"]
    elif output_quaternion:
        header = ["id", "x", "y", "z", "qx", "qy", "qz", "qw", "name"]
    else:
        header = ["id", "x", "y", "z", "rot_x", "rot_y", "rot_z", "name"]
    buffer = io.StringIO(newline="")
    writer = csv.writer(buffer)
    writer.writerow(header)
    writer.writerows(rows)
    return buffer.getvalue().encode("utf-8-sig")


def _transformed(matrix, verts):
    return (matrix @ np.hstack([verts, np.ones((verts.shape[0], 1))]).T).T[:, :3]


def reference_obj(engine, labels):
    """The OBJ file's bytes, built from the host-visible meshes with NumPy."""
    out = ["# 3D Tessara Engine Export\n"]
    offset = 1

    def mesh(verts, faces, matrix):
        nonlocal offset
        for v in _transformed(matrix, verts):
            out.append("v " + " ".join(format(c, ".4f") for c in v) + "\n")
        for f in faces:
            out.append("f " + " ".join(str(int(i) + offset) for i in f) + "\n")
        offset += verts.shape[0]

    for idx, label in enumerate(labels):
        if label.get("hidden"):
            continue
        if label.get("matrix_dirty"):
            label["matrix"] = engine.build_tbn_matrix(label["line"], label["distance"])
        if engine.separate_objects:
            name = str(label["text"]).replace("\r", " ").replace("\n", " ")
            out.append(f"\no {name}_{idx}\n")
        if not engine.curved_text:
            verts, faces = engine.mesh_engine.generate_mesh(label["text"])
            if len(verts) == 0:
                continue
            verts = np.array(verts, dtype=float)
            verts[:, 0] -= (verts[:, 0].min() + verts[:, 0].max()) / 2.0
            verts[:, 1] -= engine.font_size / 2.0
            mesh(verts, faces, label["matrix"])
            continue
        text = label.get("effective_text", label["text"])
        fs = label.get("effective_font_size", engine.font_size)
        ls = label.get("effective_letter_spacing", engine.letter_spacing)
        glyphs = engine.get_mesh_engine(fs, ls).generate_glyph_meshes(text)
        if not glyphs:
            continue
        total = float(sum(g["advance"] for g in glyphs))
        if not total > 0:
            continue
        base = engine.build_tbn_matrix(label["line"], label["distance"], auto_flip=False)
        direction = -1.0 if base[0, 0] < 0 else 1.0
        line_len, d = float(label["line_len"]), float(label["distance"])
        start = max(d - 0.5 * total, 0.0)
        end = start + total
        if end > line_len:
            start = max(start + line_len - end, 0.0)
            end = line_len
        cursor = 0.0
        for g in glyphs:
            adv = float(g["advance"])
            if adv <= 0:
                continue
            mid = cursor + 0.5 * adv
            s = start + mid if direction > 0 else end - mid
            s = max(0.0, min(s, line_len))
            cursor += adv
            if g["verts"] is None:
                continue
            m = engine.build_tbn_matrix(label["line"], s, auto_flip=False)
            if direction < 0:
                cols = [0, 1] if engine.posture == "flat" else [0, 2]
                m[:3, cols] *= -1
            mesh(g["verts"], g["faces"], m)
    return "".join(out).encode("utf-8")
