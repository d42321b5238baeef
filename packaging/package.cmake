# Release packages, made with CPack from the install rules of packaging/install.cmake:
#   Linux build:    a .deb (the system layout) and a tarball (the archive layout)
#   Windows builds: a zip (the archive layout)
# scripts/package builds each target and collects them in dist/. The version is the project's.
set(CPACK_PACKAGE_NAME vellicor)
set(CPACK_PACKAGE_VENDOR Quorrel)
set(CPACK_PACKAGE_CONTACT Quorrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "six-voice polyphonic synthesizer (VST 2, VST 3, CLAP and LV2 instrument)")
# Debian shows the description as written: lines of at most 72 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Each voice has two wavetable oscillators, a twelve-type filter, eight drawn"
  "multi-point envelopes with loops and five LFOs; above the voices sit Poly,"
  "Mono, Legato and Arp modes, an arpeggiator, glide, a stereo spread and a"
  "soft clipper. The plug-ins install into /usr/lib/vst, /usr/lib/vst3,"
  "/usr/lib/clap and /usr/lib/lv2, where Linux hosts find them; vellicor"
  "is the synthesizer on its own, on JACK; vellicor-host is a command-line"
  "VST 2 host that lists what a plug-in tells a host and renders MIDI"
  "files to WAV.")
set(CPACK_PACKAGE_FILE_NAME ${VELLICOR_ARCHIVE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# Packages hold the very files the tests ran on.
set(CPACK_STRIP_FILES OFF)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/generators.cmake)
include(CPack)
