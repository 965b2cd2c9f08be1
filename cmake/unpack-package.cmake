# Unpacks the package ZIP into DEST and puts CHECKER into its folder, so the
# checker finds the files as the program would beside itself.
if(NOT EXISTS "${ZIP}")
    message(FATAL_ERROR "${ZIP} is missing: run bash scripts/package.sh first")
endif()
file(REMOVE_RECURSE "${DEST}")
file(MAKE_DIRECTORY "${DEST}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DEST}")
file(GLOB entries LIST_DIRECTORIES true RELATIVE "${DEST}" "${DEST}/*")
if(NOT entries STREQUAL FOLDER)
    message(FATAL_ERROR "the package should hold the one folder ${FOLDER}, it holds: ${entries}")
endif()
file(COPY "${CHECKER}" DESTINATION "${DEST}/${FOLDER}")
