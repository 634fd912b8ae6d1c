import pytest

import veltrix_compute._compute as compute


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
