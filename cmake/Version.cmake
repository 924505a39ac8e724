# The program's version, from git, in one place: the last release tag
# vMAJOR.MINOR or vMAJOR.MINOR.BUILD before the commit, plus the commits since
# it, gives MAJOR.MINOR.BUILD (v1.1 and 12 commits give 1.1.12). The
# executable's version resource, the installer and the artifacts' names carry
# it; the main window keeps its own "Version 1.1".
#
# Without a reachable tag (a shallow clone, a tarball) the build still gets a
# version, the project's MAJOR.MINOR with the commit count, and says so.
#
# Sets BRIDGE_VERSION and BRIDGE_VERSION_MAJOR/MINOR/BUILD.
find_package(Git QUIET)

function(bridge_git out)
    set(${out} "" PARENT_SCOPE)
    if(NOT GIT_FOUND)
        return()
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} ${ARGN}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE output RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed)
        set(${out} "${output}" PARENT_SCOPE)
    endif()
endfunction()

bridge_git(_describe describe --tags --match "v[0-9]*" --long --abbrev=12 HEAD)
if(_describe MATCHES "^v([0-9]+)\\.([0-9]+)(\\.([0-9]+))?-([0-9]+)-g[0-9a-f]+$")
    set(BRIDGE_VERSION_MAJOR ${CMAKE_MATCH_1})
    set(BRIDGE_VERSION_MINOR ${CMAKE_MATCH_2})
    set(_tag_build 0)
    if(CMAKE_MATCH_4)
        set(_tag_build ${CMAKE_MATCH_4})
    endif()
    math(EXPR BRIDGE_VERSION_BUILD "${_tag_build} + ${CMAKE_MATCH_5}")
else()
    bridge_git(_count rev-list --count HEAD)
    if(NOT _count)
        set(_count 0)
    endif()
    set(BRIDGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
    set(BRIDGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
    set(BRIDGE_VERSION_BUILD ${_count})
    message(WARNING "No release tag (v*) is reachable from this checkout: the version "
                    "is the project's ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR} "
                    "and the commit count ${_count}, not counted from a release")
endif()

# Windows Installer compares MAJOR.MINOR.BUILD and allows 255.255.65535.
if(BRIDGE_VERSION_MAJOR GREATER 255 OR BRIDGE_VERSION_MINOR GREATER 255
   OR BRIDGE_VERSION_BUILD GREATER 65535)
    message(FATAL_ERROR "Version ${BRIDGE_VERSION_MAJOR}.${BRIDGE_VERSION_MINOR}."
                        "${BRIDGE_VERSION_BUILD} is beyond 255.255.65535: tag a new release")
endif()
set(BRIDGE_VERSION "${BRIDGE_VERSION_MAJOR}.${BRIDGE_VERSION_MINOR}.${BRIDGE_VERSION_BUILD}")

# A new commit or checkout configures again (a new tag alone waits for the
# next configuration, which scripts/release always runs).
bridge_git(_head_log rev-parse --path-format=absolute --git-path logs/HEAD)
if(_head_log AND EXISTS ${_head_log})
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_head_log})
endif()
