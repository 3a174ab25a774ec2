"""Included files: extracted at every start into a fresh private directory,
held open while the launcher runs, and deleted by a later start."""
import os
import re
import shutil

import pytest

from blockfile import layout
from harness import (FILES, NO_RUNTIME_EXIT, NO_RUNTIME_PROJECT, WITHOUT_LIBRARY, extraction_dir_from_log,
                     extraction_dirs, find_window, project_with_files, queue_entries, read_queue, run_logged,
                     stderr_text, unix_path, wait_for, windows_path, write_queue)


def test_files_are_extracted_byte_for_byte_and_the_directory_queued(make_app, tmp_path, wine_env,
                                                                    temp_logs, no_queue):
    app = make_app(project_with_files(tmp_path))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == NO_RUNTIME_EXIT

    directory = extraction_dir_from_log(log)
    assert re.fullmatch(r"C:\\users\\[^\\]+\\Temp\\tvx[0-9A-Fa-f]{1,4}\.tmp_dir\d{1,5}", directory), directory
    extracted = unix_path(wine_env, directory)
    # An empty file creates no file; every other one comes out as it went in.
    assert sorted(p.name for p in extracted.iterdir()) == ["app.jar", "big.bin", "notes.txt"]
    for name, data in FILES.items():
        if data:
            assert (extracted / name).read_bytes() == data, name
    assert f"extracting {directory}\\big.bin (size: {len(FILES['big.bin'])})" in log
    assert f"extracting {directory}\\empty.txt (size: 0)" in log
    assert "extracting files done" in log
    # Queued by the error report and again on the way out.
    assert set(queue_entries(wine_env, "delete_dir")) == {directory}

    # The next start deletes it once and drops every entry of it.
    result, log = run_logged(app, temp_logs)
    assert not extracted.exists()
    second = extraction_dir_from_log(log)
    assert set(queue_entries(wine_env, "delete_dir")) == {second}


def test_files_held_open_by_a_running_launcher_stay_queued(make_app, tmp_path, wine_env, no_queue):
    if not os.environ.get("DISPLAY"):
        pytest.skip("needs an X display (run under `make test`)")
    caption = "Held open"
    running = make_app(project_with_files(tmp_path / "running", {"held.jar": b"x" * 5000},
                                          f'executableType = 1\nmsgErrorCaption = "{caption}"\n'),
                       name="running", directory=tmp_path / "running")
    other = make_app(project_with_files(tmp_path / "other", {"other.jar": b"y" * 10}), name="other",
                     directory=tmp_path / "other")

    process = running.start()
    try:
        window = wait_for(lambda: find_window(caption), timeout=60)
        assert window
        # The running launcher has queued its directory before showing its message.
        [held] = queue_entries(wine_env, "delete_dir")
        held_dir = unix_path(wine_env, held)
        assert (held_dir / "held.jar").exists()

        other.run()
        assert (held_dir / "held.jar").exists()
        assert held in queue_entries(wine_env, "delete_dir")
    finally:
        import subprocess
        subprocess.run(["xdotool", "key", "--window", str(window), "Return"], capture_output=True)
        process.wait(timeout=60)

    # Once it has ended, the next start deletes what it left.
    other.run()
    assert not held_dir.exists()
    assert held not in queue_entries(wine_env, "delete_dir")


def set_included_count(app, count):
    data = bytearray(app.exe.read_bytes())
    [record] = [r for r in layout(bytes(data))["narrow"] if r["key"] == 2002]
    text = str(count).encode()
    assert len(text) == record["length"]
    data[record["text"]:record["text"] + record["length"]] = text
    app.exe.write_bytes(bytes(data))


def test_fewer_names_than_the_count_extract_the_named_files(make_app, tmp_path, wine_env, temp_logs,
                                                            no_queue):
    files = {"a.jar": b"a" * 10, "b.jar": b"b" * 20}
    app = make_app(project_with_files(tmp_path, files))
    set_included_count(app, 9)
    result, log = run_logged(app, temp_logs)
    assert result.returncode == NO_RUNTIME_EXIT
    extracted = unix_path(wine_env, extraction_dir_from_log(log))
    assert sorted(p.name for p in extracted.iterdir()) == ["a.jar", "b.jar"]
    assert "extracting files done" in log


@pytest.mark.parametrize("last", [b"\xa7" * 5000, b"\xa7"], ids=["5000 bytes", "one byte"])
def test_a_last_file_that_scrambles_to_zeros_is_extracted(make_app, tmp_path, wine_env, temp_logs, no_queue, last):
    # Stored exclusive-or'ed with 0xA7, such a file is zero bytes like the padding behind it.
    files = {"a.jar": b"a" * 100, "zeros.bin": last}
    app = make_app(project_with_files(tmp_path, files))
    result, log = run_logged(app, temp_logs)
    assert result.returncode == NO_RUNTIME_EXIT, stderr_text(result)
    assert "do not fill their area" not in log and "extracting files done" in log
    extracted = unix_path(wine_env, extraction_dir_from_log(log))
    assert (extracted / "zeros.bin").read_bytes() == last


def test_a_truncated_area_is_internal_error_16(make_app, tmp_path, wine_env, temp_logs, no_queue):
    files = {"a.jar": b"a" * 100, "b.jar": b"b" * 30000}
    app = make_app(project_with_files(tmp_path, files))
    data = app.exe.read_bytes()
    app.exe.write_bytes(data[:layout(data)["end"] + 4 + 100 + 4 + 12000])

    result, log = run_logged(app, temp_logs)
    assert result.returncode == 1
    assert stderr_text(result).startswith("An internal error occurred (error code: 16)")
    directory = extraction_dir_from_log(log)
    assert "ERROR: ReadFile failed\n" in log
    assert f"ERROR: Failed to extract {directory}\\b.jar\n" in log
    # What was extracted before the failure stays, and is not queued.
    assert (unix_path(wine_env, directory) / "a.jar").read_bytes() == b"a" * 100
    assert directory not in queue_entries(wine_env, "delete_dir")


def test_an_absent_queue_stays_absent(make_app, wine_env, no_queue):
    result = make_app(NO_RUNTIME_PROJECT + WITHOUT_LIBRARY).run()
    assert result.returncode == NO_RUNTIME_EXIT
    assert read_queue(wine_env) is None


def test_queue_processing(make_app, tmp_path, wine_env, wine_temp_dir, no_queue):
    # Directories named as a launcher names its own, in the temporary folder:
    # the queue acts only on those and the files directly in them.
    free = wine_temp_dir / "tvxAB01.tmp_dir1"
    nested = wine_temp_dir / "tvxAB02.tmp_dir2"
    loose_dir = wine_temp_dir / "tvxAB03.tmp_dir3"
    for d in (free, nested / "sub", loose_dir):
        d.mkdir(parents=True, exist_ok=True)
    (free / "x.txt").write_text("x")
    (nested / "sub" / "keep.txt").write_text("keep")
    loose = loose_dir / "loose.txt"
    loose.write_text("loose")
    free_w, nested_w, loose_w = (windows_path(wine_env, p) for p in (free, nested, loose))
    gone = windows_path(wine_env, loose_dir) + "\\gone.txt"
    write_queue(wine_env,
                delete_dir=f".;{free_w};{nested_w};{free_w};",
                delete_file=f"{gone};{loose_w};")

    app = make_app(NO_RUNTIME_PROJECT + WITHOUT_LIBRARY)
    result = app.run(extra_env={"TOVEX_LOG": "yes"})
    assert result.returncode == NO_RUNTIME_EXIT

    # The free directory goes once and both its entries with it; "." vanishes;
    # a directory with a non-empty subdirectory goes with its whole tree.
    assert not free.exists()
    assert not nested.exists()
    assert queue_entries(wine_env, "delete_dir") == []
    assert not loose.exists()
    assert queue_entries(wine_env, "delete_file") == []
    shutil.rmtree(loose_dir, ignore_errors=True)


def test_launchers_started_together_lose_no_queue_entry(make_app, tmp_path, wine_env, no_queue):
    apps = [make_app(project_with_files(tmp_path / f"app{i}", {"f.jar": b"z" * 1000}), name=f"app{i}",
                     directory=tmp_path / f"app{i}") for i in range(4)]
    before = extraction_dirs(wine_env)
    processes = [app.start(extra_env={"TOVEX_LOG": "yes"}) for app in apps]
    for process in processes:
        process.wait(timeout=120)
        assert process.returncode == NO_RUNTIME_EXIT

    queued = {entry.lower() for entry in queue_entries(wine_env, "delete_dir")}
    # Each directory these starts made is either deleted already by a later
    # one of them, or still queued: none is forgotten.
    for directory in extraction_dirs(wine_env) - before:
        assert windows_path(wine_env, directory).lower() in queued, directory
