"""examples/order.py runs as a user would run it, so it cannot go stale."""

import shutil
import subprocess
import sys

from support import ANSWER_WAIT, LIBRARY, REPO, fresh_user


def test_order_example(tmp_path, standin):
    # Its own process, so its own home: the library takes one per process.
    shutil.copyfile(standin.cert, tmp_path / "ca.pem")
    run = subprocess.run(
        [sys.executable, str(REPO / "examples" / "order.py"), "--home", str(tmp_path),
         "--main-port", str(standin.main_port), "--push-port", str(standin.push_port),
         "--library", str(LIBRARY), "--user", fresh_user()],
        capture_output=True, text=True, timeout=3 * ANSWER_WAIT)
    assert run.returncode == 0, run.stderr
    # The library's console lines share standard output, and a line of
    # theirs may be cut where the example's lines go in.
    lines = run.stdout.splitlines()
    assert any("order answer: " in line and '"error_no": 0' in line for line in lines)
    for push_type in (10, 17, 301, 302):
        assert any(f"push {push_type} (" in line for line in lines)
    assert any("logged out" in line for line in lines)
