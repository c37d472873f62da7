fk_benchmark(prectimer PrecTimerBench.cpp fk_ports)
