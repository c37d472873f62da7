fk_fuzz_target(module_reply ${CMAKE_CURRENT_LIST_DIR}/ModuleReplyFuzz.cpp fk_module)
