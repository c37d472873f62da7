fk_benchmark(connection ${CMAKE_CURRENT_LIST_DIR}/ConnectionBench.cpp fk_connection)
