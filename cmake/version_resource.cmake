# romfold_version_resource(<target> <description>): on Windows, gives the
# program or DLL <target> a version resource: product name, the project's
# version, the description and the licence, as Explorer's properties and
# installers show them. Elsewhere it does nothing.
set(romfold_version_resource_template ${CMAKE_CURRENT_LIST_DIR}/version_resource.rc.in)

function(romfold_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(resource_file_type 0x1)  # VFT_APP
    set(resource_file_name ${name}${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(resource_file_type 0x2)  # VFT_DLL
    set(resource_file_name ${CMAKE_SHARED_LIBRARY_PREFIX}${name}${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  set(resource_description "${description}")
  set(resource_internal_name ${name})
  # The licence's copyright line, and the licence's name.
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE copyright REGEX "^Copyright ")
  set(resource_copyright "${copyright}; MIT License")
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${romfold_version_resource_template} ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()
