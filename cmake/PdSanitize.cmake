# PD_SANITIZE builds every target of the tree (libraries, the program, tests and the helpers the tests
# start) with AddressSanitizer and UndefinedBehaviorSanitizer. It has to be set before the folders
# are added: the flags are directory-wide so that no target can miss them.
option(PD_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(PD_SANITIZE)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        message(FATAL_ERROR "PD_SANITIZE needs g++ or clang++")
    endif()
    # No recovery: a finding ends the process, so the test that met it fails. The frame pointers
    # give whole stacks in the reports and in the leak reports. The library assertions check
    # indices into the standard containers, which the address checks miss inside one allocation.
    set(PD_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${PD_SANITIZE_FLAGS} -D_GLIBCXX_ASSERTIONS)
    add_link_options(${PD_SANITIZE_FLAGS})
    add_library(pd_sanitize_leak_check_on_close OBJECT ${CMAKE_CURRENT_LIST_DIR}/leakcheckonclose.cpp)
    add_link_options(LINKER:--export-dynamic-symbol=dlclose)

    # The run-time options every sanitized process gets from the tests, children included (they
    # inherit the environment). A finding aborts the process: a crash is told apart from an ordinary
    # failing exit code, which a test of a child's error path may expect. Leak checks are on; the
    # suppressions name third-party libraries only.
    set(PD_ASAN_OPTIONS
        "halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_invalid_pointer_pairs=0:print_summary=1")
    set(PD_SANITIZER_ENV
        ASAN_OPTIONS=${PD_ASAN_OPTIONS}
        UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1:report_error_type=1
        LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp:print_suppressions=0)
endif()

# pd_sanitize_programs() puts the leak check before each library is closed into every program of
# the project; called once all folders are added.
include(${CMAKE_CURRENT_LIST_DIR}/PdTargetList.cmake)
function(pd_sanitize_programs)
    if(NOT PD_SANITIZE)
        return()
    endif()
    pd_collect_targets(${PROJECT_SOURCE_DIR} targets)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            target_sources(${target} PRIVATE $<TARGET_OBJECTS:pd_sanitize_leak_check_on_close>)
        endif()
    endforeach()
endfunction()
