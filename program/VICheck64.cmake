# VICheck64.exe: the main program, made from the shell and the resources.
if(KV_X64 AND TARGET shell)
    add_executable(VICheck64 WIN32 ${CMAKE_CURRENT_LIST_DIR}/shell/VICheck64Main.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/res/VICheck64.rc)
    target_link_libraries(VICheck64 PRIVATE shell)
    target_link_options(VICheck64 PRIVATE -municode)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/res/VICheck64.rc PROPERTIES
        OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/res/VICheck64.manifest;${CMAKE_CURRENT_LIST_DIR}/res/resource.h;${CMAKE_CURRENT_LIST_DIR}/res/VICheck64.ico;${CMAKE_CURRENT_LIST_DIR}/res/wait.avi;${CMAKE_CURRENT_LIST_DIR}/res/toolbar.bmp;${CMAKE_CURRENT_LIST_DIR}/res/node_icons.bmp;${CMAKE_CURRENT_LIST_DIR}/res/categories.bmp;${CMAKE_CURRENT_LIST_DIR}/res/reportwin.rc;${CMAKE_CURRENT_LIST_DIR}/res/reportwin_ids.h;${CMAKE_CURRENT_LIST_DIR}/res/texts.rc;${CMAKE_CURRENT_LIST_DIR}/res/texts_ids.h")
endif()
