"""Message boxes: shown with the configured caption when the executable keeps them."""
import os
import shutil
import subprocess

import pytest

from harness import NO_RUNTIME_EXIT, NO_RUNTIME_PROJECT, dismiss_message_box, find_window, wait_for

pytestmark = pytest.mark.skipif(not os.environ.get("DISPLAY") or shutil.which("xdotool") is None,
                                reason="needs an X display and xdotool (run under `make test`)")


@pytest.mark.parametrize("executable_type", [1, 5])
def test_error_shows_a_message_box_with_the_caption(make_app, tmp_path, executable_type):
    caption = f"Start-up box {executable_type}"
    app = make_app(NO_RUNTIME_PROJECT + f'executableType = {executable_type}\nmsgErrorCaption = "{caption}"\n')
    process = app.start()
    try:
        window = wait_for(lambda: find_window(caption), timeout=60)
        assert window, "no message box appeared"
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", str(tmp_path / "box.png")],
                           capture_output=True)
        # Nothing is written to standard error while the box is up.
        dismiss_message_box(window, process)
    finally:
        if process.poll() is None:
            process.kill()
    assert process.returncode == NO_RUNTIME_EXIT
    assert b"Nothing to run this with." not in process.stderr.read()
