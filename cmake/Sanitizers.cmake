# ASan+UBSan for the native test build: every target of the tree gets them, so
# the portable logic is checked wherever a test reaches it.
if(BRIDGE_SANITIZE AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
