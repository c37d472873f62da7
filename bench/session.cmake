fk_benchmark(session SessionBench.cpp fk_cli fk_sim)
