# One library per layer of the tree, linked only to what its row of the layer
# table (cmake/layers.txt) names. A layer's headers are reached through a
# folder of the build tree that holds links to them and to nothing else, and a
# library sees the folders of the layers it links and no other: so a file that
# includes a header of a layer above its own, or one its layer may not use,
# fails to compile, as scripts/check-layers also reports. (Windows hosts may
# not make links without developer mode: there every library sees the whole
# tree and only the script checks.)
set(BRIDGE_LAYER_HEADERS ${CMAKE_BINARY_DIR}/layer-headers)

# The table: for each folder (its key: the folder with _ for /),
# BRIDGE_LAYER_<key>_KIND and BRIDGE_LAYER_<key>_INCLUDES; and the single
# headers that some row names, BRIDGE_SINGLE_HEADERS.
set(BRIDGE_LAYER_TABLE ${CMAKE_CURRENT_LIST_DIR}/layers.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BRIDGE_LAYER_TABLE})
file(STRINGS ${BRIDGE_LAYER_TABLE} _bridge_rows REGEX "^[^#]")
set(BRIDGE_SINGLE_HEADERS "")
foreach(_row IN LISTS _bridge_rows)
    string(STRIP "${_row}" _row)
    if(_row STREQUAL "")
        continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" _fields "${_row}")
    list(POP_FRONT _fields _folder _kind)
    list(REMOVE_ITEM _fields "-")
    string(REPLACE "/" "_" _key "${_folder}")
    set(BRIDGE_LAYER_${_key}_KIND ${_kind})
    set(BRIDGE_LAYER_${_key}_INCLUDES ${_fields})
    list(FILTER _fields INCLUDE REGEX "\\.h$")
    list(APPEND BRIDGE_SINGLE_HEADERS ${_fields})
endforeach()
list(REMOVE_DUPLICATES BRIDGE_SINGLE_HEADERS)

# The library of a table entry: a layer's (bridge_platform_serial_win32 for
# platform/serial/win32), or a single header's (bridge_comm_error for
# platform/serial/comm_error.h).
function(bridge_layer_library entry out)
    if(entry MATCHES "\\.h$")
        get_filename_component(stem ${entry} NAME_WE)
        set(${out} bridge_${stem} PARENT_SCOPE)
    else()
        string(REPLACE "/" "_" key "${entry}")
        set(${out} bridge_${key} PARENT_SCOPE)
    endif()
endfunction()

# Makes the folder <build>/layer-headers/<name> with links to the headers at
# `paths` (a folder's own headers, not its subfolders'; "folder/**" for all of
# them; or one header) and adds it to the target's include path.
function(bridge_expose_headers target scope name)
    if(CMAKE_HOST_WIN32)
        target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR})
        return()
    endif()
    set(dir ${BRIDGE_LAYER_HEADERS}/${name})
    file(REMOVE_RECURSE ${dir})
    foreach(path ${ARGN})
        if(path MATCHES "^(.*)/\\*\\*$")
            file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
                 ${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_1}/*.h)
        elseif(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${path})
            file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
                 ${PROJECT_SOURCE_DIR}/${path}/*.h)
        else()
            set(headers ${path})
        endif()
        foreach(header ${headers})
            get_filename_component(folder ${dir}/${header} DIRECTORY)
            file(MAKE_DIRECTORY ${folder})
            file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${header} ${dir}/${header} SYMBOLIC)
        endforeach()
    endforeach()
    target_include_directories(${target} ${scope} ${dir})
endfunction()

# bridge_layer([SOURCES file...]) defines the library of the layer of the
# current folder, as the table gives it; without sources it is headers only.
# A single header of the layer that a row names gets its own library too.
function(bridge_layer)
    cmake_parse_arguments(L "" "" "SOURCES" ${ARGN})
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE "/" "_" key "${folder}")
    if(NOT BRIDGE_LAYER_${key}_KIND MATCHES "^(portable|windows)$")
        message(FATAL_ERROR "${folder}/ has no library layer in cmake/layers.txt")
    endif()
    set(target bridge_${key})
    if(L_SOURCES)
        add_library(${target} STATIC ${L_SOURCES})
        set(scope PUBLIC)
        bridge_set_warnings(${target})
        set_property(GLOBAL APPEND PROPERTY BRIDGE_COMPILED_LAYERS ${target})
    else()
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    endif()
    # Compiled for Windows 7 SP1, the oldest the program supports: a function
    # of a later Windows fails to compile, unless it is looked up at run time
    # with its declarations written locally (precise_wait.cpp,
    # power_throttling.cpp, dpi_scale.cpp). MinGW's headers declare a few
    # newer ones whatever the target (GetSystemTimePreciseAsFileTime, the
    # power-throttling structure): for those scripts/check-imports, which
    # reads bridge.exe's imports, stays the guard.
    if(BRIDGE_LAYER_${key}_KIND STREQUAL "windows")
        target_compile_definitions(${target} ${scope} WIN32_LEAN_AND_MEAN NOMINMAX
                                   _WIN32_WINNT=0x0601 WINVER=0x0601)
    endif()
    foreach(entry IN LISTS BRIDGE_LAYER_${key}_INCLUDES)
        bridge_layer_library(${entry} library)
        target_link_libraries(${target} ${scope} ${library})
    endforeach()
    bridge_expose_headers(${target} ${scope} ${key} ${folder})
    foreach(header IN LISTS BRIDGE_SINGLE_HEADERS)
        get_filename_component(header_folder ${header} DIRECTORY)
        if(header_folder STREQUAL folder)
            bridge_layer_library(${header} library)
            get_filename_component(stem ${header} NAME_WE)
            add_library(${library} INTERFACE)
            bridge_expose_headers(${library} INTERFACE ${stem} ${header})
        endif()
    endforeach()
endfunction()
