# Settings and helpers shared by every module of the tree.
if(NOT DEFINED KV_ARCH)
    message(FATAL_ERROR "Configure with a preset (x64 or x86): the build is for Windows only.")
endif()
set(KV_X64 OFF)
set(KV_X86 OFF)
if(KV_ARCH STREQUAL "x64")
    set(KV_X64 ON)
else()
    set(KV_X86 ON)
endif()

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)

find_program(KV_CCACHE ccache)
if(KV_CCACHE)
    set(CMAKE_C_COMPILER_LAUNCHER ${KV_CCACHE})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${KV_CCACHE})
endif()

# Every binary of one architecture lands in one folder that runs as it is on Windows: the shared
# C++ run-time is staged beside them, since standard-library objects cross module boundaries.
set(KV_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${KV_BIN_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${KV_BIN_DIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
file(MAKE_DIRECTORY ${KV_BIN_DIR})
file(COPY ${KV_RUNTIME_DLLS} DESTINATION ${KV_BIN_DIR})

add_compile_definitions(
    UNICODE _UNICODE
    __USE_MINGW_ANSI_STDIO=0
    _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800
    NOMINMAX STRICT)
include_directories(${CMAKE_SOURCE_DIR}/Common/Include)
add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wall>
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wno-unused-parameter>
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wno-missing-field-initializers>
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wcast-function-type>)
# windres reads the UTF-8 resource scripts; keep its preprocessor in step with the compiler's.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
# No MSVC-style import library prefix: linkers on both sides find "foo.dll" through "libfoo.dll.a".
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "lib")

# GoogleTest, built with the cross compiler from Debian's sources.
set(KV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${KV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
        target_compile_options(${t} PRIVATE -w)
    endif()
endforeach()

enable_testing()
set(KV_WINE_EXEC ${CMAKE_SOURCE_DIR}/scripts/wine-exec)

# Windows path of a host path, as Wine's drive Z: shows it.
function(kv_winpath out path)
    string(REPLACE "/" "\\" p "${path}")
    set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# kv_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [WINDOWS] [TIMEOUT s] [NO_GTEST_MAIN])
# Builds a GoogleTest executable into the bin folder and registers it with ctest, run under Wine.
# The test sees KV_SOURCE_DIR, KV_BIN_DIR and KV_TEST_TMP (a scratch folder of its own) as
# Windows paths. WINDOWS marks a test that creates windows (it needs the X display).
function(kv_add_test name)
    cmake_parse_arguments(T "WINDOWS;NO_GTEST_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS;DEPENDS;LOCKS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(T_NO_GTEST_MAIN)
        target_link_libraries(${name} PRIVATE gtest gmock ${T_LIBS})
    else()
        target_link_libraries(${name} PRIVATE gtest gmock gtest_main ${T_LIBS})
    endif()
    target_compile_options(${name} PRIVATE -Wno-sign-compare)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    set(tmp ${CMAKE_BINARY_DIR}/testtmp/${name})
    file(MAKE_DIRECTORY ${tmp})
    kv_winpath(w_src ${CMAKE_SOURCE_DIR})
    kv_winpath(w_bin ${KV_BIN_DIR})
    kv_winpath(w_tmp ${tmp})
    add_test(NAME ${KV_ARCH}.${name}
             COMMAND ${KV_WINE_EXEC} $<TARGET_FILE:${name}> --gtest_color=no
             WORKING_DIRECTORY ${KV_BIN_DIR})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    set(labels ${KV_ARCH} ${T_LABELS})
    if(T_WINDOWS)
        list(APPEND labels windows)
    endif()
    set_tests_properties(${KV_ARCH}.${name} PROPERTIES
        LABELS "${labels}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "KV_SOURCE_DIR=${w_src};KV_BIN_DIR=${w_bin};KV_TEST_TMP=${w_tmp};KV_ARCH=${KV_ARCH}")
    # Tests that share one place of the prefix (the board's store folder on drive C:) never run at
    # the same time: LOCKS names such places.
    if(T_LOCKS)
        set_tests_properties(${KV_ARCH}.${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
endfunction()

# kv_stage(<target> <files...>): copies data files (templates, fixtures) beside the binaries.
function(kv_stage target)
    foreach(f ${ARGN})
        get_filename_component(n ${f} NAME)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${KV_BIN_DIR}/${n})
    endforeach()
endfunction()
