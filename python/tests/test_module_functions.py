"""The module functions: plain numbers accepted as operands, and the same nodes as the methods."""

import pytest
from conftest import UNARY

import veltrix_compute._compute as compute
from veltrix_compute._compute import NumericSeries

REDUCTIONS = ["max", "mean", "min", "sum", "product"]
CONSTANT_1_5 = '{"type":"constant","constant":{"type":"double","double":{"type":"literal","literal":1.5}}}'


@pytest.mark.parametrize("name", UNARY)
def test_unary_functions(speed, name):
    function = getattr(compute, name)
    assert function(speed).to_json() == getattr(speed, name)().to_json()
    assert function(x=1.5).to_json() == f'{{"type":"{name}","{name}":{{"x":{CONSTANT_1_5}}}}}'
    assert function(2).to_json() == function(2.0).to_json()


@pytest.mark.parametrize("name", REDUCTIONS)
def test_reductions_are_the_list_factories(speed, name):
    inputs = [speed, 2, speed]
    assert getattr(compute, name)(inputs).to_json() == getattr(NumericSeries, name.capitalize())(inputs).to_json()


def test_atan2(speed):
    expected = speed.atan2(0.5).to_json()
    assert compute.atan2(speed, 0.5).to_json() == expected
    assert compute.atan2(x=0.5, y=speed).to_json() == expected


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda s: compute.atan2(s), "atan2() missing 1 required positional argument: 'x'"),
        (lambda s: compute.sum("ab"), "argument 'inputs': Can't extract `str` to `Vec`"),
        (lambda s: compute.abs("x"), "argument 'x': failed to extract enum NumericSeriesInput"),
        (lambda s: compute.atan2(None, s), "argument 'y': failed to extract enum NumericSeriesInput"),
        (lambda s: compute.atan2(s, "x"), "argument 'x': failed to extract enum NumericSeriesInput"),
        (lambda s: compute.sum([s, "a"]), "argument 'inputs': failed to extract enum NumericSeriesInput"),
    ],
)
def test_failures(speed, call, message):
    with pytest.raises(TypeError) as raised:
        call(speed)
    assert str(raised.value).startswith(message)


def test_functions_belong_to_the_compute_module():
    assert {getattr(compute, name).__module__ for name in compute.__all__[15:]} == {"_compute"}
