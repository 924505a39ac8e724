# The pty tools are Linux programs that the Windows-side tests need under
# Wine. In the cross build they are compiled with the host's C compiler into
# <build>/host/. Defines BRIDGE_PTY_MODEM_LIB and BRIDGE_PTY_PAIR.
find_program(BRIDGE_HOST_CC NAMES cc gcc REQUIRED)
set(_host_dir ${CMAKE_BINARY_DIR}/host)
set(BRIDGE_PTY_MODEM_LIB ${_host_dir}/libpty_modem.so CACHE INTERNAL "")
set(BRIDGE_PTY_PAIR ${_host_dir}/pty_pair CACHE INTERNAL "")
set(_src ${PROJECT_SOURCE_DIR}/tools)
add_custom_command(OUTPUT ${BRIDGE_PTY_MODEM_LIB}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_host_dir}
    COMMAND ${BRIDGE_HOST_CC} -O2 -Wall -Wextra -Werror -shared -fPIC
            -o ${BRIDGE_PTY_MODEM_LIB} ${_src}/pty_modem/pty_modem.c -ldl
    DEPENDS ${_src}/pty_modem/pty_modem.c
    COMMENT "Building the host library libpty_modem.so")
add_custom_command(OUTPUT ${BRIDGE_PTY_PAIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_host_dir}
    COMMAND ${BRIDGE_HOST_CC} -O2 -Wall -Wextra -Werror
            -o ${BRIDGE_PTY_PAIR} ${_src}/pty_pair/pty_pair.c
    DEPENDS ${_src}/pty_pair/pty_pair.c
    COMMENT "Building the host program pty_pair")
add_custom_target(host_pty_tools ALL DEPENDS ${BRIDGE_PTY_MODEM_LIB} ${BRIDGE_PTY_PAIR})
