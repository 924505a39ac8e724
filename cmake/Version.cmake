# The program's version, MAJOR.MINOR.BUILD, from the tree alone: the release
# number MAJOR.MINOR is the file VERSION at the top, and BUILD is the number
# of commits in the whole history (git rev-list --count HEAD). Every clone of
# a commit, with tags or without, so numbers it the same, and every later
# commit higher, which is the order Windows Installer upgrades by. The
# executable's version resource, the installer and the artifacts' names carry
# it; the main window keeps its own "Version 1.1".
#
# A shallow clone cannot count its commits, nor can a tree without git: the
# configuration stops and says so rather than make up a number.
#
# Sets BRIDGE_VERSION and BRIDGE_VERSION_MAJOR/MINOR/BUILD.
file(READ ${PROJECT_SOURCE_DIR}/VERSION _release)
string(STRIP "${_release}" _release)
if(NOT _release MATCHES "^([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "VERSION holds \"${_release}\": it must be the release number, MAJOR.MINOR")
endif()
set(BRIDGE_VERSION_MAJOR ${CMAKE_MATCH_1})
set(BRIDGE_VERSION_MINOR ${CMAKE_MATCH_2})

find_package(Git QUIET)
if(NOT GIT_FOUND)
    message(FATAL_ERROR "git is needed: the build number is the commit count of the history")
endif()

function(bridge_git out)
    execute_process(COMMAND ${GIT_EXECUTABLE} ${ARGN}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE output RESULT_VARIABLE failed ERROR_VARIABLE error
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
    if(failed)
        message(FATAL_ERROR "git ${ARGN} failed in ${PROJECT_SOURCE_DIR}: ${error}\n"
                            "The build number is the commit count of the history: build "
                            "from a git clone")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

bridge_git(_shallow rev-parse --is-shallow-repository)
if(_shallow STREQUAL "true")
    message(FATAL_ERROR "This is a shallow clone (git clone --depth): the build number is the "
                        "commit count of the whole history, which it does not have. Fetch the "
                        "history with \"git fetch --unshallow\", or clone without --depth.")
endif()
bridge_git(BRIDGE_VERSION_BUILD rev-list --count HEAD)

# Windows Installer compares MAJOR.MINOR.BUILD and allows 255.255.65535.
if(BRIDGE_VERSION_MAJOR GREATER 255 OR BRIDGE_VERSION_MINOR GREATER 255
   OR BRIDGE_VERSION_BUILD GREATER 65535)
    message(FATAL_ERROR "Version ${BRIDGE_VERSION_MAJOR}.${BRIDGE_VERSION_MINOR}."
                        "${BRIDGE_VERSION_BUILD} is beyond Windows Installer's 255.255.65535")
endif()
set(BRIDGE_VERSION "${BRIDGE_VERSION_MAJOR}.${BRIDGE_VERSION_MINOR}.${BRIDGE_VERSION_BUILD}")

# A new commit or checkout configures again, and so does a new release number.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/VERSION)
bridge_git(_head_log rev-parse --path-format=absolute --git-path logs/HEAD)
if(EXISTS ${_head_log})
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_head_log})
endif()
