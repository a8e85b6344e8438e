# Run by CPack after staging the install tree, before packing: a Debian
# package keeps its licence as /usr/share/doc/<package>/copyright, so the
# installed LICENSE takes that name there. Other package kinds keep LICENSE.
if(CPACK_GENERATOR STREQUAL "DEB")
  file(GLOB_RECURSE licences "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/romfold/LICENSE")
  foreach(licence IN LISTS licences)
    get_filename_component(doc_dir "${licence}" DIRECTORY)
    file(RENAME "${licence}" "${doc_dir}/copyright")
  endforeach()
endif()
