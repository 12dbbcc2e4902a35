# What the install puts beside the programs for the user's session and the
# system's catalogues: the systemd user units of the nightly run, the man
# page and the AppStream metainfo. Included by the top CMakeLists.txt.

set(_session ${CMAKE_CURRENT_SOURCE_DIR}/shell/desktop)

# The service starts the installed program by its full path, known only once
# the install's prefix is (cmake/InstallUnits.cmake writes it).
install(CODE "set(TESSARY_UNITS_SOURCE \"${_session}\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallUnits.cmake)
install(FILES ${_session}/tessary-sync.timer DESTINATION lib/systemd/user)

install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/docs/tessary.1 ${CMAKE_CURRENT_SOURCE_DIR}/docs/tessary-gui.1
        DESTINATION share/man/man1)
install(FILES ${_session}/org.example.tessary.metainfo.xml DESTINATION share/metainfo)
