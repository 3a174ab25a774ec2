"""Fixtures of the build tool's tests; what they are built on is in harness.py."""
import os
import pathlib
import textwrap

import pytest

from .harness import REPO, Tovex, make_stub, read_block, write_block


@pytest.fixture(scope="session")
def tovex_binary():
    # Absolute, since some tests run the tool from another directory.
    path = pathlib.Path(os.environ.get("TOVEX_BIN", REPO / "dist" / "tovex")).resolve()
    if not path.is_file():
        pytest.skip(f"build tool not found at {path}: build it first (or point TOVEX_BIN at it)")
    return path


@pytest.fixture
def tovex(tovex_binary):
    return Tovex(tovex_binary)


@pytest.fixture
def tovex_at():
    """Runs a copy of the tool placed elsewhere."""
    return Tovex


@pytest.fixture(name="make_stub")
def make_stub_fixture():
    """The stub maker, for tests that need a particular layout."""
    return make_stub


@pytest.fixture(name="read_block")
def read_block_fixture():
    """The independent block reader."""
    return read_block


@pytest.fixture(name="write_block")
def write_block_fixture():
    """The independent block writer."""
    return write_block


@pytest.fixture
def stub(tmp_path):
    path = tmp_path / "launcher.exe"
    path.write_bytes(make_stub())
    return path


@pytest.fixture
def write_project(tmp_path):
    def write(text, name="project.toml"):
        path = tmp_path / name
        path.write_text(textwrap.dedent(text), encoding="utf-8")
        return path
    return write
