# Compiles map_signatures.cpp as it is (must succeed) and with each wrong entry (each must fail
# at the map entry's handler conversion). Run by ctest with -DCXX=... -DSRC=... -DINCLUDE=... and
# -DINCLUDE2=... (the base library's headers, which the layer's application header uses).
set(flags -std=c++17 -fsyntax-only -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601 -DNOMINMAX -DSTRICT
          -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers -Wcast-function-type -Werror -I${INCLUDE} -I${INCLUDE2})
execute_process(COMMAND ${CXX} ${flags} ${SRC} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the map with correct handlers does not compile:\n${err}")
endif()
foreach(n RANGE 1 10)
    execute_process(COMMAND ${CXX} ${flags} -DKV_WRONG=${n} ${SRC} RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(rc EQUAL 0)
        message(FATAL_ERROR "wrong handler case ${n} compiled")
    endif()
    if(NOT err MATCHES "HandlerOf")
        message(FATAL_ERROR "wrong handler case ${n} failed for another reason:\n${err}")
    endif()
endforeach()
message(STATUS "a correct map compiles, all 10 wrong handlers are refused")
