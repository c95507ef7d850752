"""vantor from Python: an exact answer, one sampled to a target, and two batches merged."""

import vantor_tools
from vantor_tools import Equity, equity

# Exact: every turn and river is walked.
flop = equity("holdem", ["AhKh", "QsQd"], board="Kd 7c 2h")
print(flop)
print(f"AhKh wins {flop.seats[0].win:.2%} of the time\n")

# Too many deals to walk: batches with seeds derived from `seed` run until
# every seat's standard error is at most 0.002.
field = equity("omaha_hi_lo", ["AhAd2c3d", "KsKh9s8h", "****"], board="4c 7d Qs",
               target_error=0.002, seed=7, threads=4)
print(field)
print(f"worst standard error {field.worst_error:.4f} after {field.samples:,} deals\n")

# Answers keep the engine's raw sums, so batches drawn anywhere merge exactly;
# with `samples` an answer is exactly the module's own for that seed and threads.
spot = vantor_tools.Spot.of("razz", ["As2d3c", "4h5h6s", "KdQc8h"], dead="7c 8d 9s")
parts = [vantor_tools.sample(spot, 100_000, seed=seed, threads=2) for seed in (1, 2, 3)]
print(Equity.merge_all(parts))
