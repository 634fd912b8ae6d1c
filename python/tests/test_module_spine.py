"""The spine: the main road, argument binding, failures at the boundary, class flags."""

import inspect

import pytest
from conftest import interpreter_message

import veltrix_compute._compute as compute
from veltrix_compute._compute import IntegerConstant, NumericSeries

MAIN_ROAD = (
    '{"type":"selectOldestPoints","selectOldestPoints":{"input":{"type":"raw","raw":{"name":"speed"}},'
    '"numPoints":{"type":"literal","literal":10}}}'
)


def test_main_road(speed):
    assert speed.head(10).to_json() == MAIN_ROAD
    assert speed.head(num_points=10).to_json() == MAIN_ROAD
    assert speed.to_json() == '{"type":"raw","raw":{"name":"speed"}}'  # receiver unchanged
    assert speed.head(IntegerConstant.Reference("n")).to_json().endswith(
        '"numPoints":{"type":"variable","variable":"n"}}}')


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda s: s.head(), "NumericSeries.head() missing 1 required positional argument: 'num_points'"),
        (lambda s: s.head(1, 2), "NumericSeries.head() takes 1 positional arguments but 2 were given"),
        (lambda s: s.head(n=1), "NumericSeries.head() got an unexpected keyword argument 'n'"),
        (lambda s: s.head(1, num_points=2), "NumericSeries.head() got multiple values for argument 'num_points'"),
        (lambda s: NumericSeries.Reference(), "NumericSeries.Reference() missing 1 required positional argument: 'name'"),
    ],
)
def test_binding_messages(speed, call, message):
    with pytest.raises(TypeError) as raised:
        call(speed)
    assert str(raised.value) == message


def test_integer_narrowing_is_an_internal_failure(speed):
    assert speed.head(2**31 - 1) and speed.head(-(2**31))
    for call in (lambda: speed.head(2**31), lambda: IntegerConstant.Literal(2**40)):
        try:
            call()
        except Exception:  # noqa: BLE001
            pytest.fail("PanicException must not be caught by a handler for Exception")
        except BaseException as error:  # noqa: BLE001
            assert type(error).__name__ == "PanicException"
            assert str(error) == "integer value exceeds i32 range: TryFromIntError(())"


def test_integer_beyond_64_bits_reports_both_alternatives(speed):
    overflow = interpreter_message_of_overflow()
    with pytest.raises(TypeError) as raised:
        speed.head(2**64)
    assert str(raised.value) == (
        "argument 'num_points': failed to extract enum IntegerConstantInput ('Wrapped | Native0')\n"
        "- variant Wrapped (Wrapped): TypeError: failed to extract field IntegerConstantInput::Wrapped.0, "
        "caused by TypeError: 'int' object is not an instance of 'IntegerConstant'\n"
        "- variant Native0 (Native0): TypeError: failed to extract field IntegerConstantInput::Native0.0, "
        f"caused by OverflowError: {overflow}"
    )


def interpreter_message_of_overflow():
    import array

    # array('l') converts through the same C-long conversion as the module.
    return interpreter_message(lambda: array.array("l", [2**64]))


def test_text_signatures():
    assert inspect.signature(NumericSeries.head) == inspect.signature(lambda self, /, num_points: None)
    assert str(inspect.signature(NumericSeries.Reference)) == "(name)"
    assert NumericSeries.to_json.__text_signature__ == "($self)"
    assert IntegerConstant.Literal.__text_signature__ == "(literal)"


def test_classes_are_closed(speed):
    with pytest.raises(TypeError):
        NumericSeries()
    with pytest.raises(TypeError):
        type("Derived", (NumericSeries,), {})
    with pytest.raises(AttributeError):
        speed.anything = 1
    assert repr(NumericSeries) == "<class '_compute.NumericSeries'>"
    assert NumericSeries.__module__ == "_compute"


def test_module_names():
    assert compute.__all__[:1] == ["NumericSeries"]
    for name in compute.__all__:
        assert getattr(compute, name) is not None
