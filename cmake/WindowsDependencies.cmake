# Dependencies of the Windows build, from Debian packages and without downloads: fmt (header-only
# mode), CLI11, nlohmann_json and stb (its PNG writer, included as <stb/...>) are header-only;
# GoogleTest is built from its source package.
#
# The host's /usr/include must never be on the mingw include path (it would pull in glibc
# headers), so only the needed header directories are staged into the build tree.

set(CARCONV_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/staged-include)
file(MAKE_DIRECTORY ${CARCONV_STAGED_INCLUDE})
foreach(dir fmt CLI nlohmann stb)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps.sh")
  endif()
  if(NOT EXISTS ${CARCONV_STAGED_INCLUDE}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${CARCONV_STAGED_INCLUDE}/${dir} SYMBOLIC)
  endif()
endforeach()

add_library(carconv_staged_headers INTERFACE)
# SYSTEM: warnings inside the third-party headers are not ours to fix.
target_include_directories(carconv_staged_headers SYSTEM INTERFACE ${CARCONV_STAGED_INCLUDE})

add_library(fmt::fmt ALIAS carconv_staged_headers)
add_library(CLI11::CLI11 ALIAS carconv_staged_headers)
add_library(nlohmann_json::nlohmann_json ALIAS carconv_staged_headers)
target_compile_definitions(carconv_staged_headers INTERFACE FMT_HEADER_ONLY)

# Wide-character Win32 APIs throughout; comdlg32 (file dialogs), shell32 (command line) and
# advapi32 (registry) are linked where the platform layer needs them.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

if(CARCONV_BUILD_TESTS)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest is missing: install the googletest package")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Built with its own warning settings, not the project's.
  set_target_properties(gtest gtest_main PROPERTIES COMPILE_OPTIONS "")
endif()

# GCC 12 warns falsely about overlapping copies inside libstdc++'s string concatenation at -O2
# (GCC bug 105329); only the mingw build of the library triggers it here.
add_compile_options(-Wno-restrict)
