fk_benchmark(md5 Md5Bench.cpp fk_support)
