"""Reading a GLB back with pygltflib: typed arrays out of its accessors, the
label table, every glyph instance expanded into working-system vertices,
and the OBJ of the same run split by label."""
import re

import numpy as np

pygltflib = __import__("pytest").importorskip("pygltflib")

COMPONENTS = {5120: np.int8, 5121: np.uint8, 5122: np.int16, 5123: np.uint16,
              5125: np.uint32, 5126: np.float32}
WIDTH = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}


def load(path):
    gltf = pygltflib.GLTF2().load(str(path))
    return gltf, gltf.binary_blob()


def view_bytes(gltf, blob, index):
    view = gltf.bufferViews[index]
    start = view.byteOffset or 0
    return blob[start:start + view.byteLength]


def accessor_array(gltf, blob, index):
    """The accessor's elements as rows, read through its view's stride."""
    a = gltf.accessors[index]
    view = gltf.bufferViews[a.bufferView]
    dtype = np.dtype(COMPONENTS[a.componentType])
    width = WIDTH[a.type]
    stride = view.byteStride or dtype.itemsize * width
    data = view_bytes(gltf, blob, a.bufferView)
    start = a.byteOffset or 0
    rows = [np.frombuffer(data, dtype, width, start + i * stride) for i in range(a.count)]
    return np.array(rows, dtype=dtype).reshape(a.count, width)


def quaternion_matrix(q):
    x, y, z, w = q
    return np.array([
        [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
    ])


def to_working(points):
    """glTF (east, up, -north) back to (east, north, up)."""
    return np.column_stack([points[:, 0], -points[:, 2], points[:, 1]])


def label_table(gltf, blob):
    table = gltf.extensions["EXT_structural_metadata"]["propertyTables"][0]
    props = table["properties"]
    n = table["count"]

    def numbers(name, dtype, width=1):
        values = np.frombuffer(view_bytes(gltf, blob, props[name]["values"]), dtype)
        return values.reshape(n, width) if width > 1 else values

    def strings(name):
        data = view_bytes(gltf, blob, props[name]["values"])
        offsets = np.frombuffer(view_bytes(gltf, blob, props[name]["stringOffsets"]), np.uint32)
        return [data[offsets[i]:offsets[i + 1]].decode("utf-8") for i in range(n)]

    return {"id": numbers("id", np.uint32), "text": strings("text"),
            "effective_text": strings("effective_text"), "group_id": strings("group_id"),
            "weight": numbers("weight", np.float64), "font_size": numbers("font_size", np.float64),
            "anchor": numbers("anchor", np.float64, 3)}


def mesh_arrays(gltf, blob, mesh_index):
    primitive = gltf.meshes[mesh_index].primitives[0]
    positions = accessor_array(gltf, blob, primitive.attributes.POSITION).astype(np.float64)
    indices = accessor_array(gltf, blob, primitive.indices).ravel()
    return positions, indices


def expand(gltf, blob):
    """{label row: [(vertices in the working system, face count), ...]}."""
    root = gltf.nodes[gltf.scenes[gltf.scene].nodes[0]]
    origin = np.array(root.translation, dtype=np.float64)
    out = {}
    for child in root.children:
        node = gltf.nodes[child]
        positions, indices = mesh_arrays(gltf, blob, node.mesh)
        instancing = (node.extensions or {}).get("EXT_mesh_gpu_instancing")
        if instancing is None:
            row = node.extras["label"] if node.extras else 0
            out.setdefault(row, []).append((to_working(positions + origin), len(indices) // 3))
            continue
        attrs = instancing["attributes"]
        t = accessor_array(gltf, blob, attrs["TRANSLATION"]).astype(np.float64)
        r = accessor_array(gltf, blob, attrs["ROTATION"]).astype(np.float64)
        s = accessor_array(gltf, blob, attrs["SCALE"]).astype(np.float64)
        f = accessor_array(gltf, blob, attrs["_FEATURE_ID_0"]).ravel()
        for i in range(len(t)):
            placed = (quaternion_matrix(r[i]) @ (positions * s[i]).T).T + t[i] + origin
            out.setdefault(int(f[i]), []).append((to_working(placed), len(indices) // 3))
    return out


def obj_labels(path):
    """{label index: (vertices, face count)} of an OBJ written with separate objects."""
    labels = {}
    current = None
    for line in open(path, encoding="utf-8"):
        if line.startswith("o "):
            current = int(re.search(r"_(\d+)$", line.rstrip("\n")).group(1))
            labels[current] = ([], 0)
        elif line.startswith("v "):
            labels[current][0].append([float(x) for x in line.split()[1:]])
        elif line.startswith("f "):
            labels[current] = (labels[current][0], labels[current][1] + 1)
    return {k: (np.array(v, dtype=np.float64).reshape(-1, 3), n) for k, (v, n) in labels.items()}


def farthest_gap(a, b):
    """The largest distance from a point of either set to the nearest of the other."""
    if len(a) == 0 or len(b) == 0:
        return 0.0 if len(a) == len(b) else np.inf
    gap = 0.0
    for x, y in ((a, b), (b, a)):
        for chunk in range(0, len(x), 512):
            d = np.linalg.norm(x[chunk:chunk + 512, None, :] - y[None, :, :], axis=2)
            gap = max(gap, d.min(axis=1).max())
    return gap
