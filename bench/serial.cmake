fk_benchmark(serial SerialPortBench.cpp fk_ports)
