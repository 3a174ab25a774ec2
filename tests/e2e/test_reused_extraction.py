"""Reused extraction (reuseExtraction = true): the included files are written
once per executable content into a per-user cache folder and checked, then
used, by later starts."""
import re
import shutil

import pytest

from harness import NO_RUNTIME_EXIT, extraction_dirs, project_with_files, run_logged, unix_path

REUSE = "modernRuntime = true\nreuseExtraction = true\n"
FILES = {"app.jar": bytes(range(256)) * 40, "empty.txt": b"", "lib.jar": b"library " * 3000}


def cache_roots(env):
    return list(unix_path(env, "C:\\users").glob("*/AppData/Local/tovex/cache"))


@pytest.fixture
def no_cache(wine_env, no_queue):
    for root in cache_roots(wine_env):
        shutil.rmtree(root)
    yield
    for root in cache_roots(wine_env):
        shutil.rmtree(root)


def cache_folder_from_log(log):
    match = re.search(r"^(?:Extracted files kept in|Reusing|Using) (.*?)(?:, placed by another start)?$", log, re.M)
    assert match, log
    return match.group(1)


def assert_holds(env, folder, files):
    path = unix_path(env, folder)
    assert sorted(p.name for p in path.iterdir()) == sorted(n for n, d in files.items() if d)
    for name, data in files.items():
        if data:
            assert (path / name).read_bytes() == data, name


def file_times(env, folder):
    return {p.name: p.stat().st_mtime_ns for p in unix_path(env, folder).iterdir()}


def test_a_second_start_reuses_the_files_without_writing(make_app, tmp_path, wine_env, temp_logs, no_cache):
    app = make_app(project_with_files(tmp_path, FILES, REUSE))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == NO_RUNTIME_EXIT
    folder = cache_folder_from_log(log)
    assert re.fullmatch(r"C:\\users\\[^\\]+\\AppData\\Local\\tovex\\cache\\[0-9a-f]{16}", folder), folder
    assert log.count(f"Extracted files kept in {folder}") == 1
    assert_holds(wine_env, folder, FILES)
    times = file_times(wine_env, folder)

    temps = extraction_dirs(wine_env)
    result, log = run_logged(app, temp_logs)
    assert result.returncode == NO_RUNTIME_EXIT
    assert f"Reusing {folder}\n" in log
    assert "Temp dir:" not in log and "extracting files done" in log
    # Nothing written: the same files with their times, no new temporary directory.
    assert file_times(wine_env, folder) == times
    assert extraction_dirs(wine_env) <= temps
    assert_holds(wine_env, folder, FILES)


def test_a_changed_executable_gets_a_cache_of_its_own(make_app, tmp_path, wine_env, temp_logs, no_cache):
    first = make_app(project_with_files(tmp_path / "one", FILES, REUSE), directory=tmp_path / "one")
    changed = dict(FILES, **{"lib.jar": b"library!" * 3000})
    second = make_app(project_with_files(tmp_path / "two", changed, REUSE), directory=tmp_path / "two")
    _, log = run_logged(first, temp_logs)
    old = cache_folder_from_log(log)
    _, log = run_logged(second, temp_logs)
    new = cache_folder_from_log(log)
    assert new != old and f"Extracted files kept in {new}" in log
    assert_holds(wine_env, old, FILES)
    assert_holds(wine_env, new, changed)


@pytest.mark.parametrize("damage", ["a changed byte", "a missing file", "an extra file for an empty one",
                                    "a planted jar", "a planted folder"])
def test_a_damaged_cache_is_extracted_again(make_app, tmp_path, wine_env, temp_logs, no_cache, damage):
    app = make_app(project_with_files(tmp_path, FILES, REUSE))
    _, log = run_logged(app, temp_logs)
    folder = cache_folder_from_log(log)
    path = unix_path(wine_env, folder)
    if damage == "a changed byte":
        data = bytearray((path / "lib.jar").read_bytes())
        data[5000] ^= 1
        (path / "lib.jar").write_bytes(bytes(data))
    elif damage == "a missing file":
        (path / "app.jar").unlink()
    elif damage == "an extra file for an empty one":
        (path / "empty.txt").write_bytes(b"not empty")
    elif damage == "a planted jar":
        # It would come first on every later start's class path.
        (path / "0planted.jar").write_bytes(b"PK planted")
    else:
        (path / "planted").mkdir()
        (path / "planted" / "x.jar").write_bytes(b"PK planted")

    result, log = run_logged(app, temp_logs)
    assert result.returncode == NO_RUNTIME_EXIT
    assert f"Replacing {folder}: its files differ from the executable's" in log
    assert cache_folder_from_log(log) == folder
    assert_holds(wine_env, folder, FILES)


def test_first_starts_at_once_all_get_the_right_bytes(make_app, tmp_path, wine_env, temp_logs, no_cache):
    app = make_app(project_with_files(tmp_path, FILES, REUSE))
    processes = [app.start(extra_env={"TOVEX_LOG": "yes"}) for _ in range(4)]
    for process in processes:
        process.wait(timeout=120)
        assert process.returncode == NO_RUNTIME_EXIT
    logs = [log.read_bytes().decode("cp1252") for log in temp_logs()]
    assert len(logs) == 4
    # Every start ends up with the one cache folder, whoever placed it.
    folders = {cache_folder_from_log(log.replace("\r\n", "\n")) for log in logs}
    assert len(folders) == 1
    [root] = cache_roots(wine_env)
    # One cache, whole; no private folder of a start is left beside it.
    [cached] = list(root.iterdir())
    assert re.fullmatch(r"[0-9a-f]{16}", cached.name)
    assert sorted(p.name for p in cached.iterdir()) == ["app.jar", "lib.jar"]
    assert (cached / "lib.jar").read_bytes() == FILES["lib.jar"]
