"""An expression language for time-series computations; see veltrix_compute._compute."""
