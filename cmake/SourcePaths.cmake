# The release build (preset mingw) names no folder of the machine that built
# it: the source tree's path in the objects (file names of assertions and
# debug information) becomes ".", so that a clone in any folder builds the same
# bytes. A compile option is one argument, which the generator quotes, so a
# path with spaces stays whole (in a flags string it would be split).
option(BRIDGE_NO_SOURCE_PATHS "Name the source tree \".\" in the objects, not by its folder" OFF)
if(BRIDGE_NO_SOURCE_PATHS)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>")
endif()
