# The native build has no resource section: the picture is compiled into a
# table of linked resources, which the platform layer's FindResourceA
# searches. A program links glorp_resources after the platform library.
set(picture ${CMAKE_CURRENT_SOURCE_DIR}/picture.rix)
set(embed_script ${PROJECT_SOURCE_DIR}/cmake/EmbedResource.cmake)
set(resource_table ${CMAKE_CURRENT_BINARY_DIR}/linked_resources.cpp)

# RT_RCDATA (10), identifier 106.
add_custom_command(
  OUTPUT ${resource_table}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${picture} -DOUTPUT=${resource_table}
          -DTYPE=10 -DID=106 -P ${embed_script}
  DEPENDS ${picture} ${embed_script}
  COMMENT "Embedding picture.rix as resource 106"
  VERBATIM)

add_library(glorp_resources STATIC ${resource_table})
target_link_libraries(glorp_resources PRIVATE glorp_common)
