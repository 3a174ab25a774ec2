"""What others can change around a launcher: the bytes of its executable,
the names it extracts to and the temporary location it is given. None of it
makes the launcher write where it should not or start with wrong files."""
import shutil
import struct
import subprocess

import pytest

from blockfile import layout
from harness import (WINE, WINEPATH, NO_RUNTIME_EXIT, NO_RUNTIME_PROJECT, WITHOUT_LIBRARY, extraction_dir_from_log, project_with_files,
                     queue_entries, run_logged, stderr_text, unix_path, windows_path, write_queue)

FILES = {"a.jar": b"a" * 100, "b.jar": b"b" * 3000}


def test_a_link_shaped_like_an_extraction_directory_is_not_followed(make_app, wine_env, wine_temp_dir, tmp_path,
                                                                   no_queue):
    documents = tmp_path / "documents"
    documents.mkdir()
    (documents / "letter.txt").write_text("precious")
    link = wine_temp_dir / "tvxF00D.tmp_dir4242"
    link.unlink(missing_ok=True)
    link.symlink_to(documents, target_is_directory=True)
    try:
        link_w = windows_path(wine_env, link)
        write_queue(wine_env, delete_dir=f"{link_w};", delete_file=f"{link_w}\\letter.txt;")
        result = make_app(NO_RUNTIME_PROJECT + WITHOUT_LIBRARY).run()
        assert result.returncode == NO_RUNTIME_EXIT
        assert (documents / "letter.txt").read_text() == "precious"
        assert link.is_symlink()
        assert queue_entries(wine_env, "delete_dir") == []
        assert queue_entries(wine_env, "delete_file") == []
    finally:
        link.unlink(missing_ok=True)


def replace_record(app, key, text):
    """Puts text (of the stored length) into the narrow record `key`."""
    data = bytearray(app.exe.read_bytes())
    [record] = [r for r in layout(bytes(data))["narrow"] if r["key"] == key]
    assert len(text) == record["length"]
    data[record["text"]:record["text"] + record["length"]] = text
    app.exe.write_bytes(bytes(data))


def set_size(app, index, size):
    """Writes `size` into the index-th size field of the included-files area."""
    data = bytearray(app.exe.read_bytes())
    at = layout(bytes(data))["end"]
    for _ in range(index):
        at += 4 + struct.unpack_from("<i", data, at)[0]
    struct.pack_into("<i", data, at, size)
    app.exe.write_bytes(bytes(data))


@pytest.mark.parametrize("names", [b"nul.a;b.jar;", b"a.jar;CLOCK$", b"COM1;;b.jar;"])
def test_a_device_name_is_refused_as_an_included_file(make_app, tmp_path, temp_logs, no_queue, names):
    app = make_app(project_with_files(tmp_path, FILES))
    replace_record(app, 2003, names)
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 1
    assert stderr_text(result).startswith("An internal error occurred (error code: 16)")
    assert "ERROR: Failed to extract " in log


@pytest.mark.parametrize("index, size, message", [
    (0, -1, "Internal Error: readInt"),
    (1, -2 ** 31, "Internal Error: readInt"),
    (0, 0, "Internal Error: readInt"),  # the next size is read from the first file's data
    (1, 2999, "An internal error occurred (error code: 16)"),  # one byte of the last file left over
])
def test_sizes_that_do_not_fill_the_area_are_damage(make_app, tmp_path, temp_logs, no_queue,
                                                    index, size, message):
    app = make_app(project_with_files(tmp_path, FILES))
    set_size(app, index, size)
    result = app.run()
    assert result.returncode == 1, stderr_text(result)
    assert stderr_text(result).startswith(message), stderr_text(result)


def test_a_directory_left_by_a_failed_write_is_queued(make_app, tmp_path, temp_logs, wine_env,
                                                      no_queue):
    # The second file of the same name cannot be made while the first is held open.
    app = make_app(project_with_files(tmp_path, FILES))
    replace_record(app, 2003, b"a.jar;a.jar;")
    result, log = run_logged(app, temp_logs)
    assert result.returncode == 1
    assert stderr_text(result).startswith("An internal error occurred (error code: 11)")
    assert extraction_dir_from_log(log) in queue_entries(wine_env, "delete_dir")


def run_with_tmp(app, wine_env, tmp):
    exe = subprocess.run([WINEPATH, "-w", str(app.exe)], env=wine_env, capture_output=True, text=True,
                         check=True).stdout.strip()
    env = dict(wine_env, TOVEX_LOG="yes")
    return subprocess.run([WINE, "cmd", "/c", f"set TMP={tmp}&& set TEMP={tmp}&& {exe}"], env=env,
                          capture_output=True, timeout=120)


@pytest.mark.parametrize("tmp, make", [
    ("C:\\tovex-tmp;semicolon", "directory"),  # would split the class path and the queue
    ("C:\\tovex-tmp-missing", None),
    ("C:\\tovex-tmp-file", "file"),
])
def test_an_unusable_tmp_falls_back(make_app, tmp_path, wine_env, wine_c_drive, no_queue,
                                    tmp, make):
    target = wine_c_drive / tmp[3:]
    if make == "directory":
        target.mkdir(exist_ok=True)
    elif make == "file":
        target.write_bytes(b"not a directory")
    app = make_app(project_with_files(tmp_path, FILES))
    try:
        result = run_with_tmp(app, wine_env, tmp)
        assert result.returncode == NO_RUNTIME_EXIT, stderr_text(result)
        # Queued by the error report and again on the way out: one directory.
        [queued] = set(queue_entries(wine_env, "delete_dir"))
        assert ";" not in queued and not queued.lower().startswith(tmp.lower())
        assert (unix_path(wine_env, queued) / "b.jar").read_bytes() == FILES["b.jar"]
    finally:
        if target.is_dir():
            shutil.rmtree(target)
        elif target.exists():
            target.unlink()


@pytest.mark.parametrize("kind", ["TMP a link", "TMP below a link"])
def test_a_tmp_reached_through_a_link_keeps_one_extraction(make_app, tmp_path, wine_env, wine_c_drive, no_queue,
                                                         kind):
    # Each start deletes the one before it: with TMP a link (or a folder below
    # one), the entries are the launcher's own all the same.
    real = wine_c_drive / "tovex-realtemp"
    link = wine_c_drive / "tovex-tlink"
    shutil.rmtree(real, ignore_errors=True)
    link.unlink(missing_ok=True)
    (real / "temp").mkdir(parents=True)
    link.symlink_to(real, target_is_directory=True)
    tmp = "C:\\tovex-tlink" if kind == "TMP a link" else "C:\\tovex-tlink\\temp"
    app = make_app(project_with_files(tmp_path, FILES))
    try:
        for _ in range(3):
            result = run_with_tmp(app, wine_env, tmp)
            assert result.returncode == NO_RUNTIME_EXIT, stderr_text(result)
        folder = real if kind == "TMP a link" else real / "temp"
        assert len(list(folder.glob("tvx*.tmp_dir*"))) == 1
        [queued] = set(queue_entries(wine_env, "delete_dir"))
        assert queued.lower().startswith(tmp.lower() + "\\tvx")
    finally:
        link.unlink(missing_ok=True)
        shutil.rmtree(real, ignore_errors=True)


def test_links_inside_a_queued_directory_are_never_followed(make_app, wine_env, wine_temp_dir, tmp_path, no_queue):
    victim = tmp_path / "victim"
    (victim / "sub").mkdir(parents=True)
    (victim / "letter.txt").write_text("precious")
    (victim / "sub" / "note.txt").write_text("precious")
    queued = wine_temp_dir / "tvx77.tmp_dir77"
    shutil.rmtree(queued, ignore_errors=True)
    (queued / "deeper").mkdir(parents=True)
    (queued / "a.jar").write_bytes(b"a")
    (queued / "folder-link").symlink_to(victim, target_is_directory=True)
    (queued / "deeper" / "folder-link").symlink_to(victim / "sub", target_is_directory=True)
    try:
        write_queue(wine_env, delete_dir=f"{windows_path(wine_env, queued)};")
        result = make_app(NO_RUNTIME_PROJECT + WITHOUT_LIBRARY).run()
        assert result.returncode == NO_RUNTIME_EXIT
        assert (victim / "letter.txt").read_text() == "precious"
        assert (victim / "sub" / "note.txt").read_text() == "precious"
        assert not (queued / "a.jar").exists()
    finally:
        shutil.rmtree(queued, ignore_errors=True)


def test_a_link_planted_as_the_hand_over_file_is_not_written_through(app_factory, tmp_path):
    app = app_factory()
    _, pid = app.start()
    hand_over = app.hand_over_file(pid)
    victim = tmp_path / "victim"
    hand_over.unlink(missing_ok=True)
    hand_over.symlink_to(victim)
    result = app.run("later")
    assert result.returncode == 0
    # Neither written through nor followed: the link's target is never made.
    assert not victim.exists()
    hand_over.unlink()


def test_links_planted_as_log_files_are_not_written_through(make_app, wine_env, wine_c_drive, tmp_path):
    app = make_app(NO_RUNTIME_PROJECT + WITHOUT_LIBRARY)
    logs = wine_c_drive / "tovex-log-links"
    shutil.rmtree(logs, ignore_errors=True)
    logs.mkdir()
    victim = tmp_path / "victim"
    # Every first name a process of this Wine server can take.
    for pid in range(0, 0x10000, 4):
        (logs / f"vdl_nlog_{pid:x}_0").symlink_to(victim)
    try:
        result = run_with_tmp(app, wine_env, "C:\\tovex-log-links")
        assert result.returncode == NO_RUNTIME_EXIT
        assert not victim.exists()
        [made] = [p for p in logs.iterdir() if not p.is_symlink()]
        assert made.name.endswith("_1")
        assert f"Log: C:\\tovex-log-links\\{made.name}" in stderr_text(result)
    finally:
        shutil.rmtree(logs, ignore_errors=True)
