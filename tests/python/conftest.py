"""Shared fixtures: the real observation files of the shared data directory."""
import pathlib

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
SHARED_DATA = REPO.parent / "shared" / "data"


@pytest.fixture
def shared_obs():
    """Path of a file under shared/data/obs; the test is skipped when it is absent."""

    def path_of(name):
        path = SHARED_DATA / "obs" / name
        if not path.is_file():
            pytest.skip(f"shared data file missing: {path}")
        return path

    return path_of
