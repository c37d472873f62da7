fk_benchmark(upload UploadBench.cpp fk_cli fk_sim)
