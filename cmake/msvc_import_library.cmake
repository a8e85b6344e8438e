# romfold_msvc_import_library(<target> <def>): for a DLL built with MinGW, an
# import library that MSVC's linker takes as well, <name>.lib, made by
# dlltool from the module-definition file <def> (exactly the header's calls),
# and installed beside MinGW's own lib<name>.dll.a. An MSVC build makes its
# <name>.lib itself, so there this does nothing.
function(romfold_msvc_import_library target def)
  if(NOT MINGW)
    return()
  endif()
  if(NOT CMAKE_DLLTOOL)
    message(WARNING "dlltool not found: no MSVC import library for ${target}")
    return()
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  set(library ${CMAKE_CURRENT_BINARY_DIR}/${name}.lib)
  add_custom_command(
    OUTPUT ${library}
    COMMAND ${CMAKE_DLLTOOL} --machine i386:x86-64 --input-def ${def}
            --dllname ${CMAKE_SHARED_LIBRARY_PREFIX}${name}${CMAKE_SHARED_LIBRARY_SUFFIX} --output-lib ${library}
    DEPENDS ${def}
    COMMENT "Making the MSVC import library ${name}.lib"
    VERBATIM)
  add_custom_target(${target}_msvc_import_library ALL DEPENDS ${library})
  install(FILES ${library} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()
