"""RangeMap, the one class made by calling it."""

import inspect

import pytest

from veltrix_compute._compute import FloatConstant, RangeMap, StringConstant

HIGH = '"output":{"type":"literal","literal":"high"}'


@pytest.mark.parametrize(
    ("make", "json"),
    [
        (lambda: RangeMap("high", start=10), '{"start":{"type":"literal","literal":10.0},%s}' % HIGH),
        (lambda: RangeMap(output="high"), "{%s}" % HIGH),
        (lambda: RangeMap("high", None, 1), '{"end":{"type":"literal","literal":1.0},%s}' % HIGH),
        # Bounds are stored as given, even the wrong way round.
        (lambda: RangeMap("high", end=1.5, start=2.5),
         '{"start":{"type":"literal","literal":2.5},"end":{"type":"literal","literal":1.5},%s}' % HIGH),
        (lambda: RangeMap(StringConstant.Reference("label"), FloatConstant.Reference("low"), end=None),
         '{"start":{"type":"variable","variable":"low"},"output":{"type":"variable","variable":"label"}}'),
    ],
)
def test_construction(make, json):
    made = make()
    assert type(made) is RangeMap
    assert made.to_json() == json


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: RangeMap(), "RangeMap.__new__() missing 1 required positional argument: 'output'"),
        (lambda: RangeMap("a", 1, 2, 3), "RangeMap.__new__() takes from 1 to 3 positional arguments but 4 were given"),
        (lambda: RangeMap("a", low=1), "RangeMap.__new__() got an unexpected keyword argument 'low'"),
        (lambda: RangeMap("a", output="b"), "RangeMap.__new__() got multiple values for argument 'output'"),
        # Arguments are converted in order: output, start, end.
        (lambda: RangeMap(None, "x", "y"), "argument 'output': failed to extract enum StringConstantInput"),
        (lambda: RangeMap("a", "x", "y"), "argument 'start': failed to extract enum FloatConstantInput"),
        (lambda: RangeMap("a", 1, "y"), "argument 'end': failed to extract enum FloatConstantInput"),
    ],
)
def test_refusals(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value).startswith(message)


def test_signature():
    assert RangeMap.__text_signature__ == "(output, start=None, end=None)"
    assert inspect.signature(RangeMap) == inspect.signature(lambda output, start=None, end=None: None)

