# Shared compile settings.

# A compiler cache, where the machine has one, makes rebuilds of several work trees cheap; a machine
# without it builds as before.
find_program(QZL_CCACHE ccache)
if(QZL_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${QZL_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${QZL_CCACHE})
endif()

# Links of the sanitised test programs take most of the memory a build needs; at most two at once keeps
# a build of several work trees on one machine within its memory.
set_property(GLOBAL PROPERTY JOB_POOLS qzl_link=2)
set(CMAKE_JOB_POOL_LINK qzl_link)

if(QZL_SANITIZE)
  add_compile_options(-fsanitize=${QZL_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${QZL_SANITIZE})
  if(QZL_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # ThreadSanitizer does not model stand-alone fences; the stand-in's register fence is one.
    add_compile_options(-Wno-tsan)
  endif()
  if(QZL_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

function(qzl_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-unused-parameter)
  # The dev preset's compiler holds the warning standard; the fuzz preset's compiler reports its own
  # extra warnings without stopping the fuzz build.
  if(QZL_FUZZ)
    target_compile_options(${target} PRIVATE -Wno-error)
  endif()
endfunction()

# Driver code is kernel code: no exceptions, no RTTI, strict warnings.
function(qzl_driver_flags target)
  qzl_strict_warnings(${target})
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
                         -Wno-missing-field-initializers)
endfunction()

# One test program per folder under tests/, each test run as its own CTest test with the folder's
# name as its label.
function(qzl_test_area area)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(exe test_${area})
  add_executable(${exe} ${sources})
  target_link_libraries(${exe} PRIVATE qzl_test_support GTest::gtest GTest::gmock)
  target_include_directories(${exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  qzl_strict_warnings(${exe})
  # Every test is a process of its own: a position-dependent program starts without the dynamic
  # loader relocating every pointer of its (sanitised, large) data first, a tenth of a short test's cost.
  target_link_options(${exe} PRIVATE -no-pie)
  # GCC 12 reports out-of-bounds copies inside std::vector's own insert at -O3 (a known false
  # positive of its libstdc++), and overlapping copies inside std::string; tests build byte vectors
  # and texts that way all the time.
  target_compile_options(${exe} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread -Wno-restrict>)
  gtest_discover_tests(${exe} PROPERTIES LABELS ${area} DISCOVERY_TIMEOUT 60
                       TEST_PREFIX "${area}." )
endfunction()

# The fuzz preset instruments every library for coverage; the targets link the fuzzer runtime.
if(QZL_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
