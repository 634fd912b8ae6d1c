"""IntegerConstant, StringConstant and FloatConstant: Literal, Reference, to_json."""

import array
import math

import pytest
from conftest import interpreter_message

from veltrix_compute._compute import Duration, FloatConstant, IntegerConstant, StringConstant

CONSTANTS = [IntegerConstant, StringConstant, FloatConstant]


class Text(str):
    pass


@pytest.mark.parametrize(
    ("make", "json"),
    [
        (lambda: IntegerConstant.Literal(-(2**31)), '{"type":"literal","literal":-2147483648}'),
        (lambda: IntegerConstant.Literal(2**31 - 1), '{"type":"literal","literal":2147483647}'),
        (lambda: IntegerConstant.Literal(True), '{"type":"literal","literal":1}'),
        (lambda: StringConstant.Literal("high"), '{"type":"literal","literal":"high"}'),
        (lambda: StringConstant.Literal(literal=Text("sub")), '{"type":"literal","literal":"sub"}'),
        (lambda: FloatConstant.Literal(1.5), '{"type":"literal","literal":1.5}'),
        (lambda: FloatConstant.Literal(2), '{"type":"literal","literal":2.0}'),
        (lambda: FloatConstant.Literal(float("nan")), '{"type":"literal","literal":null}'),
        (lambda: FloatConstant.Reference(variable="threshold"), '{"type":"variable","variable":"threshold"}'),
    ],
)
def test_factories(make, json):
    assert make().to_json() == json


@pytest.mark.parametrize("cls", CONSTANTS)
@pytest.mark.parametrize("name", ["", "n", "not a valid name!"])
def test_reference_keeps_any_name(cls, name):
    assert cls.Reference(name).to_json() == '{"type":"variable","variable":"%s"}' % name


ONE = FloatConstant.Literal(1.0)


@pytest.mark.parametrize(
    ("call", "kind", "message"),
    [
        (lambda: FloatConstant.Literal(ONE), TypeError, "argument 'literal': " + interpreter_message(lambda: math.sqrt(ONE))),
        (lambda: IntegerConstant.Literal(1.5), TypeError,
         "argument 'literal': " + interpreter_message(lambda: array.array("l", [1.5]))),
        # Only exactly TypeError is prefixed with the parameter's name.
        (lambda: IntegerConstant.Literal(2**64), OverflowError, interpreter_message(lambda: array.array("l", [2**64]))),
        (lambda: StringConstant.Literal("\ud800"), UnicodeEncodeError, interpreter_message(lambda: "\ud800".encode())),
        (lambda: StringConstant.Literal(StringConstant.Literal("x")), TypeError,
         "argument 'literal': 'StringConstant' object is not an instance of 'str'"),
    ] + [(lambda cls=cls: cls.Reference(5), TypeError, "argument 'variable': 'int' object is not an instance of 'str'")
         for cls in CONSTANTS],
)
def test_refusals(call, kind, message):
    with pytest.raises(kind) as raised:
        call()
    assert type(raised.value) is kind and str(raised.value) == message


@pytest.mark.parametrize("make", [lambda: IntegerConstant.Literal(-(2**31) - 1), lambda: Duration.Seconds(2**31)])
def test_integer_constant_outside_32_bits_is_an_internal_failure(make):
    with pytest.raises(BaseException) as raised:
        make()
    assert type(raised.value).__name__ == "PanicException" and not isinstance(raised.value, Exception)
    assert str(raised.value) == "integer value exceeds i32 range: TryFromIntError(())"
