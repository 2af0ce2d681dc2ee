import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))

import tessel  # noqa: E402

from support import (LIBRARY, PASSWORD, STANDIN, SilentServer, fresh_user,  # noqa: E402
                     start_standin, stop_standin, write_config)


def pytest_configure(config):
    for path in (LIBRARY, STANDIN):
        if not path.exists():
            pytest.exit(f"{path} is missing: build first (scripts/build.sh build)", returncode=2)


@pytest.fixture(scope="session")
def home(tmp_path_factory):
    """The library's home for the whole test process: it takes its home
    once per process."""
    return tmp_path_factory.mktemp("home")


@pytest.fixture(scope="session")
def standin(tmp_path_factory):
    process, server = start_standin(tmp_path_factory.mktemp("standin"))
    yield server
    stop_standin(process)


@pytest.fixture
def silent(tmp_path):
    server = SilentServer(tmp_path)
    yield server
    server.close()


@pytest.fixture
def make_client(home):
    """make_client(server, log_limit_mb=None, **options): a Client of the
    library against `server`, closed after the test."""
    made = []

    def make(server, log_limit_mb=None, **options):
        write_config(home, server, log_limit_mb)
        client = tessel.Client(LIBRARY, home=home, **options)
        made.append(client)
        return client

    yield make
    for client in made:
        client.close()


@pytest.fixture
def user():
    return fresh_user()


@pytest.fixture
def logged_in(make_client, standin, user):
    """A client logged in on both channels as a fresh user."""
    client = make_client(standin)
    client.login(user, PASSWORD)
    return client
