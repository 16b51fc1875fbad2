# cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... [-DGIT_EXECUTABLE=...] -P WriteVersion.cmake
# Writes the version header from cmake/Version.h.in, touching it only when
# its text changes, so that an unchanged version rebuilds nothing.
set(YEB_GIT_DESCRIPTION "")
if(GIT_EXECUTABLE AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
                  WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE YEB_GIT_DESCRIPTION OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
endif()
set(PROJECT_VERSION ${VERSION})
configure_file(${SOURCE_DIR}/cmake/Version.h.in ${OUTPUT}.new @ONLY)
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
