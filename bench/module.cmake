fk_benchmark(module ModuleBench.cpp fk_module fk_sim Qt6::Core)
