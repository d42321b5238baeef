# Read by CPack for each generator: which install components its package holds.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL installed)
else()
  # One flat archive of the archive component, its files in one folder.
  set(CPACK_COMPONENTS_ALL archive)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
endif()
