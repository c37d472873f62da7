# Fuzz targets. Each fuzz/<name>.cmake calls fk_fuzz_target(NAME SOURCE LIBS ...), where SOURCE
# defines LLVMFuzzerTestOneInput. The same target is built two ways:
#  - with -DFK_FUZZ=ON (clang): fuzz_NAME, a libFuzzer program with address and undefined
#    sanitizers; the sources of LIBS are compiled into it so that libFuzzer sees their coverage;
#  - in every test build: replay_NAME, the same entry point with a plain main that feeds it each
#    file of fuzz/corpus/NAME once, registered with ctest under the label fuzz-replay.
set(FK_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR}/../fuzz)
get_filename_component(FK_FUZZ_DIR ${FK_FUZZ_DIR} ABSOLUTE)

function(fk_fuzz_target name source)
  if(FK_FUZZ_REPLAY)
    add_executable(replay_${name} ${source} ${FK_FUZZ_DIR}/ReplayMain.cpp)
    target_link_libraries(replay_${name} PRIVATE ${ARGN})
    add_test(NAME fuzz_replay_${name} COMMAND replay_${name} ${FK_FUZZ_DIR}/corpus/${name})
    set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS fuzz-replay TIMEOUT 300)
    return()
  endif()
  set(instrumented)
  set(deps)
  foreach(lib IN LISTS ARGN)
    get_target_property(srcs ${lib} SOURCES)
    list(APPEND instrumented ${srcs})
    get_target_property(libdeps ${lib} LINK_LIBRARIES)
    if(libdeps)
      list(APPEND deps ${libdeps})
    endif()
  endforeach()
  add_executable(fuzz_${name} ${source} ${instrumented})
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(fuzz_${name} PRIVATE ${deps})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  if(TARGET fk_fuzz_all)
    add_dependencies(fk_fuzz_all fuzz_${name})
  endif()
endfunction()

# Builds the replay programs of every fuzz target (called from tests/).
function(fk_fuzz_replays)
  set(FK_FUZZ_REPLAY ON)
  file(GLOB parts CONFIGURE_DEPENDS ${FK_FUZZ_DIR}/*.cmake)
  foreach(part IN LISTS parts)
    include(${part})
  endforeach()
endfunction()
