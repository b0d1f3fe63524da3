// Benchmarks of the workspace search; see bench_workspace_main.cpp for how to run them.
