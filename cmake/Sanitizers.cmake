# ASan+UBSan for the native test build: every target of the tree gets them, so
# the portable logic is checked wherever a test reaches it. The fuzz build
# (clang) uses the same sanitizers, optimised a little for speed; libFuzzer's
# coverage instrumentation goes only where the fuzz targets ask for it
# (tests/fuzz). One set of flags only: BRIDGE_FUZZ takes the place of
# BRIDGE_SANITIZE. The fuzz build also checks every index into the standard
# library's arrays, spans and vectors: an index past the end within one object
# (a buffer of the bridge state, the request block inside its section) is out
# of AddressSanitizer's sight.
if(BRIDGE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "BRIDGE_FUZZ needs clang (the fuzz preset)")
    endif()
    add_compile_options(-O1 -fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS)
    add_link_options(-fsanitize=address,undefined)
    if(BRIDGE_FUZZ_COVERAGE)
        add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
        add_link_options(-fprofile-instr-generate)
    endif()
elseif(BRIDGE_SANITIZE AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
