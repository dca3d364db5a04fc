"""The simulated barrier board: one dravel service with the board's daemons,
in a mount namespace of its own, driven by a scenario (see sim/board --help)."""
