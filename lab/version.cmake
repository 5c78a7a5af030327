# Writes OUTPUT, a header with the commit the lab is built from (`git describe --always --dirty`),
# only when it changed, so that a build after a commit names the new one and others rebuild nothing.
execute_process(COMMAND git -C "${SOURCE}" describe --always --dirty --abbrev=12
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed OR commit STREQUAL "")
  set(commit "unknown (not built from a git checkout)")
endif()
file(WRITE "${OUTPUT}.new" "#define HULL_LAB_COMMIT \"${commit}\"\n")
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
