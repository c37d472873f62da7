# fk_library(NAME DEPS ...): a static library fk_NAME from every .cpp file in src/NAME.
# Dependencies that do not exist yet (folders without sources) are skipped.
function(fk_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_library(fk_${name} STATIC ${srcs})
  target_include_directories(fk_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(dep IN LISTS A_DEPS)
    if(TARGET ${dep} OR dep MATCHES "::")
      target_link_libraries(fk_${name} PUBLIC ${dep})
    endif()
  endforeach()
endfunction()

# fk_test_suite(NAME LIBS ... [THREADED] [GUI] [END_TO_END]): the test program test_NAME from
# every .cpp in tests/NAME, registered test by test with ctest. THREADED suites are also built
# and run under thread sanitizer (FK_TSAN); in that build only they are built. END_TO_END
# suites drive real programs against the simulator: label end-to-end, the only tests that
# scripts/run-tests tries a second time. GUI suites run in a
# full QApplication (offscreen) and their screenshot tests (names containing "Screenshot")
# run a second time at twice the density (QT_SCALE_FACTOR=2, 192 dpi).
function(fk_test_suite name)
  cmake_parse_arguments(A "THREADED;OWN_MAIN;GUI;END_TO_END" "" "LIBS" ${ARGN})
  if(FK_TSAN AND NOT A_THREADED)
    return()
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  foreach(dep IN LISTS A_LIBS)
    if(TARGET ${dep} OR dep MATCHES "::")
      target_link_libraries(test_${name} PRIVATE ${dep})
    endif()
  endforeach()
  if(A_GUI)
    target_link_libraries(test_${name} PRIVATE fk_guitestmain)
  elseif(NOT A_OWN_MAIN)
    target_link_libraries(test_${name} PRIVATE fk_testmain)
  endif()
  target_link_libraries(test_${name} PRIVATE GTest::gmock GTest::gtest)
  target_compile_definitions(test_${name} PRIVATE
    FK_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/${name}/data"
    FK_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
  set(labels ${name})
  if(A_THREADED)
    list(APPEND labels threads)
  endif()
  if(A_END_TO_END)
    list(APPEND labels end-to-end)
  endif()
  gtest_discover_tests(test_${name}
    DISCOVERY_TIMEOUT 120
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 300
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # The labels are set on the discovered tests after their discovery: a list given through
  # gtest_discover_tests' PROPERTIES is flattened, so every label after the first was lost.
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/test_${name}_labels.cmake)
  file(WRITE ${labels_file}
       "if(DEFINED test_${name}_TESTS)\n  set_tests_properties(\${test_${name}_TESTS} PROPERTIES LABELS \"${labels}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
  if(A_GUI)
    add_test(NAME ${name}.Screenshots@192dpi
             COMMAND test_${name} --gtest_filter=*Screenshot*)
    set_tests_properties(${name}.Screenshots@192dpi PROPERTIES
      LABELS "${labels};screenshots" TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2")
  endif()
endfunction()

# fk_add_version_block(TARGET DESCRIPTION): embeds the program's version block (product version =
# the project's version, original file name = the target's output name, file date = the time of
# the build) in its ELF section ".fk_version", where TVersionInfo and `--version` read it. The
# block is made again whenever the program's own sources or any of its libraries change, so its
# date is that of the build that made the program. Call it after the target's libraries are
# linked.
function(fk_program_inputs target out)
  set(seen)
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue t)
    get_target_property(libs ${t} LINK_LIBRARIES)
    foreach(lib IN LISTS libs)
      if(lib MATCHES "^fk_" AND TARGET ${lib} AND NOT lib IN_LIST seen)
        list(APPEND seen ${lib})
        list(APPEND queue ${lib})
      endif()
    endforeach()
  endwhile()
  get_target_property(srcs ${target} SOURCES)
  set(files)
  foreach(src IN LISTS srcs)
    get_filename_component(abs ${src} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND files ${abs})
  endforeach()
  set(${out} ${seen} ${files} PARENT_SCOPE)
endfunction()

function(fk_add_version_block target description)
  if(NOT TARGET fk_make_version_block)
    add_executable(fk_make_version_block ${PROJECT_SOURCE_DIR}/scripts/make-version-block.cpp)
    target_link_libraries(fk_make_version_block PRIVATE fk_support)
  endif()
  fk_program_inputs(${target} inputs)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND fk_make_version_block ${out} ${PROJECT_VERSION} ${target} "${description}"
    DEPENDS fk_make_version_block ${inputs}
    COMMENT "Version block of ${target}" VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
