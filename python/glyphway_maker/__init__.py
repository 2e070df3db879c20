"""Road-name labels along road networks, as extruded 3D text (OBJ, GLB) or billboard CSV.

The work is done by the native module ``glyphway_accel_avx2``; this package
re-exports its entry points and adds the label table (:func:`place_labels`)
and a preview picture (:func:`preview`).
"""
import os as _os
import sys as _sys
from typing import TYPE_CHECKING as _TYPE_CHECKING

import glyphway_accel_avx2

# One module object under both names: `import glyphway_maker.glyphway_accel_avx2`
# must give the same object as the top-level import.
_sys.modules[__name__ + ".glyphway_accel_avx2"] = glyphway_accel_avx2

__version__ = glyphway_accel_avx2.__version__

for _name in ("generate", "generate_csv", "generate_glb"):
    if hasattr(glyphway_accel_avx2, _name):
        globals()[_name] = getattr(glyphway_accel_avx2, _name)
del _name
if _TYPE_CHECKING:  # the loop above is invisible to type checkers
    from glyphway_accel_avx2 import (generate as generate, generate_csv as generate_csv,
                                     generate_glb as generate_glb)


from glyphway_maker.labels import place_labels  # noqa: E402
from glyphway_maker.preview_image import preview  # noqa: E402


def sample_data_path():
    """Path of the bundled sample city: a shapefile of made-up Chinese street names
    (columns ``name`` and ``weight``, EPSG:4326), for trying the package out."""
    return _os.path.join(_os.path.dirname(_os.path.abspath(__file__)), "data", "sample_city.shp")


__all__ = [n for n in ("generate", "generate_csv", "generate_glb") if n in globals()] + [
    "glyphway_accel_avx2", "place_labels", "preview", "sample_data_path"]
