# What a Windows user installs: the 32-bit program, its log viewer, its
# settings file at the defaults and a short text, as `cmake --install` lays them out and as a ZIP
# (`cpack -G ZIP`, run by scripts/package.sh).
set(VCAM_PACKAGE_SOURCE ${CMAKE_SOURCE_DIR}/resources/package)
set(VCAM_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/package-files)
# Windows line ends, so the files read well in any Windows editor.
configure_file(${VCAM_PACKAGE_SOURCE}/DriverSetting.ini ${VCAM_PACKAGE_STAGE}/DriverSetting.ini
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${VCAM_PACKAGE_SOURCE}/README.txt.in ${VCAM_PACKAGE_STAGE}/README.txt
               @ONLY NEWLINE_STYLE CRLF)

install(TARGETS frameprovider frameproviderlog RUNTIME DESTINATION .)
install(FILES ${VCAM_PACKAGE_STAGE}/DriverSetting.ini ${VCAM_PACKAGE_STAGE}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
# Symbols only: the log texts are data and stay.
set(CPACK_STRIP_FILES ON)
include(CPack)
