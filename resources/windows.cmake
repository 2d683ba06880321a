# The resource section of glorp.scr: the picture under identifier 106, the
# version record, the screen-saver name and the manifest. The program links
# glorp_windows_resources; its object carries them into the executable.
enable_language(RC)

add_library(glorp_windows_resources OBJECT glorp.rc)
# windres finds the files that glorp.rc names in this folder.
target_include_directories(glorp_windows_resources PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
# The scanner follows #include only, so name the embedded files as well.
set_source_files_properties(glorp.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_CURRENT_SOURCE_DIR}/picture.rix;${CMAKE_CURRENT_SOURCE_DIR}/glorp.manifest")
