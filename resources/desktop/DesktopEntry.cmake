# Writes the desktop entry with Exec naming the program by its full path, so
# that GIO lists it even when that folder is not on PATH, as ~/.local/bin is not
# until the next login after a first home install. Included both at configure
# time, for the build-tree copy, and at install time, where --prefix is known.
set(CORVANA_DESKTOP_ENTRY_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/corvana.desktop.in)

# BINDIR may be relative to PREFIX, as GNUInstallDirs allows, and PREFIX to the
# working folder, as `cmake --install --prefix` takes it.
function(corvana_write_desktop_entry output prefix bindir)
  if(NOT IS_ABSOLUTE "${bindir}")
    set(bindir "${prefix}/${bindir}")
  endif()
  get_filename_component(bindir "${bindir}" ABSOLUTE)
  # Quoted as an Exec argument: the string-level escape of the backslash comes
  # first, so a literal backslash takes four and ", ` and $ take two.
  string(REPLACE [[\]] [[\\\\]] program "${bindir}/corvana")
  string(REGEX REPLACE [[(["`$])]] [[\\\\\1]] program "${program}")
  string(REPLACE "%" "%%" program "${program}")
  set(CORVANA_EXEC "\"${program}\"")
  configure_file(${CORVANA_DESKTOP_ENTRY_TEMPLATE} ${output} @ONLY)
endfunction()
