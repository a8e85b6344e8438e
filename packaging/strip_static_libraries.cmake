# Run by CPack after staging the install tree, before packing. CPack strips
# the programs and shared libraries it packs, not the static libraries, which
# would otherwise ship with the build's debug sections: they lose them here
# (their symbols stay, as linking needs them).
if(CPACK_ROMFOLD_STRIP)
  file(GLOB_RECURSE archives "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.a")
  list(FILTER archives EXCLUDE REGEX "\\.dll\\.a$")
  foreach(archive IN LISTS archives)
    execute_process(COMMAND ${CPACK_ROMFOLD_STRIP} --strip-debug ${archive} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "cannot strip the debug sections of ${archive}")
    endif()
  endforeach()
endif()
