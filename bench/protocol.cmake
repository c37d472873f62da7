fk_benchmark(protocol ${CMAKE_CURRENT_LIST_DIR}/ProtocolBench.cpp fk_protocol)
