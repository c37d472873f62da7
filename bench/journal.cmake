fk_benchmark(journal ${CMAKE_CURRENT_LIST_DIR}/JournalBench.cpp fk_session)
