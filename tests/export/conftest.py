"""Hand-made resolved label records handed
to the writers in place of the data preparation."""
import numpy as np
import pytest



def _prepared(engine, labels, working_crs="EPSG:32650"):
    """Makes `engine._prepare_data()` answer (labels, working_crs)."""
    engine._prepare_data = lambda: (labels, working_crs)
    return engine


@pytest.fixture(scope="session")
def prepared():
    return _prepared


def _resolved(engine, text, line, distance=None, **extra):
    """A record as the pipeline leaves it: the sampler's keys and a frame."""
    d = line.length / 2 if distance is None else distance
    record = {
        "id": 0, "feature_id": 0, "line_uid": 0, "line_key": "0:0",
        "line_start": None, "line_end": None, "text": text, "text_len": len(text),
        "distance": d, "line": line, "line_len": line.length, "weight": 1,
        "hidden": False, "matrix_dirty": False,
        "matrix": engine.build_tbn_matrix(line, d),
    }
    record.update(extra)
    return record


@pytest.fixture(scope="session")
def resolved():
    return _resolved


@pytest.fixture
def random_labels(engine):
    """make(n, seed) -> a few resolved records on random roads, some fitted."""
    from shapely.geometry import LineString

    def make(eng, n=6, seed=0, names=("中一", "oxIc", 'o,x "c"', "中 一 o", "I", "e中", "Main")):
        rng = np.random.default_rng(seed)
        labels = []
        for i in range(n):
            pts = rng.normal(size=(rng.integers(2, 7), 2)).cumsum(axis=0) * 60.0 + [440000.0, 4400000.0]
            line = LineString(pts)
            extra = {}
            if i % 2:
                extra = {"effective_text": names[i % len(names)][:2], "effective_font_size": 9.5,
                         "effective_letter_spacing": 0.25}
            labels.append(_resolved(eng, names[i % len(names)], line,
                                    float(rng.uniform(0, line.length)), **extra))
        return labels
    return make
