# One library per layer of the tree, linked only to the layers below it. A
# layer's headers are reached through a folder of the build tree that holds
# links to them and to nothing else, and a library sees the folders of the
# layers it links and no other: so a file that includes a header of a layer
# above its own, or one its layer may not use, fails to compile, as
# scripts/check-layers also reports. (Windows hosts may not make links
# without developer mode: there every library sees the whole tree and only the
# script checks.)
set(BRIDGE_LAYER_HEADERS ${CMAKE_BINARY_DIR}/layer-headers)

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

# bridge_layer(name [SOURCES file...] [EXPOSE path...] [LINKS layer...])
# defines the library bridge_<name>; without sources it is headers only.
# EXPOSE defaults to the layer's folder.
function(bridge_layer name)
    cmake_parse_arguments(L "" "" "SOURCES;EXPOSE;LINKS" ${ARGN})
    set(target bridge_${name})
    if(L_SOURCES)
        add_library(${target} STATIC ${L_SOURCES})
        set(scope PUBLIC)
        bridge_set_warnings(${target})
        set_property(GLOBAL APPEND PROPERTY BRIDGE_COMPILED_LAYERS ${target})
    else()
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    endif()
    list(TRANSFORM L_LINKS PREPEND bridge_)
    target_link_libraries(${target} ${scope} ${L_LINKS})
    if(NOT L_EXPOSE)
        file(RELATIVE_PATH L_EXPOSE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    bridge_expose_headers(${target} ${scope} ${name} ${L_EXPOSE})
endfunction()
