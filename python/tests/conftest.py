import os

import pytest
from hypothesis import settings

import veltrix_compute._compute as compute

# CI runs a fixed set of generated examples, so that a red run can be replayed and a green one
# stays green; a developer's runs draw new examples each time and explore further.
settings.register_profile("ci", derandomize=True, database=None)
if os.environ.get("VELTRIX_TEST_PROFILE") == "ci":
    settings.load_profile("ci")


@pytest.fixture
def speed():
    return compute.NumericSeries.Reference("speed")


def interpreter_message(call):
    """The running interpreter's own message for a failing call (it differs between versions)."""
    try:
        call()
    except Exception as error:  # noqa: BLE001 - we want whatever the interpreter raises
        return str(error)
    raise AssertionError("the call did not fail")
