# netsetter_include_root(<variable> <folder name> <link>:<target>...): a folder of links under the build tree, each
# <link> pointing to <target> (relative to the calling folder). A target hands it out as its include folder, so
# those who link the target see the linked areas and nothing else of the source tree.
function(netsetter_include_root variable name)
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  foreach(link ${ARGN})
    string(REPLACE ":" ";" parts "${link}")
    list(GET parts 0 at)
    list(GET parts 1 target)
    get_filename_component(target ${target} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    get_filename_component(parent ${root}/${at} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${target} ${root}/${at} SYMBOLIC)
  endforeach()
  set(${variable} ${root} PARENT_SCOPE)
endfunction()
