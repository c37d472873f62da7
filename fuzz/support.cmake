fk_fuzz_target(support_language_table ${CMAKE_CURRENT_LIST_DIR}/LanguageTableFuzz.cpp fk_support fk_platform)
fk_fuzz_target(support_version_block ${CMAKE_CURRENT_LIST_DIR}/VersionBlockFuzz.cpp fk_support fk_platform)
