# romfold_windows_program(target): on Windows, embeds the manifest that gives
# the program the UTF-8 code page, so that paths with characters outside
# ASCII work through the same narrow calls as on Linux. Elsewhere: nothing.
set(romfold_manifest_rc ${CMAKE_BINARY_DIR}/windows_utf8.rc)
if(WIN32)
  file(WRITE ${romfold_manifest_rc} "1 24 \"${CMAKE_CURRENT_LIST_DIR}/windows_utf8.manifest\"\n")
endif()

function(romfold_windows_program target)
  if(WIN32)
    target_sources(${target} PRIVATE ${romfold_manifest_rc})
  endif()
endfunction()
