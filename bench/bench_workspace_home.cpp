// Benchmarks of the workspace home; see bench_workspace_main.cpp for how to run them.
