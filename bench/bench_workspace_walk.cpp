// Benchmarks of the workspace walk; see bench_workspace_main.cpp for how to run them.
