"""The module after import, its class objects, its execution step run again on fresh module objects, the
common road of a call (binding, text signatures, integers), and PanicException."""

import array
import importlib.machinery
import importlib.util
import inspect
import types
import weakref

import pytest
from conftest import SAMPLES, UNARY, interpreter_message, panic

import veltrix_compute._compute as compute
from veltrix_compute._compute import IntegerConstant, NumericSeries, RangeMap

CLASSES = [
    "NumericSeries", "CategoricalSeries", "ConstantNumericSeries", "IntegerConstant", "StringConstant", "Dataset",
    "AggregationBuilder", "NumericAggregationOperator", "NegativeValueConfiguration", "UdfSource", "Duration",
    "FloatConstant", "GroupByTags", "GroupByTimestamp", "RangeMap",
]
FUNCTIONS = [*UNARY, "atan2", "max", "mean", "min", "sum", "product"]


def test_all_names_in_order():
    assert type(compute.__all__) is list
    assert compute.__all__ == CLASSES + FUNCTIONS
    assert all(hasattr(compute, name) for name in compute.__all__)
    assert compute.__doc__ == ""


@pytest.mark.parametrize("name", CLASSES)
def test_class_objects(name):
    cls = getattr(compute, name)
    assert isinstance(cls, type) and type(SAMPLES[cls][0][1]) is cls
    assert repr(cls) == f"<class '_compute.{name}'>"
    assert (cls.__module__, cls.__name__, cls.__qualname__) == ("_compute", name, name)
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})


@pytest.mark.parametrize("name", CLASSES)
def test_only_range_map_is_made_by_calling_its_class(name):
    cls = getattr(compute, name)
    if name == "RangeMap":
        assert type(cls("high")) is cls
    else:
        with pytest.raises(TypeError):
            cls()


@pytest.mark.parametrize("name", CLASSES)
def test_instances_take_no_attributes_and_no_weak_references(name):
    instance = SAMPLES[getattr(compute, name)][0][1]
    with pytest.raises(AttributeError):
        instance.anything = 1
    with pytest.raises(AttributeError):
        instance.to_json = None
    with pytest.raises(TypeError):
        weakref.ref(instance)
    assert not hasattr(instance, "__dict__")


NOT_SET = object()


def load_again(all_names=NOT_SET, module_class=None, **attributes):
    """The extension loaded once more into a fresh module object named _compute, with __all__, its class and
    any other attributes preset before the execution step runs; returns the module and what the step raised."""
    loader = importlib.machinery.ExtensionFileLoader("_compute", compute.__file__)
    spec = importlib.util.spec_from_file_location("_compute", compute.__file__, loader=loader)
    module = loader.create_module(spec)
    if module_class is not None:
        module.__class__ = module_class
    if all_names is not NOT_SET:
        module.__all__ = all_names
    for name, value in attributes.items():
        setattr(module, name, value)
    try:
        loader.exec_module(module)
    except BaseException as error:  # noqa: BLE001 - the caller checks what was raised
        return module, error
    return module, None


def test_a_second_module_object_shares_the_class_objects():
    module, error = load_again()
    assert error is None and module is not compute
    assert module.__all__ == CLASSES + FUNCTIONS
    for name in CLASSES:
        assert getattr(module, name) is getattr(compute, name)
    for name in FUNCTIONS:
        function = getattr(module, name)
        assert function is not getattr(compute, name) and function.__self__ is module
        # A function takes the name of the module it is bound to, here "_compute".
        assert (function.__name__, function.__module__) == (name, "_compute")
    series = compute.NumericSeries.Reference("s")
    assert module.abs(series).to_json() == compute.abs(series).to_json()


class Names(list):
    pass


@pytest.mark.parametrize("preset", [[], ["existing"], Names(["existing"])])
def test_execution_step_appends_to_a_preset_list(preset):
    before = list(preset)
    module, error = load_again(preset)
    assert error is None
    assert module.__all__ is preset
    assert preset == before + CLASSES + FUNCTIONS


@pytest.mark.parametrize("preset", [("existing",), "NumericSeries", None, {"x": 1}])
def test_execution_step_refuses_an_all_that_is_not_a_list(preset):
    module, error = load_again(preset)
    assert type(error) is TypeError
    # The step stopped before its first addition.
    assert module.__all__ is preset and "NumericSeries" not in vars(module)


def test_execution_step_asks_a_module_getattr_for_a_missing_all():
    def missing(name):
        raise AttributeError(name)

    module, error = load_again(__getattr__=missing)
    assert error is None and module.__all__ == CLASSES + FUNCTIONS

    def broken(name):
        raise LookupError(name)

    module, error = load_again(__getattr__=broken)
    # Any failure other than a missing attribute stops the step and is passed on.
    assert type(error) is LookupError and error.args == ("__all__",)
    assert "NumericSeries" not in vars(module)


class RefusesDataset(types.ModuleType):
    def __setattr__(self, name, value):
        if name == "Dataset":
            raise PermissionError(name)
        super().__setattr__(name, value)


def test_a_failed_step_keeps_what_it_added_before():
    module, error = load_again(module_class=RefusesDataset)
    assert type(error) is PermissionError and error.args == ("Dataset",)
    # Each name is appended to __all__ before its attribute is set.
    assert module.__all__ == CLASSES[: CLASSES.index("Dataset") + 1]
    assert [name for name in CLASSES + FUNCTIONS if name in vars(module)] == CLASSES[: CLASSES.index("Dataset")]


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
        # A keyword is written as given, even one that UTF-8 cannot hold.
        (lambda s: s.head(**{"\ud800": 1}), "NumericSeries.head() got an unexpected keyword argument '\ud800'"),
        (lambda s: RangeMap("x", **{"\ud800": 1}), "RangeMap.__new__() got an unexpected keyword argument '\ud800'"),
    ],
)
def test_binding_messages(speed, call, message):
    with pytest.raises(TypeError) as raised:
        call(speed)
    assert str(raised.value) == message


def test_integer_beyond_64_bits_reports_both_alternatives(speed):
    # array('l') converts through the same C-long conversion as the module.
    overflow = interpreter_message(lambda: array.array("l", [2**64]))
    with pytest.raises(TypeError) as raised:
        speed.head(2**64)
    assert str(raised.value) == (
        "argument 'num_points': failed to extract enum IntegerConstantInput ('Wrapped | Native0')\n"
        "- variant Wrapped (Wrapped): TypeError: failed to extract field IntegerConstantInput::Wrapped.0, "
        "caused by TypeError: 'int' object is not an instance of 'IntegerConstant'\n"
        "- variant Native0 (Native0): TypeError: failed to extract field IntegerConstantInput::Native0.0, "
        f"caused by OverflowError: {overflow}"
    )


def test_text_signatures():
    assert inspect.signature(NumericSeries.head) == inspect.signature(lambda self, /, num_points: None)
    assert str(inspect.signature(NumericSeries.Reference)) == "(name)"
    assert NumericSeries.to_json.__text_signature__ == "($self)"
    assert IntegerConstant.Literal.__text_signature__ == "(literal)"


def test_panic_exception_class(speed):
    assert speed.head(2**31 - 1) and speed.head(-(2**31))
    first, second = panic(), panic(lambda: speed.head(2**31))
    panic_type = type(first)
    assert type(second) is panic_type  # one class per process
    assert panic_type.__name__ == "PanicException"
    assert panic_type.__mro__ == (panic_type, BaseException, object)
    assert first.args == second.args == ("integer value exceeds i32 range: TryFromIntError(())",)
    assert str(first) == "integer value exceeds i32 range: TryFromIntError(())"
    assert "BaseException" in panic_type.__doc__
