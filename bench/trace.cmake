fk_benchmark(trace ${CMAKE_CURRENT_LIST_DIR}/TraceBench.cpp fk_connection)
