"""AggregationBuilder and NumericAggregationOperator."""

import pytest

from veltrix_compute._compute import FloatConstant, UdfSource
from veltrix_compute._compute import NumericAggregationOperator as Operator

# (AggregationBuilder method, operator factory, JSON variant)
FIXED = [
    ("sum", "Sum", "sum"),
    ("average", "Average", "average"),
    ("min", "Min", "min"),
    ("max", "Max", "max"),
    ("count", "Count", "count"),
    ("standard_deviation", "StandardDeviation", "standardDeviation"),
    ("root_mean_square", "RootMeanSquare", "rootMeanSquare"),
]


@pytest.fixture
def builder(speed):
    return speed.rolling_points(5)


@pytest.mark.parametrize(
    ("operator", "expected"),
    [(lambda f=f: getattr(Operator, f)(), f'{{"type":"{v}","{v}":{{}}}}') for _, f, v in FIXED]
    + [
        (lambda: Operator.Percentile(95),
         '{"type":"percentile","percentile":{"percentile":{"type":"literal","literal":95.0}}}'),
        (lambda: Operator.Percentile(percentile=FloatConstant.Reference("p")),
         '{"type":"percentile","percentile":{"percentile":{"type":"variable","variable":"p"}}}'),
        (lambda: Operator.Udf(UdfSource.Rust("f")),
         '{"type":"udf","udf":{"source":{"type":"rust","rust":{"sourceCode":"f"}}}}'),
    ],
)
def test_operator_factories(operator, expected):
    assert operator().to_json() == expected


@pytest.mark.parametrize(
    ("method", "operator"),
    [(lambda a, m=m: getattr(a, m)(), lambda f=f: getattr(Operator, f)()) for m, f, _ in FIXED]
    + [
        (lambda a: a.percentile(0.5), lambda: Operator.Percentile(0.5)),
        (lambda a: a.udf(UdfSource.Rust("s")), lambda: Operator.Udf(UdfSource.Rust("s"))),
        (lambda a: a.rust_udf(source_code="s"), lambda: Operator.Udf(UdfSource.Rust("s"))),
    ],
)
def test_each_method_equals_the_general_aggregation(builder, method, operator):
    before = builder.to_json()
    first, second = method(builder), method(builder)
    general = builder.numeric_aggregation(operator())
    assert first.to_json() == second.to_json() == general.to_json()
    assert general.to_json() == f'{{"type":"numericAggregation","numericAggregation":{{"input":{before},' \
                                f'"operator":{operator().to_json()}}}}}'
    assert first is not second and builder.to_json() == before


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda a: a.percentile(),
         "AggregationBuilder.percentile() missing 1 required positional argument: 'percentile'"),
        (lambda a: a.rust_udf(UdfSource.Rust("x")),
         "argument 'source_code': 'UdfSource' object is not an instance of 'str'"),
        (lambda a: a.percentile("p"), "argument 'percentile': failed to extract enum FloatConstantInput"),
        (lambda a: Operator.Udf(Operator.Sum()),
         "argument 'source': 'NumericAggregationOperator' object is not an instance of 'UdfSource'"),
    ],
)
def test_refusals(builder, call, message):
    before = builder.to_json()
    with pytest.raises(TypeError) as raised:
        call(builder)
    assert str(raised.value).startswith(message) and builder.to_json() == before
