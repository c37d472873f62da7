fk_fuzz_target(platform_registry ${CMAKE_CURRENT_LIST_DIR}/RegistryFuzz.cpp fk_platform)
