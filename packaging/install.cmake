# What Vellicor installs and where: the one list that `cmake --install` and every package follow.
#
# Each kind of artefact has a place in three layouts:
#   user     `cmake --install build` with the default prefix, the user's home: the folders hosts
#            scan for a user's own plug-ins
#   system   any other prefix (`--prefix /usr`, `/usr/local`) and the .deb, relative to it
#   archive  the zips and the tarball: one folder, beside a README.txt that says where each file
#            goes (Windows builds have this layout only)
# The layout is chosen when installing, from the prefix given then, so `cmake --install build
# --prefix /usr` needs no new configure. To ship another artefact, add its kind to the table if it
# is new, and one vellicor_install() line at the end.

# Works built into the plug-in and the host, by the Debian package that ships them: their
# copyright and licence travel with every package. Fonts and stb are compiled into every target;
# the Windows builds also link MinGW-w64's runtime (winpthreads among it) statically.
set(VELLICOR_EMBEDDED_WORKS fonts-liberation2 fonts-dejavu-core libstb-dev)
if(WIN32)
  list(APPEND VELLICOR_EMBEDDED_WORKS mingw-w64-common)
endif()

math(EXPR VELLICOR_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
if(WIN32)
  set(VELLICOR_PLATFORM win${VELLICOR_BITS})
else()
  set(VELLICOR_PLATFORM linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(VELLICOR_ARCHIVE_NAME vellicor-${PROJECT_VERSION}-${VELLICOR_PLATFORM})

# The user's home is the default prefix: plain `cmake --install build` puts the plug-in where the
# user's hosts find it, without root.
set(VELLICOR_USER_PREFIX "$ENV{HOME}")
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND NOT WIN32 AND VELLICOR_USER_PREFIX)
  set(CMAKE_INSTALL_PREFIX "${VELLICOR_USER_PREFIX}" CACHE PATH "Install prefix" FORCE)
endif()

# vellicor_place(KIND USER SYSTEM IN_ARCHIVES): declares a kind of artefact and its places ("-":
# not installed in that layout). At install time the prefix selects the user or system place.
function(vellicor_place kind user_place system_place in_archives)
  set_property(GLOBAL PROPERTY vellicor_place_${kind} "${user_place}" ${in_archives})
  if(NOT WIN32)
    install(CODE "if(CMAKE_INSTALL_PREFIX STREQUAL \"${VELLICOR_USER_PREFIX}\")
  set(vellicor_${kind}_dir \"${user_place}\")
else()
  set(vellicor_${kind}_dir \"${system_place}\")
endif()" COMPONENT installed)
  endif()
endfunction()

# vellicor_install(KIND TARGETS target... | FILES file... | DIRECTORY folder...): installs into
# KIND's places (a folder goes there whole, under its own name). The
# archive copy is a component of its own, which only packages ask for on Linux.
function(vellicor_install kind what)
  get_property(place GLOBAL PROPERTY vellicor_place_${kind})
  if(NOT place)
    message(FATAL_ERROR "vellicor_install: no place declared for '${kind}'")
  endif()
  list(GET place 0 user_place)
  list(GET place 1 in_archives)
  set(places "")
  if(NOT WIN32 AND NOT user_place STREQUAL "-")
    list(APPEND places "\${vellicor_${kind}_dir}|installed|")
  endif()
  if(in_archives AND WIN32)
    list(APPEND places "${VELLICOR_ARCHIVE_NAME}|archive|")
  elseif(in_archives)
    list(APPEND places "${VELLICOR_ARCHIVE_NAME}|archive|EXCLUDE_FROM_ALL")
  endif()
  foreach(place IN LISTS places)
    string(REPLACE "|" ";" place "${place}")
    list(GET place 0 destination)
    list(GET place 1 component)
    list(GET place 2 exclusion)
    if(what STREQUAL "TARGETS")
      # A DLL's import library is for linking against it, never for users.
      install(TARGETS ${ARGN}
              RUNTIME DESTINATION "${destination}" COMPONENT ${component} ${exclusion}
              LIBRARY DESTINATION "${destination}" COMPONENT ${component} ${exclusion}
              ARCHIVE DESTINATION lib COMPONENT import-libraries EXCLUDE_FROM_ALL)
    elseif(what STREQUAL "DIRECTORY")
      install(DIRECTORY ${ARGN} DESTINATION "${destination}" COMPONENT ${component}
              USE_SOURCE_PERMISSIONS ${exclusion})
    else()
      install(FILES ${ARGN} DESTINATION "${destination}" COMPONENT ${component} ${exclusion})
    endif()
  endforeach()
endfunction()

#              kind     user                        system               in archives
vellicor_place(vst      .vst                        lib/vst              YES)
vellicor_place(clap     .clap                       lib/clap             YES)
vellicor_place(vst3     .vst3                       lib/vst3             YES)
vellicor_place(program  .local/bin                  bin                  YES)
vellicor_place(doc      .local/share/doc/vellicor   share/doc/vellicor   NO)
vellicor_place(notice   -                           -                    YES)
vellicor_place(lv2      .lv2                        lib/lv2              NO)
vellicor_place(app      .local/bin                  bin                  NO)

# The copyright and licence notices, Debian's own texts of the embedded works.
set(notices "${CMAKE_BINARY_DIR}/copyright")
file(READ ${CMAKE_SOURCE_DIR}/LICENSE vellicor_license)
set(text "Vellicor ${PROJECT_VERSION}\n\n${vellicor_license}\nVellicor builds the works below into \
its plug-in and its host. Each comes with its own\ncopyright and licence, given here as Debian's \
package of it states them.\n")
foreach(work IN LISTS VELLICOR_EMBEDDED_WORKS)
  set(work_copyright /usr/share/doc/${work}/copyright)
  if(NOT EXISTS ${work_copyright})
    message(FATAL_ERROR "${work_copyright} is missing (install ${work})")
  endif()
  file(READ ${work_copyright} work_text)
  string(APPEND text "\n\n==== ${work}\n\n${work_text}")
endforeach()
# Written through a copy, so that an unchanged text keeps its time stamp.
file(WRITE ${notices}.new "${text}")
configure_file(${notices}.new ${notices} COPYONLY)

# The README of the zips and the tarball: where each file goes on its system.
if(WIN32)
  set(readme_template ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt.in)
else()
  set(readme_template ${CMAKE_SOURCE_DIR}/packaging/README-linux.txt.in)
endif()
configure_file(${readme_template} ${CMAKE_BINARY_DIR}/README.txt @ONLY)
configure_file(${notices} ${CMAKE_BINARY_DIR}/COPYRIGHT.txt COPYONLY)

vellicor_install(vst TARGETS vellicor_vst2)
vellicor_install(program TARGETS vellicor-host)
vellicor_install(doc FILES ${CMAKE_SOURCE_DIR}/README.md ${notices})
vellicor_install(notice FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/COPYRIGHT.txt)
