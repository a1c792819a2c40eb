# Run at every build (cmake -P): writes OUTPUT, the header that defines the release version and
# the commit the program is built from. The file is rewritten only when its text changes, so
# that a build without a new commit or edit recompiles nothing.
#
# Inputs: OUTPUT, VERSION, SOURCE_DIR, GIT_EXECUTABLE (may be empty).

set(commit "")
if(GIT_EXECUTABLE)
  # Only a checkout whose top is the source directory itself: a source tree unpacked inside
  # some other repository must not report that repository's commit.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE top
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(status EQUAL 0 AND top STREQUAL source)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
      WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE described
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(status EQUAL 0)
      set(commit "${described}")
    endif()
  endif()
endif()

string(REPLACE "\\" "\\\\" commit "${commit}")
string(REPLACE "\"" "\\\"" commit "${commit}")
set(text "// Written by cmake/WriteBuildInfo.cmake at build time.\n"
         "#define CARCONV_VERSION \"${VERSION}\"\n"
         "#define CARCONV_COMMIT \"${commit}\"\n")
string(JOIN "" text ${text})
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
