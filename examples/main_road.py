"""The series named speed, cut to its first ten points, as the compute API's JSON."""

from veltrix_compute._compute import NumericSeries

print(NumericSeries.Reference("speed").head(10).to_json())
