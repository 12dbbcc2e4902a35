# Run by `cmake --install`: writes tessary-sync.service with the installed
# program's absolute path in ExecStart, in systemd's quoting.
set(_exe "${CMAKE_INSTALL_PREFIX}/bin/tessary")
string(REPLACE "%" "%%" _exe "${_exe}")  # systemd's specifiers
string(REPLACE "$" "$$" _exe "${_exe}")  # and its variables
if(_exe MATCHES "[ \t\"'\\\\]")
  string(REPLACE "\\" "\\\\" _exe "${_exe}")
  string(REPLACE "\"" "\\\"" _exe "${_exe}")
  set(_exe "\"${_exe}\"")
endif()
file(READ "${TESSARY_UNITS_SOURCE}/tessary-sync.service.in" _unit)
string(REPLACE "@TESSARY_EXEC@" "${_exe}" _unit "${_unit}")
set(_file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/user/tessary-sync.service")
message(STATUS "Installing: ${_file}")
file(WRITE "${_file}" "${_unit}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_file}")
