fk_fuzz_target(session_firmware_image ${CMAKE_CURRENT_LIST_DIR}/FirmwareImageFuzz.cpp fk_session)
