fk_fuzz_target(protocol_scan1 ${CMAKE_CURRENT_LIST_DIR}/ScanPacket1Fuzz.cpp fk_protocol)
fk_fuzz_target(protocol_scan2 ${CMAKE_CURRENT_LIST_DIR}/ScanPacket2Fuzz.cpp fk_protocol)
fk_fuzz_target(protocol_raw_packet ${CMAKE_CURRENT_LIST_DIR}/RawPacketFuzz.cpp fk_protocol)
