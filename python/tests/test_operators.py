"""The number protocol of NumericSeries: operand order, constants, and what is refused."""

import pytest
from conftest import panic

from veltrix_compute._compute import NumericSeries

RAW = '{"type":"raw","raw":{"name":"speed"}}'
OTHER = '{"type":"raw","raw":{"name":"other"}}'


def constant(value):
    return '{"type":"constant","constant":{"type":"double","double":{"type":"literal","literal":' + value + "}}}"


def evaluate(expression, speed):
    return eval(expression, {"s": speed, "other": NumericSeries.Reference("other")})  # noqa: S307


@pytest.mark.parametrize(
    ("expression", "kind", "left", "right"),
    [
        ("s + 1", "add", RAW, constant("1.0")),
        ("1 + s", "add", constant("1.0"), RAW),
        ("s + True", "add", RAW, constant("1.0")),
        ("other + s", "add", OTHER, RAW),
        ("2 - s", "subtract", constant("2.0"), RAW),
        ("s * 0.5", "multiply", RAW, constant("0.5")),
        ("s / 0", "divide", RAW, constant("0.0")),
        ("7 // s", "floorDivide", constant("7.0"), RAW),
        ("s % other", "modulo", RAW, OTHER),
        ("s ** 2", "power", RAW, constant("2.0")),
        ("2 ** s", "power", constant("2.0"), RAW),
        ("pow(s, 2, 5)", "power", RAW, constant("2.0")),
        ("pow(s, -1, 'modulus')", "power", RAW, constant("-1.0")),
    ],
)
def test_binary_operators_keep_the_operands_in_place(speed, expression, kind, left, right):
    names = ("base", "exponent") if kind == "power" else ("left", "right")
    expected = f'{{"type":"{kind}","{kind}":{{"{names[0]}":{left},"{names[1]}":{right}}}}}'
    assert evaluate(expression, speed).to_json() == expected
    assert speed.to_json() == RAW


def test_negation(speed):
    assert (-speed).to_json() == '{"type":"negate","negate":{"x":' + RAW + "}}"


@pytest.mark.parametrize(
    "expression", ["s + 'x'", "'x' - s", "s * None", "+s", "abs(s)", "~s", "s & 1", "s << 1", "s @ s"]
)
def test_unsupported_operations_end_in_the_interpreters_type_error(speed, expression):
    with pytest.raises(TypeError) as raised:
        evaluate(expression, speed)
    # The operand was refused with NotImplemented, so none of the module's conversion messages shows.
    assert "failed to extract" not in str(raised.value)


def test_in_place_operators_rebind(speed):
    total = speed
    total += 1
    assert total is not speed and speed.to_json() == RAW
    assert total.to_json() == f'{{"type":"add","add":{{"left":{RAW},"right":{constant("1.0")}}}}}'


def test_internal_failures_are_not_hidden_behind_not_implemented(speed):
    original = panic()

    class LetsPanicThrough:
        def __float__(self):
            raise original

    for expression in ("s + p", "p ** s"):
        with pytest.raises(type(original)) as raised:
            eval(expression, {"s": speed, "p": LetsPanicThrough()})  # noqa: S307
        assert str(raised.value) == str(original)
