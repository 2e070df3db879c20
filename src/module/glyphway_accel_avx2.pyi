"""Road-name label placement and 3D text meshes."""

import os
from collections.abc import Callable, Iterable, Mapping
from typing import Any, SupportsFloat, SupportsIndex, SupportsInt, TypeAlias, TypedDict, overload

import numpy as np
from matplotlib.font_manager import FontProperties
from numpy.typing import ArrayLike, NDArray

# Shapely and GeoPandas ship no type information, so their geometries are Any.
_Geometry: TypeAlias = Any
# A label record: a str-keyed dict whose keys are added stage by stage.
_Label: TypeAlias = dict[str, Any]
# Anything the module turns into a double (float(), or __index__).
_Real: TypeAlias = SupportsFloat | SupportsIndex
# Anything the module turns into an int (int() truncates a float).
_Integer: TypeAlias = SupportsInt | SupportsIndex
# A path read through os.fspath().
_TextPath: TypeAlias = str | os.PathLike[str]
# A path written through os.fsencode().
_FilePath: TypeAlias = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Vertices: TypeAlias = NDArray[np.float64]
_Faces: TypeAlias = NDArray[np.uint32]

# The metaclass of the native classes (pybind11's own type of types, which
# has no importable name): a stand-in so the stubs show that these classes
# are not built by plain `type`.
class _NativeType(type): ...

class _DensityProfile(TypedDict):
    """Spacing and iteration settings chosen by a density name."""

    global_min_sep: float
    repeat_min_interval: float
    max_labels_per_group: int
    iterations: int

class _GlyphRecord(TypedDict):
    """One character's mesh (None for a blank glyph) and its pen advance."""

    char: str
    verts: _Vertices | None
    faces: _Faces | None
    advance: float

class _LabelTable(TypedDict):
    """The visible labels as columns (arrays over visible labels unless noted)."""

    visible: NDArray[np.bool_]
    index: NDArray[np.int64]
    x: NDArray[np.float64]
    y: NDArray[np.float64]
    rotation_deg: NDArray[np.float64]
    length: NDArray[np.float64]
    height: NDArray[np.float64]
    corners: NDArray[np.float64]
    text: list[str]
    effective_text: list[str]
    effective_font_size: NDArray[np.float64]
    group_id: list[str]
    weight: NDArray[np.float64]
    line_key: list[str]

class _GlyphFrames(TypedDict):
    """One row per glyph that takes up room, as the OBJ lays it out."""

    label: NDArray[np.int64]
    position: NDArray[np.int32]
    char: NDArray[np.uint32]
    origin: NDArray[np.float64]
    direction: NDArray[np.float64]
    frame: NDArray[np.float64]
    advance: NDArray[np.float64]
    font_size: NDArray[np.float64]
    has_mesh: NDArray[np.bool_]

class _GlyphFrameLabels(TypedDict):
    """One row per visible label, in the order the glyph rows refer to."""

    index: NDArray[np.int64]
    anchor: NDArray[np.float64]
    font_size: NDArray[np.float64]
    text: list[str]
    effective_text: list[str]
    group_id: list[str | None]

__version__: str

def generate(
    shp_path: str,
    output_obj: str,
    name_field: str = "name",
    weight_field: str = "weight",
    use_utm: bool = False,
    posture: str = "flat",
    curved_text: bool = True,
    auto_fit_text: bool = True,
    min_font_scale: _Real = 0.35,
    min_letter_spacing: _Real = 0.0,
    overflow_strategy: str = "truncate",
    density: str = "moderate",
    repeat_mode: str = "name_connected",
    connect_eps: _Real | None = None,
    max_global_iterations: _Integer | None = None,
    text_count: _Integer | None = None,
    distance_interval: _Real = 500.0,
    add_at_endpoints: bool = False,
    font_size: _Real = 15.0,
    extrusion_depth: _Real = 2.0,
    letter_spacing: _Real = 0.0,
    separate_objects: bool = True,
    *,
    font_path: _TextPath | None = None,
    style: str = "interval",
    max_char_angle: _Real = 30.0,
) -> None:
    """Place road-name labels from a shapefile and write them as an OBJ file of 3D text."""

def generate_glb(
    shp_path: str,
    output_glb: str,
    name_field: str = "name",
    weight_field: str = "weight",
    use_utm: bool = False,
    posture: str = "flat",
    curved_text: bool = True,
    auto_fit_text: bool = True,
    min_font_scale: _Real = 0.35,
    min_letter_spacing: _Real = 0.0,
    overflow_strategy: str = "truncate",
    density: str = "moderate",
    repeat_mode: str = "name_connected",
    connect_eps: _Real | None = None,
    max_global_iterations: _Integer | None = None,
    text_count: _Integer | None = None,
    distance_interval: _Real = 500.0,
    add_at_endpoints: bool = False,
    font_size: _Real = 15.0,
    extrusion_depth: _Real = 2.0,
    letter_spacing: _Real = 0.0,
    separate_objects: bool = True,
    *,
    font_path: _TextPath | None = None,
    style: str = "interval",
    max_char_angle: _Real = 30.0,
    instancing: bool = True,
) -> None:
    """Place road-name labels from a shapefile and write them as a binary glTF (GLB) of 3D text."""

def generate_csv(
    shp_path: str,
    output_csv: str,
    target_crs: str = "EPSG:3857",
    output_quaternion: bool = True,
    output_both_angles: bool = False,
    angle_unit: str = "degree",
    angle_precision: _Integer = 10,
    name_field: str = "name",
    weight_field: str = "weight",
    use_utm: bool = False,
    posture: str = "flat",
    curved_text: bool = True,
    auto_fit_text: bool = True,
    min_font_scale: _Real = 0.35,
    density: str = "moderate",
    repeat_mode: str = "name_connected",
    connect_eps: _Real | None = None,
    max_global_iterations: _Integer | None = None,
    text_count: _Integer | None = None,
    distance_interval: _Real = 500.0,
    add_at_endpoints: bool = False,
    font_size: _Real = 15.0,
    letter_spacing: _Real = 0.0,
    *,
    font_path: _TextPath | None = None,
    style: str = "interval",
    max_char_angle: _Real = 30.0,
) -> None:
    """Place road-name labels from a shapefile and write one billboard CSV row per label."""

class _FontManager(metaclass=_NativeType):
    """Locates a CJK-capable font file."""

    @staticmethod
    def get_chinese_font_path() -> str:
        """Path of an installed CJK font, else of the downloaded fallback font."""

class _TextMeshEngine(metaclass=_NativeType):
    """Turns text into extruded, triangulated 3D meshes with one font at one size."""

    def __init__(
        self, font_path: _TextPath, font_size: _Real, extrusion_depth: _Real, letter_spacing: _Real
    ) -> None:
        """Load the font and set size, extrusion depth and letter spacing."""

    @property
    def font_size(self) -> float:
        """Font size as given to the constructor."""

    @property
    def depth(self) -> float:
        """Extrusion depth as given to the constructor."""

    @property
    def letter_spacing(self) -> float:
        """Letter spacing as given to the constructor."""

    @property
    def font_prop(self) -> FontProperties:
        """Matplotlib font properties of the font file at the font size."""

    @property
    def _glyph_cache(self) -> dict[str, tuple[_Vertices | None, _Faces | None, float]]:
        """Meshes and advances of the characters built so far, by character."""

    def generate_mesh(self, text: str) -> tuple[_Vertices, _Faces]:
        """Vertices (n x 3) and faces (m x 3) of the merged outline of the whole string."""

    def generate_glyph_meshes(self, text: str) -> list[_GlyphRecord]:
        """One glyph record per character of the text, in order."""

    def _triangulate_extrude_polygon(self, shape: _Geometry) -> tuple[_Vertices, _Faces]:
        """Mesh of a Polygon or MultiPolygon extruded by the depth; empty arrays otherwise."""

def _shape_text(
    font_path: _TextPath, text: str, font_size: _Real, letter_spacing: _Real = 0.0
) -> tuple[list[tuple[str, float, float]], float]:
    """(list of (character, x_advance, x_offset), width) of text shaped with HarfBuzz"""

class _LabelRecords(metaclass=_NativeType):
    """Label records held natively between stages of the engine."""

    def __init__(self, labels: Iterable[_Label]) -> None:
        """Read every known key of each record dict once."""

    def __len__(self) -> int:
        """Number of records."""

    def to_dicts(self) -> list[_Label]:
        """New record dicts: copies of the sources with the keys native stages wrote."""

class _RoadTessaraEngine:
    """Road-name label placement engine: the configuration of one run and its stages."""

    shp_path: _TextPath
    name_field: str
    weight_field: str
    use_utm: bool
    posture: str
    text_count: int | None
    distance_interval: float
    add_at_endpoints: bool
    font_size: float
    extrusion_depth: float
    letter_spacing: float
    separate_objects: bool
    curved_text: bool
    auto_fit_text: bool
    min_font_scale: float
    min_letter_spacing: float
    overflow_strategy: str
    density: str
    repeat_mode: str
    connect_eps: float | None
    max_global_iterations: int | None
    font_path: str
    _mesh_engine_cache: dict[tuple[float, float], _TextMeshEngine]
    mesh_engine: _TextMeshEngine
    char_width_est: float

    def __init__(
        self,
        shp_path: _TextPath,
        name_field: str = "name",
        weight_field: str = "weight",
        use_utm: bool = False,
        posture: str = "flat",
        text_count: int | None = None,
        distance_interval: float = 500,
        add_at_endpoints: bool = False,
        font_size: float = 15.0,
        extrusion_depth: float = 2.0,
        letter_spacing: float = 0.0,
        separate_objects: bool = True,
        curved_text: bool = True,
        auto_fit_text: bool = True,
        min_font_scale: float = 0.35,
        min_letter_spacing: float = 0.0,
        overflow_strategy: str = "truncate",
        density: str = "moderate",
        repeat_mode: str = "name_connected",
        connect_eps: float | None = None,
        max_global_iterations: int | None = None,
    ) -> None:
        """Store the configuration, find a CJK-capable font and build the default mesh engine."""

    def _density_profile(self, fs: _Real | str) -> _DensityProfile:
        """Spacings scaled by the font size fs and the iteration count for the density."""

    def _line_endpoints_3d(
        self, line: _Geometry
    ) -> tuple[NDArray[np.float64], NDArray[np.float64]] | tuple[None, None]:
        """First and last point of the line as 3-vectors, or (None, None) when it is empty."""

    def _build_groups(self, labels: Iterable[_Label] | _LabelRecords) -> None:
        """Set every record's repeat group (group_id) in place."""

    def _label_center_xy(self, l: Mapping[str, Any]) -> tuple[float, float]:
        """Point (x, y) at the label's distance along its line."""

    @overload
    def auto_place_labels(self, labels: _LabelRecords) -> _LabelRecords:
        """The candidates kept under the density profile (the input itself for straight text)."""

    @overload
    def auto_place_labels(self, labels: list[_Label]) -> list[_Label]: ...
    def get_mesh_engine(self, font_size: _Real | str, letter_spacing: _Real | str) -> _TextMeshEngine:
        """The cached text mesh engine for this size and spacing, built on first use."""

    def calculate_utm_crs(self, lon: _Real, lat: _Real) -> str:
        """Name ("EPSG:326zz" or "EPSG:327zz") of the UTM zone holding the point."""

    def build_tbn_matrix(self, line: _Geometry, distance: _Real, auto_flip: bool = True) -> NDArray[np.float64]:
        """4 x 4 orientation frame of the text at distance along the line."""

    def apply_autofit(self, labels: Iterable[_Label] | _LabelRecords) -> None:
        """Shrink, tighten or truncate each label's text to fit its line, in place."""

    def _prepare_data(self) -> tuple[list[_Label], str | None]:
        """Read, project, sample, fit, place and solve: the labels and the working CRS."""

    def export_obj(
        self, output_obj: _FilePath, *, style: str = "interval", max_char_angle: _Real = 30.0
    ) -> None:
        """Run the pipeline and write the visible labels as an OBJ file."""

    def export_csv(
        self,
        output_csv: _FilePath,
        target_crs: Any,
        output_quaternion: bool,
        output_both_angles: bool,
        angle_unit: str,
        angle_precision: _Integer,
        *,
        style: str = "interval",
        max_char_angle: _Real = 30.0,
    ) -> None:
        """Run the pipeline and write one CSV row per visible label (target_crs: pyproj input or falsy)."""

    def export_glb(
        self,
        output_glb: _FilePath,
        instancing: bool = True,
        *,
        style: str = "interval",
        max_char_angle: _Real = 30.0,
    ) -> None:
        """Run the pipeline and write the visible labels as a GLB file."""

def _fast_resolve_collisions(
    labels: Iterable[_Label] | _LabelRecords,
    char_width_est: _Real,
    font_size: _Real,
    letter_spacing: _Real,
    /,
) -> None:
    """Remove overlaps between the visible labels in place (distance, hidden, matrix_dirty)."""

def _solver_final_pass(
    cx: ArrayLike,
    cy: ArrayLike,
    dx: ArrayLike,
    dy: ArrayLike,
    length: ArrayLike,
    height: ArrayLike,
    weight: ArrayLike,
    text_len: ArrayLike,
) -> NDArray[np.bool_]:
    """Test aid: the solver's final pass alone on column arrays; which records it hides."""

def _label_table(engine: _RoadTessaraEngine, labels: Iterable[_Label]) -> _LabelTable:
    """The visible labels of engine._prepare_data()'s list as columns."""

def _prepared_label_table(engine: _RoadTessaraEngine) -> tuple[_LabelTable, str | None]:
    """(_label_table of engine._prepare_data()'s labels, the working CRS)."""

class _CartographicLabelTable(_LabelTable):
    """_LabelTable of a cartographic placement, plus one row per drawn glyph."""

    glyph_label: NDArray[np.int64]
    glyph_char: NDArray[np.uint32]
    glyph_x: NDArray[np.float64]
    glyph_y: NDArray[np.float64]
    glyph_rotation_deg: NDArray[np.float64]
    glyph_corners: NDArray[np.float64]

def _cartographic_label_table(
    engine: _RoadTessaraEngine, max_char_angle: _Real = 30.0
) -> tuple[_CartographicLabelTable, str | None]:
    """(the cartographic placement of the engine's table as columns, the working CRS)."""

def _check_style(style: str, max_char_angle: _Real) -> tuple[bool, float]:
    """(whether style is "cartographic", max_char_angle as a float), checked as generate() checks them."""

def _glyph_frames(engine: _RoadTessaraEngine) -> tuple[_GlyphFrames, _GlyphFrameLabels, str | None]:
    """(glyph frames, labels, working CRS) of the engine's prepared run, as the OBJ lays them out."""

def _cartographic_glyph_frames(
    engine: _RoadTessaraEngine, max_char_angle: _Real = 30.0
) -> tuple[_GlyphFrames, _GlyphFrameLabels, str | None]:
    """The same arrays for the cartographic placement of the engine's table."""

def _write_output(path: _TextPath, data: bytes) -> None:
    """Writes data as the whole file at path, by the native writers' rule."""

def _check_output(path: _TextPath) -> None:
    """Raises what writing path would raise up front."""

def _outputs_written() -> int:
    """How many output files the native writers completed in this process."""

def _set_progress_hook(hook: Callable[[], object] | None) -> None:
    """Sets the callable that long native stages call about every 0.1 s, or None."""

def _new_engine(keywords: dict[str, Any], font_path: _TextPath | None = None) -> _RoadTessaraEngine:
    """A _RoadTessaraEngine(**keywords), optionally with a given font file instead of a search."""
