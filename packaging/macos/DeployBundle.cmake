# Makes the installed bundle self-contained and runnable on a Mac without Qt:
# frameworks, plugins and third-party libraries copied in, Qt's own Chinese
# texts beside them, then an ad-hoc signature, which Apple silicon requires
# of every binary it runs. Expects ZELVO_BUNDLE, ZELVO_QT_BIN_DIR, ZELVO_QTPATHS.
find_program(macdeployqt macdeployqt HINTS "${ZELVO_QT_BIN_DIR}" REQUIRED)
execute_process(COMMAND "${macdeployqt}" "${ZELVO_BUNDLE}" "-executable=${ZELVO_BUNDLE}/Contents/MacOS/zelvo"
                        -always-overwrite
                COMMAND_ERROR_IS_FATAL ANY)

execute_process(COMMAND "${ZELVO_QTPATHS}" --query QT_INSTALL_TRANSLATIONS
                OUTPUT_VARIABLE translations OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${translations}/qtbase_zh_CN.qm")
  message(FATAL_ERROR "Qt's Chinese translations are missing from ${translations}")
endif()
file(COPY "${translations}/qtbase_zh_CN.qm" DESTINATION "${ZELVO_BUNDLE}/Contents/Resources/translations")

execute_process(COMMAND codesign --force --deep --sign - "${ZELVO_BUNDLE}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND codesign --verify --deep --strict "${ZELVO_BUNDLE}" COMMAND_ERROR_IS_FATAL ANY)
