"""Candidate records shaped like the sampler's (engines come from the top-level conftest)."""
import numpy as np
import pytest



def _candidate(text, line, feature=0, line_uid=0, distance=None, **extra):
    """A record with the sampler's 14 keys, in its order, plus `extra`."""
    coords = np.asarray(line.coords, dtype=float)
    ends = [None, None] if len(coords) == 0 else [np.append(c, 0.0) if len(c) == 2 else c.copy()
                                                   for c in (coords[0], coords[-1])]
    record = {
        "id": feature, "feature_id": feature, "line_uid": line_uid,
        "line_key": f"{feature}:{line_uid}", "line_start": ends[0], "line_end": ends[1],
        "text": text, "text_len": len(text),
        "distance": line.length / 2 if distance is None else distance,
        "line": line, "line_len": line.length, "weight": 1, "hidden": False,
        "matrix_dirty": False,
    }
    record.update(extra)
    return record


@pytest.fixture(scope="session")
def candidate():
    return _candidate
