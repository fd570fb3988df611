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

# One compiler cache serves every clone of the tree (scripts/lib.sh points it at one folder and
# makes paths under the clone relative). With debugging information the compiler records the
# build folder, and ccache then keys each object on it: mapping the clone's root away makes the
# objects of two clones the same, so a fresh clone reuses what another compiled.
find_program(KV_CCACHE ccache)
if(KV_CCACHE)
    set(CMAKE_C_COMPILER_LAUNCHER ${KV_CCACHE})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${KV_CCACHE})
endif()
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>)

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
    target_compile_options(${t} PRIVATE -w)
endforeach()

enable_testing()
set(KV_WINE_EXEC ${CMAKE_SOURCE_DIR}/scripts/wine-exec)

# Windows path of a host path, as Wine's drive Z: shows it.
function(kv_winpath out path)
    string(REPLACE "/" "\\" p "${path}")
    set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# kv_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [WINDOWS] [TIMEOUT s] [NO_GTEST_MAIN]
#             [SHARDS n] [SCREEN] [LOCKS ...] [DEPENDS ...] [ENV VAR=value ...])
# Builds a GoogleTest executable into the bin folder and registers it with ctest, run under Wine.
# The test sees KV_SOURCE_DIR, KV_BIN_DIR and KV_TEST_TMP (a scratch folder of its own) as
# Windows paths, and the variables ENV sets. WINDOWS marks a test that creates windows (it needs
# the X display).
#
# SHARDS n registers the program as n ctest entries, <arch>.<name>.1 to <arch>.<name>.n, each
# running every n-th of its cases (GoogleTest's GTEST_TOTAL_SHARDS and GTEST_SHARD_INDEX), so the
# cases of one long program spread over the processors; every case runs in exactly one entry.
#
# A WINDOWS test runs on a virtual display of its own: the Wine processes of other entries have
# servers of their own, and a window of theirs taking the display's input focus would take the
# keyboard focus and activation from this test's windows. SCREEN marks a test whose pictures are
# copies of the screen (on its own display too, so no other test's window can cover what it copies,
# and it need not run alone); it is started before the others.
#
# Every entry runs in a Wine prefix of its own (scripts/wine-exec copies the run's prefix for it),
# with its own wineserver: its registry (the program's profile key, the tests' own keys), its drive
# C: (the board folder C:\Varno, the assemblies a test puts in WinSxS), the installer's database
# and the services and start-up entries are its alone, and nothing one test leaves in its prefix
# is seen by another. The places of the prefix that tests once shared under a lock
# (KV_PREFIX_PLACES) need no lock then; LOCKS still keeps apart tests that share a place outside
# the prefix.
set(KV_PREFIX_PLACES varno_store_folder windows_templates_prefix msi_packages report_settings)
function(kv_add_test name)
    cmake_parse_arguments(T "WINDOWS;NO_GTEST_MAIN;SCREEN" "TIMEOUT;SHARDS" "SOURCES;LIBS;LABELS;DEPENDS;LOCKS;ENV" ${ARGN})
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
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    if(NOT T_SHARDS)
        set(T_SHARDS 1)
    endif()
    set(labels ${KV_ARCH} ${T_LABELS})
    if(T_WINDOWS)
        list(APPEND labels windows)
    endif()
    set(locks ${T_LOCKS})
    if(locks)
        list(REMOVE_ITEM locks ${KV_PREFIX_PLACES})
    endif()
    kv_winpath(w_src ${CMAKE_SOURCE_DIR})
    kv_winpath(w_bin ${KV_BIN_DIR})
    foreach(shard RANGE 1 ${T_SHARDS})
        if(T_SHARDS EQUAL 1)
            set(entry ${name})
        else()
            set(entry ${name}.${shard})
        endif()
        set(tmp ${CMAKE_BINARY_DIR}/testtmp/${entry})
        file(MAKE_DIRECTORY ${tmp})
        kv_winpath(w_tmp ${tmp})
        add_test(NAME ${KV_ARCH}.${entry}
                 COMMAND ${KV_WINE_EXEC} $<TARGET_FILE:${name}> --gtest_color=no
                 WORKING_DIRECTORY ${KV_BIN_DIR})
        set(env "KV_SOURCE_DIR=${w_src};KV_BIN_DIR=${w_bin};KV_TEST_TMP=${w_tmp};KV_ARCH=${KV_ARCH}"
                "KV_TEST_PREFIX=${CMAKE_BINARY_DIR}/testprefix/${entry}" ${T_ENV})
        if(T_SCREEN OR T_WINDOWS)
            list(APPEND env "KV_OWN_DISPLAY=1")
        endif()
        if(T_SHARDS GREATER 1)
            math(EXPR index "${shard} - 1")
            list(APPEND env "GTEST_TOTAL_SHARDS=${T_SHARDS}" "GTEST_SHARD_INDEX=${index}")
        endif()
        # Without timings of an earlier run (a fresh clone) ctest starts the entries of higher COST
        # first: the screen and window tests, the long ones, so they do not end the run alone.
        set(cost 0)
        if(T_SCREEN)
            set(cost 2)
        elseif(T_WINDOWS)
            set(cost 1)
        endif()
        set_tests_properties(${KV_ARCH}.${entry} PROPERTIES
            LABELS "${labels}"
            TIMEOUT ${T_TIMEOUT}
            COST ${cost}
            ENVIRONMENT "${env}")
        if(locks)
            set_tests_properties(${KV_ARCH}.${entry} PROPERTIES RESOURCE_LOCK "${locks}")
        endif()
    endforeach()
endfunction()

# kv_stage(<target> <files...>): copies data files (templates, fixtures) beside the binaries.
function(kv_stage target)
    foreach(f ${ARGN})
        get_filename_component(n ${f} NAME)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${KV_BIN_DIR}/${n})
    endforeach()
endfunction()

# kv_library_resources(<library> <script> [DEPENDS <files>...]): the resource script of a static
# library (the texts its code shows), compiled once and linked into every program and DLL that
# links the library, directly or through other libraries. A static library cannot carry resources
# of its own (an archive member without symbols is never taken), and a module that links the
# library without its script would show empty texts; so no module's own script includes it, and
# none can be without it. The object is a link item of the library's interface, not an interface
# source: link items reach the modules also through a PRIVATE link of another static library
# (interface sources stop there). The script reads the library's include folders; DEPENDS names
# the files it includes (the resource compiler reports none of them to the build).
function(kv_library_resources lib script)
    cmake_parse_arguments(R "" "" "DEPENDS" ${ARGN})
    set(res ${lib}_resources)
    add_library(${res} OBJECT ${script})
    target_include_directories(${res} PRIVATE $<TARGET_PROPERTY:${lib},INTERFACE_INCLUDE_DIRECTORIES>)
    if(R_DEPENDS)
        set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${R_DEPENDS}")
    endif()
    set(type $<TARGET_PROPERTY:TYPE>)
    set(module $<OR:$<STREQUAL:${type},EXECUTABLE>,$<STREQUAL:${type},SHARED_LIBRARY>,$<STREQUAL:${type},MODULE_LIBRARY>>)
    target_link_libraries(${lib} INTERFACE $<${module}:$<TARGET_OBJECTS:${res}>>)
endfunction()

# kv_write_link_table(): writes <build>/kv-links.txt, a line for each target of the tree: its name,
# type, source folder and direct links (LINK_LIBRARIES and INTERFACE_LINK_LIBRARIES), tab-separated.
# scripts/check-order holds the links to the tree's order with it: CMake's file API leaves INTERFACE
# libraries out. Called once every folder is added.
function(kv_write_link_table)
    set(text "")
    set(dirs ${CMAKE_SOURCE_DIR})
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND dirs ${subdirs})
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(t IN LISTS targets)
            get_target_property(type ${t} TYPE)
            set(links "")
            if(NOT type STREQUAL "INTERFACE_LIBRARY")
                get_target_property(links ${t} LINK_LIBRARIES)
            endif()
            get_target_property(interface_links ${t} INTERFACE_LINK_LIBRARIES)
            set(all "")
            foreach(l IN LISTS links interface_links)
                if(l AND NOT l MATCHES "-NOTFOUND$")
                    list(APPEND all "${l}")
                endif()
            endforeach()
            list(REMOVE_DUPLICATES all)
            string(APPEND text "${t}\t${type}\t${dir}\t${all}\n")
        endforeach()
    endwhile()
    file(WRITE ${CMAKE_BINARY_DIR}/kv-links.txt "${text}")
endfunction()
