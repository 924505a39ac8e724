# GoogleTest: the distribution's package natively, built from /usr/src/googletest
# with the cross compiler for Windows; a native Windows build finds its own.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)  # defines GTest::gtest
else()
    find_package(GTest REQUIRED)
    find_package(benchmark QUIET)
endif()

# Natively each test is a ctest entry of its own, so the output names every
# test that ran (and one that skipped); a regressed waiting loop may spin
# without dispatching, so each fails after two minutes rather than hang. Under
# Wine one ctest entry per executable: a Wine process start costs a second or
# two, so Windows-side tests are grouped into few executables. There VARIANTS
# suffix filter ... makes one entry per variant instead, <name>_<suffix>,
# running the tests of its gtest filter.
include(GoogleTest)
function(bridge_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;VARIANTS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    bridge_set_warnings(${name})
    if(NOT WIN32)
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS ${name})
    elseif(NOT T_VARIANTS)
        add_test(NAME ${name} COMMAND ${name})
    endif()
    while(T_VARIANTS)
        list(POP_FRONT T_VARIANTS suffix filter)
        add_test(NAME ${name}_${suffix} COMMAND ${name} --gtest_filter=${filter})
    endwhile()
endfunction()
